// Measuring from several threads; also run under ThreadSanitizer.

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "profile_test_support.h"

using profile_test::count_of;
using profile_test::FakeClocks;
using profile_test::is_running;
using profile_test::ProfilerTest;
using profile_test::take;

namespace {

using ThreadedProfiling = ProfilerTest;

void one_run(const char* name, int64_t cpu) {
    qdx_start_activity(name);
    FakeClocks::advance(cpu);
    qdx_stop_activity("ldap32");
    qdx_stop_activity(name);
}

TEST_F(ThreadedProfiling, EachThreadKeepsItsOwnFiguresAndNumber) {
    profile("all");
    setenv("QDX_PROFILE_REPORT_COUNT", "", 1);
    declare_small_tree();
    one_run("parse", 100);
    std::latch first_done(1), second_done(1);
    int first_number = -1, second_number = -1;
    std::thread first([&] {
        for (int i = 0; i < 3; ++i)
            one_run("parse", 200);
        first_number = qdx_profile_current_thread();
        first_done.count_down();
        second_done.wait();  // alive until the next thread has its number
    });
    first_done.wait();
    std::thread second([&] {
        one_run("ldap_add", 300);
        second_number = qdx_profile_current_thread();
        second_done.count_down();
    });
    first.join();
    second.join();
    EXPECT_EQ(first_number, 1);
    EXPECT_EQ(second_number, 2);
    EXPECT_EQ(qdx_profile_thread_count(), 3u);
    EXPECT_EQ(count_of("parse", 0), 1);
    EXPECT_EQ(count_of("parse", 1), 3);
    EXPECT_EQ(count_of("parse", 2), 0);
    EXPECT_EQ(count_of("ldap_add", 2), 1);
    EXPECT_EQ(take(qdx_get_statistics_report_for("ldap32")),
              "Thread 0\nldap32 count: 0\n  ldap_add count: 0\n  ldap_search count: 0\n"
              "Thread 1\nldap32 count: 0\n  ldap_add count: 0\n  ldap_search count: 0\n"
              "Thread 2\nldap32 count: 0\n  ldap_add count: 1\n  ldap_search count: 0\n");
    const std::string summary = take(global_thread_report());
    EXPECT_NE(summary.find("  parse:\n\tcount: 4\n\tthreads: 2\n\tCPU: 0.001s\n"),
              std::string::npos)
        << summary;
    EXPECT_NE(summary.find("  ldap_add:\n\tcount: 1\n\tthreads: 1\n"), std::string::npos);
    EXPECT_EQ(take(qdx_profile_report("parse", QDX_REPORT_COUNT, 0, 0)),
              "\n\tThread 0:  1\n\tThread 1:  3\n\tThread 2:  0");
}

TEST_F(ThreadedProfiling, ActivitiesDeclaredLaterAreMeasuredByEarlierThreads) {
    profile("all");
    qdx_create_atomic_activity("early", nullptr);  // top level: declarations stay open
    std::latch measuring(1), declared(1);
    int64_t late_count = -1;
    std::thread worker([&] {
        qdx_start_activity("early");
        qdx_stop_activity("early");
        measuring.count_down();
        declared.wait();
        qdx_start_activity("late");
        qdx_stop_activity("late");
        late_count = count_of("late", qdx_profile_current_thread());
    });
    measuring.wait();
    qdx_create_atomic_activity("late", nullptr);
    declared.count_down();
    worker.join();
    EXPECT_EQ(late_count, 1);
    EXPECT_EQ(take(qdx_profile_count_for(qdx_activity_named("late"), 0, 1)), " 1");
}

TEST_F(ThreadedProfiling, ANewThreadTakesTheNumberOfAnEndedOne) {
    profile_small_tree();
    std::thread([] { qdx_start_activity("parse"); }).join();  // ends while running
    int number = -1;
    std::thread([&] {
        number = qdx_profile_current_thread();
        qdx_start_activity("parse");  // not taken for the ended thread's run
        qdx_stop_activity("parse");
    }).join();
    EXPECT_EQ(number, -1);
    EXPECT_EQ(qdx_profile_thread_count(), 2u);
    EXPECT_EQ(count_of("parse", 1), 2);
    EXPECT_FALSE(is_running("parse", 1));
}

TEST_F(ThreadedProfiling, ReportsReadWhileThreadsMeasureAndArrive) {
    profile("all");
    report_everything();
    declare_small_tree();
    constexpr int kThreads = 24, kRuns = 300;
    std::atomic<bool> done{false};
    std::thread reporter([&] {
        while (!done.load()) {
            take(global_thread_report());
            take(qdx_get_statistics_report_for("app"));
            take(qdx_profile_report("app", 255, 255, 1));
        }
    });
    std::latch all_measured(kThreads);
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&] {
            for (int i = 0; i < kRuns; ++i) {
                one_run(i % 2 == 0 ? "ldap_add" : "ldap_search", 1);
                one_run("parse", 2);
            }
            all_measured.count_down();
            all_measured.wait();  // all alive at once: every thread gets its own number
        });
    }
    for (auto& worker : workers)
        worker.join();
    done = true;
    reporter.join();
    EXPECT_EQ(qdx_profile_thread_count(), kThreads + 1u);
    for (int t = 1; t <= kThreads; ++t) {
        ASSERT_EQ(count_of("ldap_add", t), kRuns / 2) << t;
        ASSERT_EQ(count_of("parse", t), kRuns) << t;
    }
    const std::string summary = take(global_thread_report());
    EXPECT_NE(summary.find("  parse:\n\tcount: 7200\n\tthreads: 24\n"), std::string::npos);
}

TEST_F(ThreadedProfiling, ResetsAndDeclarationsRaceWithMeasurement) {
    profile("all");
    qdx_create_atomic_activity("a0", nullptr);
    std::atomic<bool> done{false};
    std::vector<std::thread> workers;
    for (int t = 0; t < 2; ++t) {
        workers.emplace_back([&] {
            while (!done.load()) {
                qdx_start_activity("a0");
                qdx_start_activity("a7");
                qdx_stop_activity("a7");
                qdx_stop_activity("a0");
            }
        });
    }
    for (int i = 1; i < 200; ++i) {
        qdx_create_atomic_activity(("a" + std::to_string(i)).c_str(), nullptr);
        if (i % 10 == 0) qdx_profile_initial_activities();
    }
    qdx_profile_initial_sub_activities(qdx_activity_named("a7"));
    done = true;
    for (auto& worker : workers)
        worker.join();
    EXPECT_NE(qdx_activity_named("a199"), nullptr);
}

}  // namespace
