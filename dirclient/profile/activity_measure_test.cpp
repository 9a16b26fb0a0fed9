#include <gtest/gtest.h>

#include "ldap_result_codes.h"
#include "profile_test_support.h"

using dirclient::profile::load;
using dirclient::profile::Measurement;
using profile_test::count_of;
using profile_test::FakeClocks;
using profile_test::is_running;
using profile_test::measurement;
using profile_test::ProfilerTest;

namespace {

int64_t cpu_of(const char* name) {
    return load(measurement(name)->elapsed_cpu);
}
int64_t clock_of(const char* name) {
    return load(measurement(name)->elapsed_clock);
}

using Measuring = ProfilerTest;

TEST_F(Measuring, NothingIsMeasuredWithoutDeclarationsOrWithProfilingOff) {
    setenv("QDX_PROFILE", "on", 1);
    qdx_set_profile_flag(1);
    qdx_start_activity("ldap_add");
    qdx_stop_activity("ldap_add");
    qdx_start_activity(nullptr);
    qdx_stop_activity(nullptr);
    EXPECT_EQ(qdx_profile_thread_count(), 0u);
    EXPECT_EQ(qdx_profile_current_thread(), -1);

    profile_small_tree();
    qdx_set_profile_flag(0);
    qdx_start_activity("ldap_add");
    EXPECT_FALSE(is_running("ldap_add"));
    EXPECT_EQ(count_of("ldap_add"), 0);
}

TEST_F(Measuring, RunsAddUpAndKeepTheirExtremes) {
    profile_small_tree();
    EXPECT_EQ(qdx_profile_current_thread(), 0);
    qdx_start_activity("parse");
    EXPECT_TRUE(is_running("parse"));
    FakeClocks::advance(300, 3);
    qdx_stop_activity("PARSE");
    EXPECT_FALSE(is_running("parse"));
    EXPECT_EQ(clock_of("parse"), 3);
    for (int64_t cpu : {100, 700, 200}) {
        qdx_start_activity("parse");
        FakeClocks::advance(cpu);
        qdx_stop_activity("parse");
    }
    const Measurement* m = measurement("parse");
    EXPECT_EQ(load(m->count), 4);
    EXPECT_EQ(load(m->elapsed_cpu), 1300);
    EXPECT_EQ(load(m->min_cpu), 100);
    EXPECT_EQ(load(m->max_cpu), 700);
}

TEST_F(Measuring, StartingARunningActivityAndStoppingAnIdleOneChangeNothing) {
    profile_small_tree();
    qdx_stop_activity("parse");
    EXPECT_EQ(load(measurement("parse")->elapsed_cpu), 0);
    qdx_start_activity("parse");
    FakeClocks::advance(100);
    qdx_start_activity("parse");
    qdx_begin_activity("parse");
    FakeClocks::advance(100);
    qdx_stop_activity("parse");
    qdx_stop_activity("parse");
    EXPECT_EQ(count_of("parse"), 1);
    EXPECT_EQ(cpu_of("parse"), 200);
}

TEST_F(Measuring, StartingAChildStartsItsParentsWithoutCountingThem) {
    profile_small_tree();
    qdx_start_activity("ldap_add");
    EXPECT_TRUE(is_running("ldap32"));
    EXPECT_TRUE(is_running("app"));
    EXPECT_EQ(count_of("ldap32"), 0);
    EXPECT_EQ(count_of("app"), 0);
    FakeClocks::advance(400);
    qdx_stop_activity("app");
    for (const char* name : {"app", "ldap32", "ldap_add"}) {
        EXPECT_FALSE(is_running(name)) << name;
        EXPECT_EQ(cpu_of(name), 400) << name;
    }
}

TEST_F(Measuring, StartingStopsRunningSiblingsAndTheirDescendants) {
    profile_small_tree();
    qdx_start_activity("ldap_add");
    FakeClocks::advance(100);
    qdx_start_activity("ldap_search");  // stops ldap_add
    EXPECT_FALSE(is_running("ldap_add"));
    EXPECT_EQ(cpu_of("ldap_add"), 100);
    FakeClocks::advance(50);
    qdx_start_activity("parse");  // stops ldap32 and, first, ldap_search
    EXPECT_FALSE(is_running("ldap32"));
    EXPECT_FALSE(is_running("ldap_search"));
    EXPECT_EQ(cpu_of("ldap_search"), 50);
    EXPECT_EQ(cpu_of("ldap32"), 150);
    EXPECT_TRUE(is_running("app"));
}

TEST_F(Measuring, BeginLeavesSiblingsRunningButStartsParents) {
    profile_small_tree();
    qdx_begin_activity("ldap_add");
    qdx_begin_activity("ldap_search");
    qdx_begin_activity("parse");
    for (const char* name : {"app", "ldap32", "ldap_add", "ldap_search", "parse"}) {
        EXPECT_TRUE(is_running(name)) << name;
    }
    qdx_stop_activity("ldap32");
    EXPECT_FALSE(is_running("ldap_add"));
    EXPECT_FALSE(is_running("ldap_search"));
    EXPECT_TRUE(is_running("parse"));
}

TEST_F(Measuring, StartingStopsEverySiblingThatBeginLeftRunning) {
    profile("all");
    qdx_create_composite_activity("calls", nullptr);
    for (const char* name : {"one", "two", "three", "four"}) {
        qdx_create_atomic_activity(name, nullptr);
    }
    qdx_end_composite_activity();
    qdx_begin_activity("one");
    qdx_begin_activity("three");
    qdx_begin_activity("four");
    qdx_start_activity("two");
    EXPECT_FALSE(is_running("one"));
    EXPECT_FALSE(is_running("three"));
    EXPECT_FALSE(is_running("four"));
    EXPECT_TRUE(is_running("two"));
    EXPECT_TRUE(is_running("calls"));
}

TEST_F(Measuring, StartingStopsSiblingsRunningBelowAnUnprofiledComposite) {
    profile("ldap_search,parse");
    declare_small_tree();
    qdx_start_activity("ldap_search");
    qdx_start_activity("parse");  // ldap32, a sibling, is not profiled but runs a call
    EXPECT_FALSE(is_running("ldap_search"));
    EXPECT_TRUE(is_running("parse"));
}

TEST_F(Measuring, UnprofiledActivitiesAreNotMeasuredNorStartedAsParents) {
    profile("ldap_add,app");
    declare_small_tree();
    qdx_start_activity("ldap_search");
    EXPECT_FALSE(is_running("ldap_search"));
    qdx_start_activity("ldap_add");
    EXPECT_TRUE(is_running("ldap_add"));
    EXPECT_FALSE(is_running("ldap32"));  // not profiled: the chain stops there
    EXPECT_FALSE(is_running("app"));
}

TEST_F(Measuring, StoppingAnUnprofiledCompositeEndsTheProfiledRunsBelowIt) {
    // Profiling a single LDAP call: the brackets stop "ldap32", which is not profiled.
    profile("ldap_search");
    declare_small_tree();
    for (int i = 0; i < 3; ++i) {
        qdx_start_activity("ldap_search");
        FakeClocks::advance(10);
        qdx_stop_activity("ldap32");
        EXPECT_FALSE(is_running("ldap_search"));
    }
    EXPECT_EQ(count_of("ldap_search"), 3);
    EXPECT_EQ(cpu_of("ldap_search"), 30);
    // Through an unprofiled level too.
    qdx_start_activity("ldap_search");
    qdx_stop_activity("app");
    EXPECT_FALSE(is_running("ldap_search"));
}

TEST_F(Measuring, ACompositeRunOnlyThroughItsChildrenStillGetsItsExtremes) {
    profile_small_tree();
    for (int64_t cpu : {300, 100}) {
        qdx_start_activity("ldap_add");
        FakeClocks::advance(cpu);
        qdx_stop_activity("ldap32");
    }
    const Measurement* m = measurement("ldap32");
    EXPECT_EQ(load(m->count), 0);
    EXPECT_EQ(load(m->min_cpu), 100);
    EXPECT_EQ(load(m->max_cpu), 300);
}

TEST_F(Measuring, ClocksSetBackGiveEmptyRunsAndLargeFiguresDoNotWrap) {
    profile_small_tree();
    qdx_start_activity("ldap_add");
    FakeClocks::wall -= 60;
    qdx_stop_activity("ldap_add");
    EXPECT_EQ(clock_of("ldap_add"), 0);
    EXPECT_EQ(count_of("ldap_add"), 1);

    FakeClocks::advance(int64_t{3000} * 1000000);  // begins beyond 2^31 microseconds
    for (int i = 0; i < 2; ++i) {
        qdx_start_activity("parse");
        FakeClocks::advance(int64_t{2000} * 1000000);
        qdx_stop_activity("parse");
    }
    EXPECT_EQ(cpu_of("parse"), int64_t{4000} * 1000000);
}

TEST_F(Measuring, ResetZeroesFiguresAndKeepsProfiling) {
    profile_small_tree();
    qdx_start_activity("ldap_add");
    FakeClocks::advance(100, 1);
    qdx_stop_activity("ldap32");
    qdx_start_activity("parse");
    qdx_profile_initial_activities();
    for (const char* name : {"app", "ldap32", "ldap_add", "parse"}) {
        EXPECT_EQ(count_of(name), 0) << name;
        EXPECT_EQ(cpu_of(name), 0) << name;
        EXPECT_EQ(clock_of(name), 0) << name;
        EXPECT_FALSE(is_running(name)) << name;
        EXPECT_EQ(qdx_activity_profiled(qdx_activity_named(name)), 1) << name;
    }
    qdx_start_activity("ldap_add");
    FakeClocks::advance(40);
    qdx_stop_activity("ldap32");
    EXPECT_EQ(count_of("ldap_add"), 1);
    EXPECT_EQ(load(measurement("ldap_add")->min_cpu), 40);
}

TEST_F(Measuring, ResetOfASubtreeLeavesTheRestAlone) {
    profile_small_tree();
    qdx_start_activity("ldap_add");
    qdx_stop_activity("ldap_add");
    qdx_start_activity("parse");
    qdx_stop_activity("parse");
    EXPECT_EQ(qdx_profile_initial_sub_activities(qdx_activity_named("ldap32")), 0);
    EXPECT_EQ(count_of("ldap_add"), 0);
    EXPECT_EQ(count_of("parse"), 1);
    EXPECT_EQ(qdx_profile_initial_sub_activities(nullptr), 1);
    int not_an_activity = 0;
    auto* stranger = reinterpret_cast<qdx_activity*>(&not_an_activity);
    EXPECT_EQ(qdx_profile_initial_sub_activities(stranger), 1);
}

TEST_F(Measuring, LdapErrorTextIsMeasuredUnderLdap32) {
    profile("all");
    qdx_create_composite_activity("ldap32", nullptr);
    qdx_create_atomic_activity("ldap_err2string", nullptr);
    qdx_end_composite_activity();
    EXPECT_NE(qdx_ldap_err2string(QDX_LDAP_SERVER_DOWN), nullptr);
    EXPECT_NE(qdx_ldap_err2string(0), nullptr);
    EXPECT_EQ(count_of("ldap_err2string"), 2);
    EXPECT_FALSE(is_running("ldap_err2string"));
    EXPECT_FALSE(is_running("ldap32"));
}

TEST_F(Measuring, SystemClocksGiveSaneReadings) {
    dirclient::profile::set_clock_source_for_testing(nullptr);
    profile_small_tree();
    qdx_start_activity("parse");
    volatile double sink = 0;
    for (int i = 0; i < 2000000; ++i)
        sink = sink + i * 0.5;
    qdx_stop_activity("parse");
    EXPECT_EQ(count_of("parse"), 1);
    EXPECT_GT(cpu_of("parse"), 0);
    EXPECT_LT(cpu_of("parse"), 10 * 1000000);
    EXPECT_LE(clock_of("parse"), 10);
}

}  // namespace
