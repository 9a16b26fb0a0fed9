// The response cache against real servers: what reaches the server is read from slapd's own
// operation counters.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include <dirclient/ldap_response_cache.h>
#include "ldapaccess_test_util.h"
#include "local_message.h"
#include "message_access.h"
#include "plain_session.h"
#include "response_cache.h"
#include "slapd_server.h"

using namespace dirclient::test;
using namespace dirclient::ldapaccess;

namespace {

struct SessionCloser {
    void operator()(LDAP_CEXT* s) const { ldap_cext_unbind(s); }
};
using Session = std::unique_ptr<LDAP_CEXT, SessionCloser>;

constexpr const char* kAny = "(objectClass=*)";

std::atomic<time_t> g_now{1000000};
time_t fake_now() {
    return g_now.load();
}

class Cache : public ::testing::Test {
  protected:
    void SetUp() override { ResponseCache::set_clock(fake_now); }
    void TearDown() override {
        ResponseCache::set_clock(nullptr);
        EXPECT_EQ(registered_message_count(), 0u) << "a message was not released";
    }

    Session open(SlapdServer& server) {
        return Session(ldap_cext_open(server.url().c_str(), 0, LDAP_CEXT_FAILOVER));
    }

    // A session on the server with its cache on; null when either step fails.
    Session cached(SlapdServer& server, int timeout = 60, long max_memory = 0) {
        Session s = open(server);
        if (s && ldap_cext_enable_cache(s.get(), timeout, max_memory) != 0) s.reset();
        return s;
    }
};

// Every attribute and value of an answer as "dn|attr=value" lines, through the accessors.
std::vector<std::string> flatten(LDAP_CEXT* s, LDAPMessage* answer) {
    std::vector<std::string> lines;
    for (LDAPMessage* e = ldap_cext_first_entry(s, answer); e; e = ldap_cext_next_entry(s, e)) {
        char* dn = ldap_cext_get_dn(s, e);
        BerElement* ber = nullptr;
        for (char* a = ldap_cext_first_attribute(s, e, &ber); a;
             a = ldap_cext_next_attribute(s, e, ber)) {
            berval** values = ldap_cext_get_values_len(s, e, a);
            for (int i = 0; values && values[i]; ++i)
                lines.push_back(std::string(dn) + "|" + a + "=" +
                                std::string(values[i]->bv_val, values[i]->bv_len));
            ldap_cext_value_free_len(values);
            ldap_cext_memfree(a);
        }
        if (ber) ber_free(ber, 0);
        ldap_cext_memfree(dn);
    }
    return lines;
}

int search(LDAP_CEXT* s, const char* base, int scope, const char* filter,
           std::vector<std::string>* lines = nullptr) {
    LDAPMessage* answer = nullptr;
    int rc = ldap_cext_search_s(s, base, scope, filter, nullptr, 0, &answer, 1);
    if (lines) *lines = flatten(s, answer);
    ldap_cext_msgfree(answer);
    return rc;
}

TEST_F(Cache, RepeatedSearchIsAnsweredWithoutReachingTheServer) {
    SlapdServer server;
    Session s = cached(server);
    ASSERT_TRUE(s);
    long before = server.operations("Search");
    std::vector<std::string> first, second;
    ASSERT_EQ(
        search(s.get(), SlapdServer::kPeople, LDAP_SCOPE_SUBTREE, "(objectClass=person)", &first),
        0);
    ASSERT_EQ(
        search(s.get(), SlapdServer::kPeople, LDAP_SCOPE_SUBTREE, "(objectClass=person)", &second),
        0);
    EXPECT_EQ(server.operations("Search") - before, 1);
    EXPECT_EQ(first, second);
    EXPECT_GE(first.size(), 8u);
    // Another filter, scope or attribute list is another request.
    ASSERT_EQ(search(s.get(), SlapdServer::kPeople, LDAP_SCOPE_ONELEVEL, "(objectClass=person)"),
              0);
    ASSERT_EQ(search(s.get(), SlapdServer::kPeople, LDAP_SCOPE_SUBTREE, "(objectClass=Person)"), 0);
    EXPECT_EQ(server.operations("Search") - before, 3);
}

TEST_F(Cache, CachedAnswerOfAnAsynchronousSearchCarriesTheNewIdentifier) {
    SlapdServer server;
    Session s = cached(server);
    ASSERT_TRUE(s);
    long before = server.operations("Search");
    int first = ldap_cext_search(s.get(), SlapdServer::kAlice, 0, kAny, nullptr, 0, 1);
    LDAPMessage* answer = nullptr;
    ASSERT_EQ(ldap_cext_result(s.get(), first, 1, nullptr, &answer), LDAP_RES_SEARCH_ENTRY);
    std::vector<std::string> original = flatten(s.get(), answer);
    ldap_cext_msgfree(answer);

    int second = ldap_cext_search(s.get(), SlapdServer::kAlice, 0, kAny, nullptr, 0, 1);
    ASSERT_GT(second, first);
    // The next result call finds it, whichever identifier it asks for.
    ASSERT_EQ(ldap_cext_result(s.get(), LDAP_RES_ANY, 1, nullptr, &answer), LDAP_RES_SEARCH_ENTRY);
    EXPECT_EQ(ldap_cext_msgid(answer), second);
    EXPECT_EQ(ldap_cext_count_entries(s.get(), answer), 1);
    EXPECT_EQ(flatten(s.get(), answer), original);
    EXPECT_EQ(ldap_cext_result2error(s.get(), answer, 1), 0);
    EXPECT_EQ(server.operations("Search") - before, 1);

    // Entry by entry, too; and a later request sent to the server gets a fresh identifier.
    int third = ldap_cext_search(s.get(), SlapdServer::kAlice, 0, kAny, nullptr, 0, 1);
    ASSERT_EQ(ldap_cext_result(s.get(), third, 0, nullptr, &answer), LDAP_RES_SEARCH_ENTRY);
    ldap_cext_msgfree(answer);
    ASSERT_EQ(ldap_cext_result(s.get(), third, 0, nullptr, &answer), LDAP_RES_SEARCH_RESULT);
    ldap_cext_msgfree(answer);
    int fourth = ldap_cext_search(s.get(), SlapdServer::kBob, 0, kAny, nullptr, 0, 1);
    EXPECT_GT(fourth, third);
    ASSERT_EQ(ldap_cext_result(s.get(), fourth, 1, nullptr, &answer), LDAP_RES_SEARCH_ENTRY);
    EXPECT_EQ(ldap_cext_msgid(answer), fourth);
    ldap_cext_msgfree(answer);
}

TEST_F(Cache, CompareAnswersAreCachedAndCountAsTheServerGaveThem) {
    SlapdServer server;
    Session s = cached(server);
    ASSERT_TRUE(s);
    long before = server.operations("Compare");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ldap_cext_compare_s(s.get(), SlapdServer::kAlice, "sn", "Liddell", 1),
                  LDAP_COMPARE_TRUE);
        EXPECT_EQ(ldap_cext_compare_s(s.get(), SlapdServer::kAlice, "sn", "Carroll", 1),
                  LDAP_COMPARE_FALSE);
    }
    EXPECT_EQ(server.operations("Compare") - before, 2);
}

