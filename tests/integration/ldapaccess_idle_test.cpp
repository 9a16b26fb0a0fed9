// The idle timer against a real server. The shortest idle period is 30 seconds, so this
// program holds one test that watches several sessions at once; ctest runs it beside the
// others.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ldapaccess_test_util.h"
#include "slapd_server.h"
#include "tls_certificates.h"

using namespace dirclient::test;

namespace {

void sleep_until(const Stopwatch& clock, double seconds) {
    double left = seconds - clock.seconds();
    if (left > 0) std::this_thread::sleep_for(std::chrono::duration<double>(left));
}

size_t count_of(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(IdleTimer, ServerSeesTheUnbindAfterTheIdlePeriodAndActivityRestartsIt) {
    // libldap reads the CA from the environment when it is first used.
    TlsCertificates certificates;
    ScopedEnv ca("LDAPTLS_CACERT", certificates.ca().c_str());
    SlapdOptions options;
    options.tls = &certificates;
    SlapdServer server(options);
    LDAP_CEXT* idle = ldap_cext_open(server.url().c_str(), 0, 1);
    LDAP_CEXT* busy = ldap_cext_open(server.url().c_str(), 0, 1);
    LDAP_CEXT* cached = ldap_cext_open(server.url().c_str(), 0, 1);
    LDAP_CEXT* closed_early = ldap_cext_open(server.url().c_str(), 0, 1);
    // Only synchronous searches and change checks are activity: a compare is not.
    LDAP_CEXT* compared = ldap_cext_open(server.url().c_str(), 0, 1);
    // A connection that still owes an answer is not idle.
    LDAP_CEXT* pending = ldap_cext_open(server.url().c_str(), 0, 1);
    LDAP_CEXT* encrypted = ldap_cext_open(server.tls_url().c_str(), 0, 1);
    ASSERT_TRUE(idle && busy && cached && closed_early && compared && pending && encrypted);
    ASSERT_EQ(ldap_cext_enable_cache(cached, 600, 100000), 0);
    EXPECT_EQ(search_dns(cached, "(cn=alice)").size(), 1u);

    long unbinds = server.operations("Unbind");
    Stopwatch clock;
    // A time-out below the minimum is raised to 30 seconds.
    for (LDAP_CEXT* s : {idle, busy, cached, closed_early, compared, pending, encrypted})
        ASSERT_EQ(ldap_cext_set_timeout(s, 10), 0);
    EXPECT_EQ(ldap_cext_set_timeout(idle, -1), 89);

    // Closing a session whose timer runs ends the timer with it (ASan checks the release).
    sleep_until(clock, 1);
    EXPECT_EQ(ldap_cext_unbind(closed_early), 0);
    EXPECT_EQ(server.operations("Unbind") - unbinds, 1);

    sleep_until(clock, 15);
    EXPECT_EQ(search_dns(busy, "(cn=bob)").size(), 1u);     // restarts the countdown
    EXPECT_EQ(search_dns(cached, "(cn=alice)").size(), 1u);  // from the cache: does not
    EXPECT_EQ(ldap_cext_compare_s(compared, SlapdServer::kAlice, "sn", "Liddell", 1), 6);
    int owed = ldap_cext_search(pending, SlapdServer::kSuffix, LDAP_SCOPE_SUBTREE, "(cn=bob)",
                                nullptr, 0, 1);
    ASSERT_GT(owed, 0);
    sleep_until(clock, 25);
    EXPECT_EQ(server.operations("Unbind") - unbinds, 1) << "nothing closed before 30 s";

    sleep_until(clock, 33);
    EXPECT_EQ(server.operations("Unbind") - unbinds, 5)
        << "idle, cached, compared and encrypted closed at 30 s";
    LDAPMessage* answer = nullptr;
    EXPECT_EQ(ldap_cext_result(pending, owed, LDAP_MSG_ALL, nullptr, &answer),
              LDAP_RES_SEARCH_ENTRY);
    EXPECT_EQ(entry_dns(pending, answer), std::vector<std::string>{SlapdServer::kBob});
    ldap_cext_msgfree(answer);

    sleep_until(clock, 47);
    EXPECT_EQ(server.operations("Unbind") - unbinds, 6) << "busy closed 30 s after its search";

    // The encrypted session opens its connection again over TLS.
    size_t handshakes = count_of(server.log(), "TLS established");
    EXPECT_EQ(search_dns(encrypted, "(cn=bob)").size(), 1u);
    EXPECT_EQ(count_of(server.log(), "TLS established"), handshakes + 1);

    // A closed session opens its connection again for the next request, and the cache
    // still answers without it.
    long searches = server.operations("Search");
    EXPECT_EQ(search_dns(idle, "(cn=alice)").size(), 1u);
    EXPECT_EQ(search_dns(cached, "(cn=alice)").size(), 1u);
    EXPECT_EQ(server.operations("Search") - searches, 1);

    // Time-out 0 stops the timer; a new time-out starts a new one.
    EXPECT_EQ(ldap_cext_set_timeout(busy, 0), 0);
    EXPECT_EQ(ldap_cext_set_timeout(busy, 60), 0);
    for (LDAP_CEXT* s : {idle, busy, cached, compared, pending, encrypted})
        EXPECT_EQ(ldap_cext_unbind(s), 0);
}

}  // namespace
