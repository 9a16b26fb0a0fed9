// Server-list sessions against real slapd servers that are stopped, killed, restarted and
// silenced under them.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ldap_result_codes.h"
#include "ldapaccess_test_util.h"
#include "slapd_server.h"

using namespace dirclient::test;

namespace {

constexpr const char* kAliceFilter = "(cn=alice)";
const std::vector<std::string> kAlice = {SlapdServer::kAlice};
const std::vector<std::string> kBob = {SlapdServer::kBob};

// Starts an asynchronous subtree search of the suffix; with flags 3 it is recorded for
// re-sending after a fail-over, with 1 it is not.
int search_async(LDAP_CEXT* session, const char* filter, int flags) {
    return ldap_cext_search(session, SlapdServer::kSuffix, LDAP_SCOPE_SUBTREE, filter, nullptr, 0,
                            flags);
}

struct SessionCloser {
    void operator()(LDAP_CEXT* s) const { ldap_cext_unbind(s); }
};
using Session = std::unique_ptr<LDAP_CEXT, SessionCloser>;

Session open_list(const std::vector<std::string>& urls, int options = LDAP_CEXT_FAILOVER) {
    return Session(ldap_cext_open(join_servers(urls).c_str(), 0, options));
}

std::string down_url() {
    return "LDAP://127.0.0.1:" + std::to_string(free_tcp_port());
}

class ServerList : public ::testing::Test {
  protected:
    // One network time-out for every test: a silent server costs a second.
    ScopedEnv timeout_{"QDX_NETWORK_TIMEOUT", "1"};
};

TEST_F(ServerList, OpensOnFirstServerThatAnswers) {
    SlapdServer b;
    std::string down = down_url();
    Session session = open_list({down, b.url()});
    ASSERT_TRUE(session);
    EXPECT_EQ(current_server(session.get()), b.url());
    EXPECT_EQ(search_dns(session.get(), kAliceFilter), kAlice);

    // Without fail-over at open, the first server that cannot be opened ends it.
    EXPECT_FALSE(open_list({down, b.url()}, 0));
    EXPECT_FALSE(open_list({down_url(), down_url()}));
}

TEST_F(ServerList, ListSyntaxSkipsJunkAndUpperCases) {
    SlapdServer a;
    std::string list = "junk;  ldap://127.0.0.1:" + std::to_string(a.port()) + " ;ldap://x";
    Session session(ldap_cext_open(list.c_str(), 0, LDAP_CEXT_FAILOVER));
    ASSERT_TRUE(session);
    char* servers = ldap_cext_get_servers(session.get());
    EXPECT_STREQ(servers,
                 ("JUNK;  LDAP://127.0.0.1:" + std::to_string(a.port()) + " ;LDAP://X").c_str());
    ldap_cext_SLfree(servers);
    EXPECT_EQ(current_server(session.get()), a.url());
}

TEST_F(ServerList, FailsOverWhenCurrentServerIsKilledAndStaysThere) {
    SlapdServer a, b, c;
    Session session = open_list({a.url(), b.url(), c.url()});
    ASSERT_TRUE(session);
    EXPECT_EQ(search_dns(session.get(), kAliceFilter), kAlice);
    a.kill();
    EXPECT_EQ(search_dns(session.get(), kAliceFilter), kAlice);
    EXPECT_EQ(current_server(session.get()), b.url());
    long before = b.operations("Search");
    EXPECT_EQ(search_dns(session.get(), "(cn=bob)"), kBob);
    EXPECT_EQ(b.operations("Search") - before, 1);
    b.kill();
    EXPECT_EQ(search_dns(session.get(), kAliceFilter), kAlice);
    EXPECT_EQ(current_server(session.get()), c.url());
}

TEST_F(ServerList, WithoutTheFlagAFailureIsReturnedAsServerDown) {
    SlapdServer a, b;
    Session session = open_list({a.url(), b.url()});
    ASSERT_TRUE(session);
    a.kill();
    EXPECT_EQ(search_dns(session.get(), kAliceFilter, 0), std::vector<std::string>{"#81"});
    EXPECT_EQ(ldap_cext_get_lderrno(session.get()), QDX_LDAP_SERVER_DOWN);
    EXPECT_EQ(current_server(session.get()), a.url());
    EXPECT_EQ(ldap_cext_compare_s(session.get(), SlapdServer::kAlice, "sn", "Liddell", 1),
              LDAP_COMPARE_TRUE);
    EXPECT_EQ(current_server(session.get()), b.url());
}

TEST_F(ServerList, NoSuchObjectNeverFailsOver) {
    SlapdServer a, b;
    Session session = open_list({a.url(), b.url()});
    ASSERT_TRUE(session);
    LDAPMessage* answer = nullptr;
    EXPECT_EQ(ldap_cext_search_s(session.get(), "ou=nowhere,dc=example,dc=com", LDAP_SCOPE_BASE,
                                 "(objectClass=*)", nullptr, 0, &answer, 1),
              32);
    ldap_cext_msgfree(answer);
    EXPECT_EQ(current_server(session.get()), a.url());
}

TEST_F(ServerList, AllServersDownReturnsLastCodeAndKeepsSessionThenRecovers) {
    SlapdServer a, b;
    Session session = open_list({a.url(), b.url()});
    ASSERT_TRUE(session);
    a.kill();
    b.kill();
    EXPECT_EQ(search_dns(session.get(), kAliceFilter), std::vector<std::string>{"#81"});
    EXPECT_EQ(current_server(session.get()), a.url());
    b.start();
    EXPECT_EQ(search_dns(session.get(), kAliceFilter), kAlice);
    EXPECT_EQ(current_server(session.get()), b.url());
    // A server back on its port is taken again from the start of the list.
    a.start();
    b.kill();
    EXPECT_EQ(search_dns(session.get(), kAliceFilter), kAlice);
    EXPECT_EQ(current_server(session.get()), a.url());
}

TEST_F(ServerList, RebindsWithStoredCredentialsAfterFailover) {
    SlapdOptions closed;
    closed.anonymous_reads = false;
    SlapdServer a(closed), b(closed);
    Session session = open_list({a.url(), b.url()});
    ASSERT_TRUE(session);
    // Anonymous: the entries stay hidden.
    EXPECT_NE(search_dns(session.get(), kAliceFilter), kAlice);
    ASSERT_EQ(
        ldap_cext_simple_bind_s(session.get(), SlapdServer::kAlice, SlapdServer::kAlicePassword, 1),
        0);
    EXPECT_EQ(search_dns(session.get(), kAliceFilter), kAlice);
    a.kill();
    EXPECT_EQ(search_dns(session.get(), kAliceFilter), kAlice);
    EXPECT_EQ(current_server(session.get()), b.url());
    // A failed bind keeps the credentials of the last good one.
    EXPECT_EQ(ldap_cext_simple_bind_s(session.get(), SlapdServer::kAlice, "wrong", 1),
              LDAP_INVALID_CREDENTIALS);
    a.start();
    b.kill();
    EXPECT_EQ(search_dns(session.get(), kAliceFilter), kAlice);
}

TEST_F(ServerList, BindFailsOverItself) {
    SlapdServer a, b;
    Session session = open_list({a.url(), b.url()});
    ASSERT_TRUE(session);
    a.kill();
    EXPECT_EQ(
        ldap_cext_simple_bind_s(session.get(), SlapdServer::kAlice, SlapdServer::kAlicePassword, 1),
        0);
    EXPECT_EQ(current_server(session.get()), b.url());
}

TEST_F(ServerList, RecordedSearchPendingAtKillGetsItsAnswerUnderTheCallersId) {
    SlapdServer a, b;
    Session session = open_list({a.url(), b.url()});
    ASSERT_TRUE(session);
    a.pause();
    int first = search_async(session.get(), kAliceFilter, 3);
    int second = search_async(session.get(), "(cn=bob)", 3);
    ASSERT_GT(first, 0);
    ASSERT_GT(second, first);
    a.kill();
    // Waiting for the second request notices the loss, moves on and re-sends both.
    LDAPMessage* answer = nullptr;
    ASSERT_EQ(ldap_cext_result(session.get(), second, 1, nullptr, &answer), LDAP_RES_SEARCH_ENTRY);
    EXPECT_EQ(ldap_cext_msgid(answer), second);
    EXPECT_EQ(entry_dns(session.get(), answer), kBob);
    EXPECT_EQ(ldap_cext_result2error(session.get(), answer, 1), 0);
    ASSERT_EQ(ldap_cext_result(session.get(), first, 1, nullptr, &answer), LDAP_RES_SEARCH_ENTRY);
    EXPECT_EQ(ldap_cext_msgid(answer), first);
    EXPECT_EQ(entry_dns(session.get(), answer), kAlice);
    ldap_cext_msgfree(answer);
    EXPECT_EQ(current_server(session.get()), b.url());

    // Answered searches are no longer re-sent: a later fail-over sends nothing extra.
    a.start();
    long before = a.operations("Search");
    b.kill();
    EXPECT_EQ(search_dns(session.get(), "(cn=bob)"), kBob);
    EXPECT_EQ(a.operations("Search") - before, 1);
}

TEST_F(ServerList, RecordedSearchIsResentWhenASynchronousCallFailsOver) {
    SlapdServer a, b;
    Session session = open_list({a.url(), b.url()});
    ASSERT_TRUE(session);
    a.pause();
    int id = search_async(session.get(), kAliceFilter, 3);
    ASSERT_GT(id, 0);
    a.kill();
    EXPECT_EQ(search_dns(session.get(), "(cn=bob)"), kBob);
    LDAPMessage* answer = nullptr;
    ASSERT_GT(ldap_cext_result(session.get(), LDAP_RES_ANY, 1, nullptr, &answer), 0);
    EXPECT_EQ(ldap_cext_msgid(answer), id);
    EXPECT_EQ(entry_dns(session.get(), answer), kAlice);
    ldap_cext_msgfree(answer);
}

TEST_F(ServerList, UnrecordedRequestLostInFailoverFailsPromptly) {
    SlapdServer a, b;
    Session session = open_list({a.url(), b.url()});
    ASSERT_TRUE(session);
    a.pause();
    int id = search_async(session.get(), kAliceFilter, 1);
    ASSERT_GT(id, 0);
    a.kill();
    EXPECT_EQ(search_dns(session.get(), "(cn=bob)"), kBob);
    // A new request on the new server must not be confused with the lost one.
    int next = search_async(session.get(), "(cn=bob)", 1);
    EXPECT_NE(next, id);
    LDAPMessage* answer = nullptr;
    Stopwatch watch;
    EXPECT_EQ(ldap_cext_result(session.get(), id, 1, nullptr, &answer), -1);
    EXPECT_EQ(ldap_cext_get_lderrno(session.get()), QDX_LDAP_SERVER_DOWN);
    EXPECT_LT(watch.seconds(), 1.0);
    ASSERT_GT(ldap_cext_result(session.get(), next, 1, nullptr, &answer), 0);
    EXPECT_EQ(ldap_cext_msgid(answer), next);
    ldap_cext_msgfree(answer);
}

TEST_F(ServerList, AbandonForgetsTheRecordedSearch) {
    SlapdServer a, b;
    Session session = open_list({a.url(), b.url()});
    ASSERT_TRUE(session);
    a.pause();
    int id = search_async(session.get(), kAliceFilter, 3);
    ASSERT_EQ(ldap_cext_abandon(session.get(), id), 0);
    a.kill();
    long before = b.operations("Search");
    EXPECT_EQ(search_dns(session.get(), "(cn=bob)"), kBob);
    EXPECT_EQ(b.operations("Search") - before, 1);
}

TEST_F(ServerList, SilentServerCostsOneNetworkTimeoutAtOpenAndFailover) {
    SilentServer silent;
    SlapdServer a, b;
    Stopwatch open_watch;
    Session session = open_list({silent.url(), a.url(), b.url()});
    ASSERT_TRUE(session);
    EXPECT_LT(open_watch.seconds(), 2.5);
    EXPECT_GE(open_watch.seconds(), 0.9);
    EXPECT_EQ(current_server(session.get()), a.url());
    a.kill();
    Stopwatch failover_watch;
    EXPECT_EQ(search_dns(session.get(), kAliceFilter), kAlice);
    EXPECT_LT(failover_watch.seconds(), 2.5);
    EXPECT_EQ(current_server(session.get()), b.url());
}

TEST_F(ServerList, IsChangedFollowsModsCompletedAndServerMoves) {
    SlapdServer a, b;
    Session session = open_list({a.url(), b.url()});
    ASSERT_TRUE(session);
    EXPECT_EQ(ldap_cext_is_changed(session.get()), 0);
    ASSERT_EQ(a.replace(SlapdServer::kBob, "sn", "Mason"), 0);
    EXPECT_EQ(ldap_cext_is_changed(session.get()), 1);
    EXPECT_EQ(ldap_cext_get_mod_count(session.get()), 1);
    EXPECT_EQ(ldap_cext_is_changed(session.get()), 0);
    // A modification the server refuses changes nothing.
    EXPECT_NE(a.replace("cn=nobody,dc=example,dc=com", "sn", "x"), 0);
    EXPECT_EQ(ldap_cext_is_changed(session.get()), 0);
    // Our own modification counts too.
    ASSERT_EQ(ldap_cext_simple_bind_s(session.get(), SlapdServer::kAdminDn,
                                      SlapdServer::kAdminPassword, 1),
              0);
    char sn[] = "sn";
    char value[] = "Smith";
    char* values[] = {value, nullptr};
    LDAPMod mod{LDAP_MOD_REPLACE, sn, {values}};
    LDAPMod* mods[] = {&mod, nullptr};
    EXPECT_EQ(ldap_cext_modify_s(session.get(), SlapdServer::kBob, mods), 0);
    EXPECT_EQ(ldap_cext_is_changed(session.get()), 1);
    EXPECT_EQ(ldap_cext_get_mod_count(session.get()), 2);
    a.kill();
    EXPECT_EQ(ldap_cext_is_changed(session.get()), 1);
    EXPECT_EQ(current_server(session.get()), b.url());
}

TEST_F(ServerList, AsynchronousAnswersCarryTheCallersIdentifier) {
    SlapdServer a;
    Session session = open_list({a.url()});
    ASSERT_TRUE(session);
    int id = ldap_cext_compare(session.get(), SlapdServer::kAlice, "sn", "Liddell");
    ASSERT_GT(id, 0);
    LDAPMessage* answer = nullptr;
    ASSERT_EQ(ldap_cext_result(session.get(), LDAP_RES_ANY, 1, nullptr, &answer), LDAP_RES_COMPARE);
    EXPECT_EQ(ldap_cext_msgid(answer), id);
    EXPECT_EQ(ldap_cext_result2error(session.get(), answer, 1), LDAP_COMPARE_TRUE);
    timeval nothing{0, 200000};
    EXPECT_EQ(ldap_cext_result(session.get(), LDAP_RES_ANY, 1, &nothing, &answer), 0);
}

TEST_F(ServerList, UrlSearchesUseBaseScopeFilterAndAttributes) {
    SlapdServer a;
    Session session = open_list({a.url()});
    ASSERT_TRUE(session);
    LDAPMessage* answer = nullptr;
    ASSERT_EQ(ldap_cext_url_search_s(
                  session.get(), "ldap:///ou=people,dc=example,dc=com?sn?one?(cn=bob)", 0, &answer),
              0);
    EXPECT_EQ(entry_dns(session.get(), answer), kBob);
    LDAPMessage* entry = ldap_cext_first_entry(session.get(), answer);
    BerElement* ber = nullptr;
    char* attr = ldap_cext_first_attribute(session.get(), entry, &ber);
    EXPECT_STREQ(attr, "sn");
    ldap_cext_memfree(attr);
    EXPECT_EQ(ldap_cext_next_attribute(session.get(), entry, ber), nullptr);
    ber_free(ber, 0);
    ldap_cext_msgfree(answer);
    EXPECT_EQ(ldap_cext_url_search_s(session.get(), "not a url", 0, &answer), QDX_LDAP_PARAM_ERROR);
}

TEST(ServerListSession, NullSessionsAreRefused) {
    EXPECT_EQ(ldap_cext_unbind(nullptr), LDAP_OTHER);
    EXPECT_EQ(ldap_cext_search(nullptr, "", 0, "(a=b)", nullptr, 0, 3), -1);
    EXPECT_EQ(ldap_cext_set_timeout(nullptr, 30), QDX_LDAP_PARAM_ERROR);
}

}  // namespace
