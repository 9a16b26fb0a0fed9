#include "profile_environment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "profile_test_support.h"

using dirclient::profile::figure_choice;
using dirclient::profile::kMaxProfiledNames;
using dirclient::profile::profile_words;
using dirclient::profile::ProfiledNames;
using profile_test::count_of;
using profile_test::ProfilerTest;

namespace {

TEST(ProfileWords, SplitsOnBlanksTabsAndCommas) {
    struct Row {
        const char* value;
        std::vector<std::string_view> words;
    };
    const Row rows[] = {
        {"", {}},
        {" ,\t, ", {}},
        {"ldap_add", {"ldap_add"}},
        {"ldap_add,,ldap_search", {"ldap_add", "ldap_search"}},
        {"\tldap_add \t ldap_search,", {"ldap_add", "ldap_search"}},
        {", a ,b\tc,", {"a", "b", "c"}},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(profile_words(rows[i].value), rows[i].words);
    }
}

TEST(FigureChoice, ReadsTheThreeWordsAndAll) {
    struct Row {
        const char* value;
        bool absolute, relative, unit;
    };
    const Row rows[] = {
        {"", false, false, false},
        {"absolute", true, false, false},
        {"relative,unit", false, true, true},
        {"UNIT  Absolute", true, false, true},
        {"seconds, relative, percent", false, true, false},
        {"all", true, true, true},
        {"unit,all,bogus", true, true, true},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        const auto choice = figure_choice(rows[i].value);
        EXPECT_EQ(choice.absolute, rows[i].absolute);
        EXPECT_EQ(choice.relative, rows[i].relative);
        EXPECT_EQ(choice.unit, rows[i].unit);
    }
}

TEST(ProfiledNamesTest, RefusesNamesPastTheLimitButStillTakesAll) {
    ProfiledNames names;
    for (size_t i = 0; i < kMaxProfiledNames; ++i) {
        ASSERT_EQ(names.add("n" + std::to_string(i)), ProfiledNames::Add::added);
    }
    EXPECT_EQ(names.add("extra"), ProfiledNames::Add::too_many);
    EXPECT_FALSE(names.contains("extra"));
    EXPECT_EQ(names.add("all"), ProfiledNames::Add::all);
    EXPECT_TRUE(names.contains("extra"));
}

using ProfileEnvironment = ProfilerTest;

TEST_F(ProfileEnvironment, ProfileOnIgnoresCaseAndNothingElseSwitchesItOn) {
    const std::pair<const char*, int> rows[] = {{"on", 1}, {"ON", 1},  {"oN", 1}, {"off", 0},
                                                {"1", 0},  {"yes", 0}, {"on ", 0}};
    for (const auto& [value, enabled] : rows) {
        SCOPED_TRACE(value);
        qdx_free_profile();
        setenv("QDX_PROFILE", value, 1);
        qdx_create_atomic_activity("first", nullptr);
        EXPECT_EQ(qdx_profile_enabled(), enabled);
    }
}

TEST_F(ProfileEnvironment, ListedActivitiesAreProfiledAndAllAmongThemProfilesEverything) {
    const char* const tree[] = {"app", "ldap32", "ldap_add", "ldap_search", "parse"};
    const std::pair<const char*, std::vector<int>> rows[] = {
        {"ldap_add,,ldap_search", {0, 0, 1, 1, 0}},
        {"parse ALL ldap_add", {1, 1, 1, 1, 1}},
    };
    for (const auto& [list, profiled] : rows) {
        SCOPED_TRACE(list);
        qdx_free_profile();
        profile(list);
        declare_small_tree();
        for (size_t i = 0; i < std::size(tree); ++i)
            EXPECT_EQ(qdx_activity_profiled(qdx_activity_named(tree[i])), profiled[i]) << tree[i];
    }
}

TEST_F(ProfileEnvironment, NamesPastTheLimitAreDroppedWithAMessage) {
    std::string names;
    for (size_t i = 0; i < kMaxProfiledNames + 2; ++i)
        names += "n" + std::to_string(i) + ",";
    profile(names.c_str());
    testing::internal::CaptureStderr();
    qdx_create_atomic_activity("n999", nullptr);
    qdx_create_atomic_activity("n1000", nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "*** too many activities to profile, max is 1000\n"
              "*** too many activities to profile, max is 1000\n");
    EXPECT_EQ(qdx_activity_profiled(qdx_activity_named("n999")), 1);
    EXPECT_EQ(qdx_activity_profiled(qdx_activity_named("n1000")), 0);
}

TEST_F(ProfileEnvironment, IsReadOnlyAtTheFirstDeclaration) {
    qdx_create_composite_activity("app", nullptr);  // profiling stays off
    profile("all");
    qdx_create_atomic_activity("late", nullptr);
    EXPECT_EQ(qdx_profile_enabled(), 0);
    EXPECT_EQ(qdx_activity_named("late"), nullptr);
    // Starting afresh reads it again.
    qdx_free_profile();
    declare_small_tree();
    EXPECT_EQ(qdx_profile_enabled(), 1);
    qdx_start_activity("parse");
    EXPECT_EQ(count_of("parse"), 1);
}

}  // namespace
