// Bounded waits: servers that answer the bind and then fall silent, that drip a long search
// slowly, or that are stopped with SIGSTOP under a server-list session. Every case must
// end within a few response time-outs.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <dirclient/dconnection.h>
#include "fake_ldap_server.h"
#include "ldap_result_codes.h"
#include "ldapaccess_test_util.h"
#include "slapd_server.h"

using namespace dirclient::test;

namespace {

constexpr double kResponseSeconds = 1.0;

struct SessionCloser {
    void operator()(LDAP_CEXT* s) const { ldap_cext_unbind(s); }
};
using Session = std::unique_ptr<LDAP_CEXT, SessionCloser>;

class ResponseTimeout : public ::testing::Test {
  protected:
    ScopedEnv network_{"QDX_NETWORK_TIMEOUT", "1"};
    ScopedEnv response_{"QDX_RESPONSE_TIMEOUT", "1"};
};

// A subtree search on a DConnection: the entries found, or the LDAP code as a negative number.
long search_count(DConnection& c, const char* filter = "(objectClass=*)") {
    DException* e = nullptr;
    SearchResults* found = c.search("dc=example,dc=com", 2, filter, nullptr, false, &e);
    long count = 0;
    if (e != nullptr) count = -(e->getLdapErrorCode() ? e->getLdapErrorCode() : 1);
    for (DEntry* entry = found && !e ? found->first() : nullptr; entry; entry = found->next())
        ++count;
    c.deleteObject(found);
    c.deleteObject(e);
    return count;
}

TEST_F(ResponseTimeout, ServerSilentAfterTheBindFailsTheCallInTime) {
    FakeLdapServer silent({});
    for (std::string host : {"127.0.0.1:" + std::to_string(silent.port()), silent.url()}) {
        DConnection c;
        DException* e = nullptr;
        c.connect(host.c_str(), 0, "cn=x", "pw", &e);
        ASSERT_EQ(e, nullptr) << host;
        Stopwatch clock;
        long code = search_count(c);
        EXPECT_TRUE(code == -QDX_LDAP_SERVER_DOWN || code == -QDX_LDAP_TIMEOUT)
            << host << ": " << code;
        // A server list opens the same server again and waits once more.
        EXPECT_LT(clock.seconds(), 4 * kResponseSeconds + 2) << host;
        EXPECT_GT(clock.seconds(), 0.8 * kResponseSeconds) << host;
    }
}

TEST_F(ResponseTimeout, CallsOwnShorterLimitWinsAndTheSettingIsPerConnection) {
    FakeLdapServer silent({});
    Session s(ldap_cext_open(silent.url().c_str(), 0, LDAP_CEXT_FAILOVER));
    ASSERT_TRUE(s);
    EXPECT_EQ(ldap_cext_set_response_timeout(s.get(), 0), QDX_LDAP_PARAM_ERROR);
    ASSERT_EQ(ldap_cext_set_response_timeout(s.get(), 30), 0);
    timeval limit{0, 300000};
    LDAPMessage* answer = nullptr;
    Stopwatch clock;
    int rc = ldap_cext_search_st(s.get(), "dc=example,dc=com", LDAP_SCOPE_BASE, "(objectClass=*)",
                                 nullptr, 0, &limit, &answer, LDAP_CEXT_FAILOVER);
    ldap_cext_msgfree(answer);
    EXPECT_EQ(rc, QDX_LDAP_TIMEOUT);
    EXPECT_LT(clock.seconds(), 2.0);

    // An asynchronous result without a limit is bounded by the session's own time-out.
    ASSERT_EQ(ldap_cext_set_response_timeout(s.get(), 0.5), 0);
    int id = ldap_cext_search(s.get(), "dc=example,dc=com", LDAP_SCOPE_BASE, "(objectClass=*)",
                              nullptr, 0, 0);
    ASSERT_GT(id, 0);
    Stopwatch wait;
    EXPECT_EQ(ldap_cext_result(s.get(), id, LDAP_MSG_ALL, nullptr, &answer), -1);
    EXPECT_EQ(ldap_cext_get_lderrno(s.get()), QDX_LDAP_SERVER_DOWN);
    EXPECT_LT(wait.seconds(), 2.0);
}

TEST_F(ResponseTimeout, LongSearchThatKeepsSendingIsNotCut) {
    // Eight entries, 0.3 s apart: 2.4 s in all, more than twice the time-out.
    FakeLdapServer slow({true, 8, 0.3});
    DConnection c;
    DException* e = nullptr;
    c.connect(("127.0.0.1:" + std::to_string(slow.port())).c_str(), 0, &e);
    ASSERT_EQ(e, nullptr);
    EXPECT_EQ(search_count(c), 8);
}

TEST_F(ResponseTimeout, StoppedServerUnderASearchFailsOverToTheSecond) {
    SlapdServer first;
    SlapdServer second;
    Session s(
        ldap_cext_open(join_servers({first.url(), second.url()}).c_str(), 0, LDAP_CEXT_FAILOVER));
    ASSERT_TRUE(s);
    ASSERT_EQ(ldap_cext_simple_bind_s(s.get(), SlapdServer::kAdminDn, SlapdServer::kAdminPassword,
                                      LDAP_CEXT_FAILOVER),
              0);
    // A recorded asynchronous search and a synchronous one, both under a stopped server.
    first.pause();
    int id = ldap_cext_search(s.get(), "dc=example,dc=com", LDAP_SCOPE_SUBTREE, "(cn=alice)",
                              nullptr, 0, LDAP_CEXT_FAILOVER | LDAP_CEXT_RECORD);
    ASSERT_GT(id, 0);
    Stopwatch clock;
    LDAPMessage* answer = nullptr;
    EXPECT_EQ(ldap_cext_result(s.get(), id, LDAP_MSG_ALL, nullptr, &answer), LDAP_RES_SEARCH_ENTRY);
    EXPECT_EQ(entry_dns(s.get(), answer), std::vector<std::string>{SlapdServer::kAlice});
    ldap_cext_msgfree(answer);
    EXPECT_EQ(current_server(s.get()), second.url());
    EXPECT_LT(clock.seconds(), 2 * kResponseSeconds + 3);

    // Back to the first, stopped again: a synchronous search moves on just the same.
    ldap_cext_set_servers(s.get(), join_servers({second.url(), first.url()}).c_str());
    second.pause();
    first.kill();
    Stopwatch again;
    EXPECT_EQ(search_dns(s.get(), "(cn=alice)"), std::vector<std::string>{"#81"});
    EXPECT_LT(again.seconds(), 2 * kResponseSeconds + 4);
    second.kill();
}

}  // namespace