TEST_F(Cache, NoSuchObjectIsCachedOnlyWithOptionBitTwo) {
    SlapdServer server;
    Session s = cached(server);
    ASSERT_TRUE(s);
    const char* missing = "cn=nobody,dc=example,dc=com";
    long before = server.operations("Search");
    EXPECT_EQ(search(s.get(), missing, 0, kAny), LDAP_NO_SUCH_OBJECT);
    EXPECT_EQ(search(s.get(), missing, 0, kAny), LDAP_NO_SUCH_OBJECT);
    EXPECT_EQ(server.operations("Search") - before, 2);
    ldap_cext_set_cache_options(s.get(), 2);
    EXPECT_EQ(search(s.get(), missing, 0, kAny), LDAP_NO_SUCH_OBJECT);
    EXPECT_EQ(search(s.get(), missing, 0, kAny), LDAP_NO_SUCH_OBJECT);
    EXPECT_EQ(server.operations("Search") - before, 3);
}

TEST_F(Cache, ExpiresOneSecondAfterItsTimeout) {
    SlapdServer server;
    Session s = cached(server, 30);
    ASSERT_TRUE(s);
    long before = server.operations("Search");
    EXPECT_EQ(search(s.get(), SlapdServer::kBob, 0, kAny), 0);
    g_now += 30;
    EXPECT_EQ(search(s.get(), SlapdServer::kBob, 0, kAny), 0);
    EXPECT_EQ(server.operations("Search") - before, 1) << "exactly the time-out old: served";
    g_now += 1;
    EXPECT_EQ(search(s.get(), SlapdServer::kBob, 0, kAny), 0);
    EXPECT_EQ(server.operations("Search") - before, 2) << "one second later: expired";
}

