// The idle timer against a real server. The shortest idle period is 30 seconds, so this
// program holds one test that watches several sessions at once; ctest runs it beside the
// others.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ldapaccess_test_util.h"
#include "slapd_server.h"

using namespace dirclient::test;

namespace {

void sleep_until(const Stopwatch& clock, double seconds) {
    double left = seconds - clock.seconds();
    if (left > 0) std::this_thread::sleep_for(std::chrono::duration<double>(left));
}

TEST(IdleTimer, ServerSeesTheUnbindAfterTheIdlePeriodAndActivityRestartsIt) {
    SlapdServer server;
    LDAP_CEXT* idle = ldap_cext_open(server.url().c_str(), 0, 1);
    LDAP_CEXT* busy = ldap_cext_open(server.url().c_str(), 0, 1);
    LDAP_CEXT* cached = ldap_cext_open(server.url().c_str(), 0, 1);
    LDAP_CEXT* closed_early = ldap_cext_open(server.url().c_str(), 0, 1);
    ASSERT_TRUE(idle && busy && cached && closed_early);
    ASSERT_EQ(ldap_cext_enable_cache(cached, 600, 100000), 0);
    EXPECT_EQ(search_dns(cached, "(cn=alice)").size(), 1u);

    long unbinds = server.operations("Unbind");
    Stopwatch clock;
    // A time-out below the minimum is raised to 30 seconds.
    for (LDAP_CEXT* s : {idle, busy, cached, closed_early})
        ASSERT_EQ(ldap_cext_set_timeout(s, 10), 0);
    EXPECT_EQ(ldap_cext_set_timeout(idle, -1), 89);

    // Closing a session whose timer runs ends the timer with it (ASan checks the release).
    sleep_until(clock, 1);
    EXPECT_EQ(ldap_cext_unbind(closed_early), 0);
    EXPECT_EQ(server.operations("Unbind") - unbinds, 1);

    sleep_until(clock, 15);
    EXPECT_EQ(search_dns(busy, "(cn=bob)").size(), 1u);     // restarts the countdown
    EXPECT_EQ(search_dns(cached, "(cn=alice)").size(), 1u);  // from the cache: does not
    sleep_until(clock, 25);
    EXPECT_EQ(server.operations("Unbind") - unbinds, 1) << "nothing closed before 30 s";

    sleep_until(clock, 33);
    EXPECT_EQ(server.operations("Unbind") - unbinds, 3) << "idle and cached closed at 30 s";

    sleep_until(clock, 47);
    EXPECT_EQ(server.operations("Unbind") - unbinds, 4) << "busy closed 30 s after its search";

    // A closed session opens its connection again for the next request, and the cache
    // still answers without it.
    long searches = server.operations("Search");
    EXPECT_EQ(search_dns(idle, "(cn=alice)").size(), 1u);
    EXPECT_EQ(search_dns(cached, "(cn=alice)").size(), 1u);
    EXPECT_EQ(server.operations("Search") - searches, 1);

    // Time-out 0 stops the timer; a new time-out starts a new one.
    EXPECT_EQ(ldap_cext_set_timeout(busy, 0), 0);
    EXPECT_EQ(ldap_cext_set_timeout(busy, 60), 0);
    for (LDAP_CEXT* s : {idle, busy, cached}) EXPECT_EQ(ldap_cext_unbind(s), 0);
}

}  // namespace
