#include "server_quarantine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dirclient::ldapaccess {
namespace {

using std::chrono::seconds;

struct FakeClock {
    std::chrono::steady_clock::time_point now{};
};

std::vector<std::string> names(const std::vector<ServerAddress>& servers) {
    std::vector<std::string> out;
    for (const ServerAddress& s : servers)
        out.push_back(s.host + ":" + std::to_string(s.port));
    return out;
}

class Quarantine : public ::testing::Test {
  protected:
    FakeClock clock_;
    ServerQuarantine quarantine_{[this] { return clock_.now; }};
    std::vector<ServerAddress> list_ = list_servers("LDAP://A:1;junk;LDAP://b:2;LDAP://C:3");
};

TEST_F(Quarantine, PutsFailedServersLastUntilThePeriodEnds) {
    quarantine_.set_period(60);
    ASSERT_EQ(names(list_), (std::vector<std::string>{"A:1", "b:2", "C:3"}));
    quarantine_.failed(ServerAddress{"a", 1});  // host compared without case
    EXPECT_EQ(names(quarantine_.walk_order(list_)),
              (std::vector<std::string>{"b:2", "C:3", "A:1"}));
    clock_.now += seconds(59);
    EXPECT_TRUE(quarantine_.held(list_[0]));
    clock_.now += seconds(1);
    EXPECT_FALSE(quarantine_.held(list_[0]));
    EXPECT_EQ(names(quarantine_.walk_order(list_)), names(list_));
}

TEST_F(Quarantine, AnswerEndsItAndAllHeldKeepsListOrder) {
    quarantine_.set_period(60);
    for (const ServerAddress& s : list_)
        quarantine_.failed(s);
    EXPECT_EQ(names(quarantine_.walk_order(list_)), names(list_));
    quarantine_.answered(list_[2]);
    EXPECT_EQ(names(quarantine_.walk_order(list_)),
              (std::vector<std::string>{"C:3", "A:1", "b:2"}));
}

TEST_F(Quarantine, PeriodFromCallOrEnvironmentAndZeroSwitchesOff) {
    struct Row {
        const char* env;
        std::optional<double> call;
        double expected;
    };
    const Row rows[] = {
        {nullptr, std::nullopt, 60}, {"5", std::nullopt, 5}, {"junk", std::nullopt, 60},
        {"-3", std::nullopt, 60},    {"5", 0.0, 0},          {nullptr, 2.5, 2.5}};
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        if (rows[i].env)
            setenv("QDX_SERVER_QUARANTINE", rows[i].env, 1);
        else
            unsetenv("QDX_SERVER_QUARANTINE");
        quarantine_.set_period(rows[i].call);
        EXPECT_EQ(quarantine_.period(), rows[i].expected);
    }
    unsetenv("QDX_SERVER_QUARANTINE");
    quarantine_.set_period(0);
    quarantine_.failed(list_[0]);
    EXPECT_FALSE(quarantine_.held(list_[0]));
    // Shortening the period applies to a quarantine already running.
    quarantine_.set_period(60);
    quarantine_.failed(list_[0]);
    quarantine_.set_period(1);
    clock_.now += seconds(2);
    EXPECT_FALSE(quarantine_.held(list_[0]));
}

}  // namespace
}  // namespace dirclient::ldapaccess