TEST_F(Cache, TrimsTheOldestAnswersWhenMemoryRunsShort) {
    SlapdServer server;
    // Room for about one entry answer within two thirds of the limit.
    Session s = cached(server, 600, 700);
    ASSERT_TRUE(s);
    long before = server.operations("Search");
    EXPECT_EQ(search(s.get(), SlapdServer::kAlice, 0, kAny), 0);
    g_now += 5;
    EXPECT_EQ(search(s.get(), SlapdServer::kBob, 0, kAny), 0);
    EXPECT_EQ(search(s.get(), SlapdServer::kBob, 0, kAny), 0);
    EXPECT_EQ(search(s.get(), SlapdServer::kAlice, 0, kAny), 0);
    EXPECT_EQ(server.operations("Search") - before, 3) << "alice's answer was trimmed";
    // Both answers as old as each other: the second pass removes every one.
    EXPECT_EQ(search(s.get(), SlapdServer::kBob, 0, kAny), 0);
    EXPECT_EQ(server.operations("Search") - before, 4);

    // Without a limit (two thirds of 200 are below the record itself) both stay.
    ASSERT_EQ(ldap_cext_enable_cache(s.get(), 600, 200), 0);
    EXPECT_EQ(search(s.get(), SlapdServer::kAlice, 0, kAny), 0);
    EXPECT_EQ(search(s.get(), SlapdServer::kBob, 0, kAny), 0);
    EXPECT_EQ(search(s.get(), SlapdServer::kAlice, 0, kAny), 0);
    EXPECT_EQ(server.operations("Search") - before, 5);
}

TEST_F(Cache, UncacheEntryAndDisableMakeSearchesReachTheServer) {
    SlapdServer server;
    Session s = cached(server);
    ASSERT_TRUE(s);
    long before = server.operations("Search");
    EXPECT_EQ(search(s.get(), SlapdServer::kPeople, 1, kAny), 0);
    ldap_cext_uncache_entry(s.get(), "CN=BOB,ou=people,dc=example,dc=com");
    EXPECT_EQ(search(s.get(), SlapdServer::kPeople, 1, kAny), 0);
    EXPECT_EQ(server.operations("Search") - before, 2) << "the answer held bob's entry";
    ldap_cext_disable_cache(s.get());
    EXPECT_EQ(search(s.get(), SlapdServer::kPeople, 1, kAny), 0);
    ASSERT_EQ(ldap_cext_enable_cache(s.get(), 60, 100000), 0);
    EXPECT_EQ(search(s.get(), SlapdServer::kPeople, 1, kAny), 0);
    EXPECT_EQ(server.operations("Search") - before, 3) << "contents kept while disabled";
    // A zero memory limit on an existing cache only empties it.
    ASSERT_EQ(ldap_cext_enable_cache(s.get(), 60, 0), 0);
    EXPECT_EQ(search(s.get(), SlapdServer::kPeople, 1, kAny), 0);
    EXPECT_EQ(search(s.get(), SlapdServer::kPeople, 1, kAny), 0);
    EXPECT_EQ(server.operations("Search") - before, 4);
}

