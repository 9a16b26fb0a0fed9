// DNS discovery through the real resolver, in private namespaces where 127.0.0.1:53 is ours
// (run by tests/support/run_in_private_namespace.sh).

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <dirclient/dns_discovery.h>
#include "dns_server.h"
#include "ldapaccess_test_util.h"
#include "slapd_server.h"

using namespace dirclient::test;

namespace {

struct SessionCloser {
    void operator()(LDAP_CEXT* s) const { ldap_cext_unbind(s); }
};
using Session = std::unique_ptr<LDAP_CEXT, SessionCloser>;

class Dns : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string reason;
        if (!in_private_dns_namespace(&reason)) GTEST_SKIP() << "DNS tests skipped: " << reason;
    }
    ScopedEnv timeout_{"QDX_NETWORK_TIMEOUT", "1"};
};

std::string lower_url(const SlapdServer& s) {
    return "ldap://127.0.0.1:" + std::to_string(s.port());
}

std::string dns_list() {
    char buffer[4096];
    int rc = getDNSServerListEntry(buffer, sizeof buffer);
    return rc == 0 ? buffer : "#" + std::to_string(rc);
}

TEST_F(Dns, DefaultNameGivesTheServerListInUpperCase) {
    SlapdServer a, b;
    Dnsmasq dns({{"KorvanDirectoryServers", {lower_url(a) + ";" + lower_url(b)}}});
    EXPECT_EQ(dns_list(), a.url() + ";" + b.url());
    char small[4];
    std::string expected = a.url() + ";" + b.url();
    EXPECT_EQ(getDNSServerListEntry(small, sizeof small), static_cast<int>(expected.size()) + 1);

    a.kill();
    Session session(ldap_cext_open(nullptr, 0, LDAP_CEXT_FAILOVER));
    ASSERT_TRUE(session);
    EXPECT_EQ(current_server(session.get()), b.url());
    EXPECT_EQ(search_dns(session.get(), "(cn=bob)"), std::vector<std::string>{SlapdServer::kBob});
}

TEST_F(Dns, SetNameIsUsedUntilASessionCloses) {
    SlapdServer a, b;
    Dnsmasq dns({{"KorvanDirectoryServers", {lower_url(a)}}, {"dir.example.test", {lower_url(b)}}});
    setDNSName("dir.example.test");
    char name[64];
    ASSERT_EQ(getDNSName(name, sizeof name), 0);
    EXPECT_STREQ(name, "dir.example.test");
    EXPECT_EQ(getDNSName(name, 5), static_cast<int>(sizeof "dir.example.test"));
    Session session(ldap_cext_open(nullptr, 0, LDAP_CEXT_FAILOVER));
    ASSERT_TRUE(session);
    EXPECT_EQ(current_server(session.get()), b.url());
    session.reset();
    ASSERT_EQ(getDNSName(name, sizeof name), 0);
    EXPECT_STREQ(name, "KorvanDirectoryServers");
}

TEST_F(Dns, FailoverFetchesTheListAgainUnderTheSessionsOwnName) {
    SlapdServer a, b, other;
    setDNSName("dir.example.test");
    std::unique_ptr<Dnsmasq> dns(new Dnsmasq(
        {{"dir.example.test", {lower_url(a)}}, {"KorvanDirectoryServers", {lower_url(other)}}}));
    Session session(ldap_cext_open(nullptr, 0, LDAP_CEXT_FAILOVER));
    ASSERT_TRUE(session);
    // Another session closing forgets the process-wide name; this one keeps its own.
    ldap_cext_unbind(ldap_cext_open(other.url().c_str(), 0, 1));
    dns.reset();
    dns.reset(new Dnsmasq(
        {{"dir.example.test", {lower_url(b)}}, {"KorvanDirectoryServers", {lower_url(other)}}}));
    a.kill();
    EXPECT_EQ(search_dns(session.get(), "(cn=bob)"), std::vector<std::string>{SlapdServer::kBob});
    EXPECT_EQ(current_server(session.get()), b.url());
}

TEST_F(Dns, OversizedRecordIsReadWhole) {
    SlapdServer a;
    // Many character-strings, far more than a 1000-byte buffer: the usable server is last.
    std::vector<std::string> strings;
    for (int i = 0; i < 12; ++i)
        strings.push_back(std::string(200, 'x') + ";");
    strings.push_back(lower_url(a));
    Dnsmasq dns({{"KorvanDirectoryServers", strings}});
    Session session(ldap_cext_open(nullptr, 0, LDAP_CEXT_FAILOVER));
    ASSERT_TRUE(session);
    EXPECT_EQ(current_server(session.get()), a.url());
}

// An answer to the query with one TXT record whose data is "rdata" as given.
std::string txt_answer(const std::string& query, const std::string& rdata) {
    return answer_with_record(query, 16, rdata);
}

TEST_F(Dns, MalformedAnswersGiveNoListAndNoSession) {
    // A character-string claiming more bytes than its record holds.
    {
        FakeDnsServer dns([](const std::string& q) { return txt_answer(q, "\xc8ldap://x"); });
        EXPECT_EQ(dns_list(), "#-1");
        EXPECT_EQ(ldap_cext_open(nullptr, 0, 1), nullptr);
        EXPECT_EQ(res_getBackupServerList(), nullptr);
    }
    // Record data running past the end of the answer.
    {
        FakeDnsServer dns([](const std::string& q) {
            std::string reply = txt_answer(q, "\x08ldap://x");
            reply[reply.size() - 10] = '\x7f';
            return reply;
        });
        EXPECT_EQ(dns_list(), "#-1");
    }
    // A well-formed answer of the same shape works.
    {
        FakeDnsServer dns([](const std::string& q) { return txt_answer(q, "\x08ldap://x"); });
        EXPECT_EQ(dns_list(), "LDAP://X");
    }
}

TEST_F(Dns, NoRecordMeansNoSession) {
    Dnsmasq dns({Dnsmasq::TxtRecord{"other.example.test", {"ldap://127.0.0.1:1"}}});
    EXPECT_EQ(dns_list(), "#-1");
    EXPECT_EQ(ldap_cext_open(nullptr, 0, 1), nullptr);
}

}  // namespace
