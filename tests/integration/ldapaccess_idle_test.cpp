// The idle timer against a real server. The shortest idle period is 30 seconds, so this
// program holds one test that watches several sessions at once; ctest runs it beside the
// others.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ldap_result_codes.h"
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

// The sessions the test watches at once, each showing one rule of the idle timer.
struct WatchedSessions {
    LDAP_CEXT* idle;
    LDAP_CEXT* busy;
    LDAP_CEXT* cached;
    LDAP_CEXT* closed_early;
    // Only synchronous searches and change checks are activity: a compare is not.
    LDAP_CEXT* compared;
    // A connection that still owes an answer is not idle.
    LDAP_CEXT* pending;
    LDAP_CEXT* encrypted;

    explicit WatchedSessions(const SlapdServer& server)
        : idle(open(server.url())),
          busy(open(server.url())),
          cached(open(server.url())),
          closed_early(open(server.url())),
          compared(open(server.url())),
          pending(open(server.url())),
          encrypted(open(server.tls_url())) {}

    bool opened() const {
        return idle && busy && cached && closed_early && compared && pending && encrypted;
    }
    std::vector<LDAP_CEXT*> all() const {
        return {idle, busy, cached, closed_early, compared, pending, encrypted};
    }
    // Every session still open at the end (closed_early is gone by then).
    std::vector<LDAP_CEXT*> remaining() const {
        return {idle, busy, cached, compared, pending, encrypted};
    }

  private:
    static LDAP_CEXT* open(const std::string& url) { return ldap_cext_open(url.c_str(), 0, 1); }
};

// At 15 s: what counts as activity and what does not; the pending search's message id.
int act_halfway(const WatchedSessions& s) {
    EXPECT_EQ(search_dns(s.busy, "(cn=bob)").size(), 1u);      // restarts the countdown
    EXPECT_EQ(search_dns(s.cached, "(cn=alice)").size(), 1u);  // from the cache: does not
    EXPECT_EQ(ldap_cext_compare_s(s.compared, SlapdServer::kAlice, "sn", "Liddell", 1),
              LDAP_COMPARE_TRUE);
    return ldap_cext_search(s.pending, SlapdServer::kSuffix, LDAP_SCOPE_SUBTREE, "(cn=bob)",
                            nullptr, 0, 1);
}

// After the idle close: the answer owed is still collected, the encrypted session opens
// again over TLS, and a closed session opens again while the cache answers without it.
void reopen_after_close(SlapdServer& server, const WatchedSessions& s) {
    size_t handshakes = count_of(server.log(), "TLS established");
    EXPECT_EQ(search_dns(s.encrypted, "(cn=bob)").size(), 1u);
    EXPECT_EQ(count_of(server.log(), "TLS established"), handshakes + 1);

    long searches = server.operations("Search");
    EXPECT_EQ(search_dns(s.idle, "(cn=alice)").size(), 1u);
    EXPECT_EQ(search_dns(s.cached, "(cn=alice)").size(), 1u);
    EXPECT_EQ(server.operations("Search") - searches, 1);
}

TEST(IdleTimer, ServerSeesTheUnbindAfterTheIdlePeriodAndActivityRestartsIt) {
    // libldap reads the CA from the environment when it is first used.
    TlsCertificates certificates;
    ScopedEnv ca("LDAPTLS_CACERT", certificates.ca().c_str());
    SlapdOptions options;
    options.tls = &certificates;
    SlapdServer server(options);
    WatchedSessions s(server);
    ASSERT_TRUE(s.opened());
    ASSERT_EQ(ldap_cext_enable_cache(s.cached, 600, 100000), 0);
    EXPECT_EQ(search_dns(s.cached, "(cn=alice)").size(), 1u);

    long unbinds = server.operations("Unbind");
    Stopwatch clock;
    // A time-out below the minimum is raised to 30 seconds.
    for (LDAP_CEXT* session : s.all())
        ASSERT_EQ(ldap_cext_set_timeout(session, 10), 0);
    EXPECT_EQ(ldap_cext_set_timeout(s.idle, -1), QDX_LDAP_PARAM_ERROR);

    // Closing a session whose timer runs ends the timer with it (ASan checks the release).
    sleep_until(clock, 1);
    EXPECT_EQ(ldap_cext_unbind(s.closed_early), 0);
    EXPECT_EQ(server.operations_reaching("Unbind", unbinds + 1) - unbinds, 1);

    sleep_until(clock, 15);
    int owed = act_halfway(s);
    ASSERT_GT(owed, 0);
    sleep_until(clock, 25);
    EXPECT_EQ(server.operations("Unbind") - unbinds, 1) << "nothing closed before 30 s";

    sleep_until(clock, 33);
    EXPECT_EQ(server.operations_reaching("Unbind", unbinds + 5) - unbinds, 5)
        << "idle, cached, compared and encrypted closed at 30 s";
    LDAPMessage* answer = nullptr;
    EXPECT_EQ(ldap_cext_result(s.pending, owed, LDAP_MSG_ALL, nullptr, &answer),
              LDAP_RES_SEARCH_ENTRY);
    EXPECT_EQ(entry_dns(s.pending, answer), std::vector<std::string>{SlapdServer::kBob});
    ldap_cext_msgfree(answer);

    sleep_until(clock, 47);
    EXPECT_EQ(server.operations_reaching("Unbind", unbinds + 6) - unbinds, 6)
        << "busy closed 30 s after its search";
    reopen_after_close(server, s);

    // Time-out 0 stops the timer; a new time-out starts a new one.
    EXPECT_EQ(ldap_cext_set_timeout(s.busy, 0), 0);
    EXPECT_EQ(ldap_cext_set_timeout(s.busy, 60), 0);
    for (LDAP_CEXT* session : s.remaining())
        EXPECT_EQ(ldap_cext_unbind(session), 0);
}

}  // namespace