TEST_F(Cache, MovesWithTheSessionOnFailover) {
    SlapdServer a, b;
    std::string list = a.url() + ";" + b.url();
    Session s(ldap_cext_open(list.c_str(), 0, LDAP_CEXT_FAILOVER));
    ASSERT_TRUE(s);
    ASSERT_EQ(ldap_cext_enable_cache(s.get(), 60, 0), 0);
    EXPECT_EQ(search(s.get(), SlapdServer::kAlice, 0, kAny), 0);

    // Back on the same server: the cached answers come along.
    a.kill();
    a.start();
    EXPECT_EQ(search(s.get(), SlapdServer::kBob, 0, kAny), 0);
    EXPECT_EQ(current_server(s.get()), a.url());
    long on_a = a.operations("Search");
    EXPECT_EQ(search(s.get(), SlapdServer::kAlice, 0, kAny), 0);
    EXPECT_EQ(a.operations("Search"), on_a);

    // On another server: the settings come along, the answers of the old one do not.
    a.kill();
    EXPECT_EQ(search(s.get(), SlapdServer::kPeople, 0, kAny), 0);
    EXPECT_EQ(current_server(s.get()), b.url());
    long on_b = b.operations("Search");
    EXPECT_EQ(search(s.get(), SlapdServer::kAlice, 0, kAny), 0);
    EXPECT_EQ(search(s.get(), SlapdServer::kAlice, 0, kAny), 0);
    EXPECT_EQ(b.operations("Search") - on_b, 1);
}

TEST_F(Cache, PlainSessionsCacheThroughTheirCore) {
    SlapdServer server;
    std::string host = "127.0.0.1:" + std::to_string(server.port());
    LDAP* ld = plain::open(host.c_str(), 0);
    ASSERT_NE(ld, nullptr);
    ASSERT_EQ(ldap_enable_cache(ld, 60, 0), 0);
    SessionCore& core = plain::core(ld);
    long before = server.operations("Search");
    for (int i = 0; i < 3; ++i) {
        LDAPMessage* answer = nullptr;
        bool cached = false;
        ASSERT_EQ(
            core.search_s(SlapdServer::kBob, 0, kAny, nullptr, 0, nullptr, &answer, true, &cached),
            0);
        EXPECT_EQ(cached, i > 0);
        EXPECT_EQ(message::count_entries(ld, answer), 1);
        berval** values = message::get_values_len(ld, message::first_entry(ld, answer), "sn");
        ASSERT_NE(values, nullptr);
        EXPECT_EQ(std::string(values[0]->bv_val, values[0]->bv_len), "Builder");
        ldap_value_free_len(values);
        message::msgfree(answer);
    }
    EXPECT_EQ(server.operations("Search") - before, 1);
    ldap_flush_cache(ld);
    LDAPMessage* answer = nullptr;
    ASSERT_EQ(core.search_s(SlapdServer::kBob, 0, kAny, nullptr, 0, nullptr, &answer), 0);
    message::msgfree(answer);
    EXPECT_EQ(server.operations("Search") - before, 2);
    ldap_destroy_cache(ld);
    EXPECT_EQ(plain::unbind(ld), 0);
}

TEST_F(Cache, CachedEntriesSortAndUnlinkLikeLibraryOnes) {
    SlapdServer server;
    Session s = cached(server);
    ASSERT_TRUE(s);
    LDAPMessage* answer = nullptr;
    for (int i = 0; i < 2; ++i) {
        ldap_cext_msgfree(answer);
        ASSERT_EQ(
            ldap_cext_search_s(s.get(), SlapdServer::kPeople, 1, kAny, nullptr, 0, &answer, 1), 0);
    }
    ASSERT_NE(as_local(answer), nullptr) << "the second answer came from the cache";
    auto descending = [](const char* a, const char* b) { return -strcasecmp(a, b); };
    ASSERT_EQ(ldap_cext_sort_entries(s.get(), &answer, "cn", descending), 0);
    EXPECT_EQ(entry_dns(s.get(), answer),
              (std::vector<std::string>{SlapdServer::kBob, SlapdServer::kAlice}));
    LDAPMessage* first = ldap_cext_first_entry(s.get(), answer);
    EXPECT_EQ(ldap_cext_delete_result_entry(&answer, first), first);
    EXPECT_EQ(entry_dns(s.get(), answer), std::vector<std::string>{SlapdServer::kAlice});
    ldap_cext_add_result_entry(&answer, first);
    EXPECT_EQ(ldap_cext_count_entries(s.get(), answer), 2);
    char** values = ldap_cext_get_values(s.get(), ldap_cext_first_entry(s.get(), answer), "CN");
    ASSERT_NE(values, nullptr);
    EXPECT_STREQ(values[0], "bob");
    ldap_cext_value_free(values);
    ldap_cext_msgfree(answer);
}

}  // namespace
