#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "profile_test_support.h"

using profile_test::count_of;
using profile_test::is_running;
using profile_test::ProfilerTest;

namespace {

const char* kClosedMessage =
    "*** activity declaration ignore because the global activity\n"
    "\t  is closed, check the activity nesting\n";

// "name(child child(grandchild))": the tree below an activity as the links give it.
std::string shape(const qdx_activity* activity) {
    std::string out = activity->name;
    const qdx_activity* child = activity->first_child.load();
    if (child == nullptr) return out;
    out += "(";
    for (const qdx_activity* previous = nullptr; child != nullptr;
         previous = child, child = child->next.load()) {
        EXPECT_EQ(child->previous.load(), previous) << child->name;
        EXPECT_EQ(child->parent.load(), activity) << child->name;
        if (previous != nullptr) out += " ";
        out += shape(child);
    }
    return out + ")";
}

std::string shape(const char* name) {
    const qdx_activity* activity = qdx_activity_named(name);
    return activity == nullptr ? "<none>" : shape(activity);
}

using Declarations = ProfilerTest;

TEST_F(Declarations, NestingBuildsTheTree) {
    profile_small_tree();
    EXPECT_EQ(shape("app"), "app(ldap32(ldap_add ldap_search) parse)");
    EXPECT_EQ(qdx_activity_named("app")->parent.load(), nullptr);
    EXPECT_STREQ(qdx_activity_description(qdx_activity_named("LDAP32")), "LDAP calls");
    EXPECT_STREQ(qdx_activity_name(qdx_activity_named("LDAP32")), "ldap32");
}

TEST_F(Declarations, TheTreeTakesEffectWhenTheOutermostCompositeCloses) {
    profile("all");
    qdx_create_composite_activity("app", nullptr);
    qdx_create_atomic_activity("work", nullptr);
    qdx_start_activity("work");
    EXPECT_FALSE(is_running("app"));  // no tree yet
    qdx_stop_activity("work");
    qdx_end_composite_activity();
    qdx_start_activity("work");
    EXPECT_TRUE(is_running("app"));
}

TEST_F(Declarations, RepeatedNamesChangeNothing) {
    profile("all");
    qdx_create_composite_activity("app", nullptr);
    qdx_create_composite_activity("ldap32", nullptr);
    qdx_create_atomic_activity("ldap_add", "first");
    qdx_create_atomic_activity("LDAP_ADD", "second");
    qdx_create_composite_activity("LDAP32", nullptr);  // refused: its children join ldap32
    qdx_create_atomic_activity("ldap_search", nullptr);
    qdx_end_composite_activity();
    qdx_end_composite_activity();
    qdx_create_atomic_activity("parse", nullptr);
    qdx_end_composite_activity();
    EXPECT_EQ(shape("app"), "app(ldap32(ldap_add ldap_search) parse)");
    EXPECT_STREQ(qdx_activity_description(qdx_activity_named("ldap_add")), "first");
    EXPECT_STREQ(qdx_activity_description(qdx_activity_named("parse")), "");
}

TEST_F(Declarations, AreRefusedOnceTheOutermostCompositeIsClosed) {
    profile_small_tree();
    testing::internal::CaptureStderr();
    qdx_create_composite_activity("more", nullptr);
    qdx_create_atomic_activity("late", nullptr);
    qdx_end_composite_activity();
    EXPECT_EQ(qdx_create_activity("later", nullptr), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              std::string(kClosedMessage) + kClosedMessage + kClosedMessage);
    EXPECT_EQ(qdx_activity_named("more"), nullptr);
    EXPECT_EQ(qdx_activity_named("late"), nullptr);
    EXPECT_EQ(shape("app"), "app(ldap32(ldap_add ldap_search) parse)");
}

TEST_F(Declarations, WithProfilingOffOnlyTheFirstIsRecorded) {
    declare_small_tree();
    EXPECT_NE(qdx_activity_named("app"), nullptr);
    EXPECT_EQ(qdx_activity_named("ldap32"), nullptr);
    EXPECT_EQ(qdx_activity_named("parse"), nullptr);
    // The common step records whatever the switch says.
    EXPECT_EQ(qdx_create_activity("direct", nullptr), 1);
    EXPECT_EQ(qdx_create_activity("DIRECT", nullptr), 0);
    EXPECT_EQ(qdx_create_activity(nullptr, nullptr), 0);
}

TEST_F(Declarations, TopLevelActivitiesBeforeACompositeAreSiblings) {
    profile("all");
    qdx_create_atomic_activity("setup", nullptr);
    qdx_create_composite_activity("ldap32", nullptr);
    qdx_create_atomic_activity("ldap_add", nullptr);
    qdx_end_composite_activity();
    EXPECT_EQ(shape("ldap32"), "ldap32(ldap_add)");
    EXPECT_EQ(qdx_activity_named("setup")->next.load(), qdx_activity_named("ldap32"));
    qdx_start_activity("setup");
    qdx_start_activity("ldap_add");  // stops its parent's running sibling
    EXPECT_FALSE(is_running("setup"));
    EXPECT_TRUE(is_running("ldap32"));
}

TEST_F(Declarations, UnbalancedEndsAndNullNamesAreHarmless) {
    profile("all");
    qdx_end_composite_activity();  // nothing open yet: no profiler either
    qdx_create_atomic_activity(nullptr, "no name");
    qdx_end_composite_activity();
    qdx_create_composite_activity("app", nullptr);
    qdx_create_atomic_activity("work", nullptr);
    qdx_end_composite_activity();
    EXPECT_EQ(shape("app"), "app(work)");
}

TEST_F(Declarations, TheNameIndexRefusesTheActivityPastItsLastSlot) {
    profile("all");
    qdx_create_composite_activity("root", nullptr);
    for (int i = 1; i < 1013; ++i) {
        qdx_create_atomic_activity(("a" + std::to_string(i)).c_str(), nullptr);
    }
    testing::internal::CaptureStderr();
    qdx_create_atomic_activity("overflow", nullptr);
    qdx_create_atomic_activity("a7", nullptr);  // known: no message
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "*** too many activities (max is 1013), current activity: overflow\n");
    qdx_end_composite_activity();
    EXPECT_EQ(qdx_activity_named("overflow"), nullptr);
    qdx_start_activity("a1012");
    EXPECT_EQ(count_of("a1012"), 1);
    EXPECT_TRUE(is_running("root"));
}

}  // namespace
