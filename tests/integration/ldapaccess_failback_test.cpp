// Server lists that skip dead servers for a while and return to the preferred server once
// it is back, against real slapd servers killed and restarted under them.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ldap_result_codes.h"
#include "ldapaccess_test_util.h"
#include "slapd_server.h"

using namespace dirclient::test;

namespace {

constexpr const char* kAliceFilter = "(cn=alice)";
const std::vector<std::string> kAlice = {SlapdServer::kAlice};

struct SessionCloser {
    void operator()(LDAP_CEXT* s) const { ldap_cext_unbind(s); }
};
using Session = std::unique_ptr<LDAP_CEXT, SessionCloser>;

Session open_list(const std::vector<std::string>& urls) {
    return Session(ldap_cext_open(join_servers(urls).c_str(), 0, LDAP_CEXT_FAILOVER));
}

class ServerReturn : public ::testing::Test {
  protected:
    ~ServerReturn() override { ldap_cext_set_quarantine(-1); }
    ScopedEnv timeout_{"QDX_NETWORK_TIMEOUT", "1"};
};

TEST_F(ServerReturn, DeadFirstServerCostsItsTimeoutOncePerQuarantine) {
    ASSERT_EQ(ldap_cext_set_quarantine(60), 0);
    SilentServer dead;
    SlapdServer b, c;
    Stopwatch first;
    Session one = open_list({dead.url(), b.url(), c.url()});
    ASSERT_TRUE(one);
    EXPECT_GE(first.seconds(), 0.9);

    // Later opens and fail-overs, of this session or another, pass it over at no cost.
    Stopwatch later;
    Session two = open_list({dead.url(), b.url(), c.url()});
    ASSERT_TRUE(two);
    b.kill();
    EXPECT_EQ(search_dns(one.get(), kAliceFilter), kAlice);
    EXPECT_EQ(search_dns(two.get(), kAliceFilter), kAlice);
    EXPECT_EQ(current_server(two.get()), c.url());
    EXPECT_LT(later.seconds(), 0.8);

    // Once the period is over the dead server is tried, and paid for, again.
    ASSERT_EQ(ldap_cext_set_quarantine(1), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    Stopwatch again;
    EXPECT_TRUE(open_list({dead.url(), c.url()}));
    EXPECT_GE(again.seconds(), 0.9);

    // Switched off, every walk pays for it.
    ASSERT_EQ(ldap_cext_set_quarantine(0), 0);
    Stopwatch off;
    EXPECT_TRUE(open_list({dead.url(), c.url()}));
    EXPECT_TRUE(open_list({dead.url(), c.url()}));
    EXPECT_GE(off.seconds(), 1.8);
}

TEST_F(ServerReturn, WhenEveryServerIsHeldTheListIsWalkedAnyway) {
    SlapdServer a;
    a.kill();
    EXPECT_FALSE(open_list({a.url()}));
    a.start();
    Session session = open_list({a.url()});
    ASSERT_TRUE(session);
    EXPECT_EQ(search_dns(session.get(), kAliceFilter), kAlice);
}

TEST_F(ServerReturn, ComesBackToFirstServerWithinOneProbeInterval) {
    SlapdServer a, b;
    Session session = open_list({a.url(), b.url()});
    ASSERT_TRUE(session);
    ASSERT_EQ(ldap_cext_simple_bind_s(session.get(), SlapdServer::kAlice,
                                      SlapdServer::kAlicePassword, LDAP_CEXT_FAILOVER),
              0);
    ASSERT_EQ(ldap_cext_set_failback(session.get(), 1), 0);
    EXPECT_EQ(ldap_cext_is_changed(session.get()), 0);
    a.kill();
    EXPECT_EQ(search_dns(session.get(), kAliceFilter), kAlice);
    ASSERT_EQ(current_server(session.get()), b.url());
    EXPECT_EQ(ldap_cext_is_changed(session.get()), 1);

    // While an answer is outstanding the session stays where it is.
    a.start();
    int id = ldap_cext_search(session.get(), SlapdServer::kSuffix, LDAP_SCOPE_SUBTREE, kAliceFilter,
                              nullptr, 0, LDAP_CEXT_FAILOVER | LDAP_CEXT_RECORD);
    ASSERT_GT(id, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    LDAPMessage* answer = nullptr;
    timeval limit{5, 0};
    EXPECT_EQ(ldap_cext_result(session.get(), id, LDAP_MSG_ALL, &limit, &answer),
              LDAP_RES_SEARCH_ENTRY);
    ldap_cext_msgfree(answer);
    EXPECT_EQ(current_server(session.get()), b.url());

    // The next request goes to the first server again, bound as before.
    long binds_before = a.operations("Bind");
    EXPECT_EQ(search_dns(session.get(), kAliceFilter), kAlice);
    EXPECT_EQ(current_server(session.get()), a.url());
    EXPECT_EQ(a.operations("Bind") - binds_before, 2);  // the probe's and the re-bind
    EXPECT_EQ(ldap_cext_is_changed(session.get()), 1);
    EXPECT_EQ(ldap_cext_is_changed(session.get()), 0);
}

TEST_F(ServerReturn, FailBackIsOffByDefaultAndRefusesBadValues) {
    SlapdServer a, b;
    Session session = open_list({a.url(), b.url()});
    ASSERT_TRUE(session);
    a.kill();
    EXPECT_EQ(search_dns(session.get(), kAliceFilter), kAlice);
    a.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(search_dns(session.get(), kAliceFilter), kAlice);
    EXPECT_EQ(current_server(session.get()), b.url());
    EXPECT_EQ(ldap_cext_set_failback(session.get(), -1), QDX_LDAP_PARAM_ERROR);
    EXPECT_EQ(ldap_cext_set_failback(nullptr, 1), QDX_LDAP_PARAM_ERROR);
    EXPECT_EQ(ldap_cext_set_quarantine(-2), QDX_LDAP_PARAM_ERROR);
}

}  // namespace
