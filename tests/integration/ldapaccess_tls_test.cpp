// Encrypted sessions against slapd servers with certificates made by the test: LDAPS,
// StartTLS tried and demanded, TLS kept across fail-over, the cache over TLS. slapd's stats
// log tells on the server side whether TLS came before a bind.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <dirclient/dconnection.h>
#include "ldapaccess_test_util.h"
#include "slapd_server.h"
#include "tls_certificates.h"

using namespace dirclient::test;

namespace {

TlsCertificates* certificates = nullptr;

// libldap reads its TLS settings from the environment once, when first used: the CA is
// named before any test runs.
class TlsEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        certificates = new TlsCertificates;
        setenv("LDAPTLS_CACERT", certificates->ca().c_str(), 1);
        setenv("LDAPTLS_REQCERT", "demand", 1);
        setenv("QDX_NETWORK_TIMEOUT", "2", 1);
    }
    void TearDown() override {
        delete certificates;
        certificates = nullptr;
    }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new TlsEnvironment);

SlapdOptions with_tls() {
    SlapdOptions options;
    options.tls = certificates;
    return options;
}

// How many binds as "dn" the server saw, and whether each came on a connection that had
// established TLS before it.
struct BindsSeen {
    size_t binds = 0;
    bool all_after_tls = true;
};

BindsSeen binds_of(const SlapdServer& server, const std::string& dn) {
    std::string log = server.log();
    BindsSeen seen;
    // slapd logs a bind twice: the request (with its method) and its outcome.
    std::string bind = "BIND dn=\"" + dn + "\" method=";
    size_t at = 0;
    while ((at = log.find(bind, at)) != std::string::npos) {
        ++seen.binds;
        size_t line = log.rfind('\n', at) + 1;
        size_t start = log.find("conn=", line);
        std::string conn = log.substr(start, log.find(' ', start) - start);
        size_t tls = log.find(conn + " fd=");
        bool established = false;
        while (tls != std::string::npos && tls < at) {
            size_t end = log.find('\n', tls);
            if (log.substr(tls, end - tls).find("TLS established") != std::string::npos)
                established = true;
            tls = log.find(conn + " fd=", end);
        }
        seen.all_after_tls = seen.all_after_tls && established;
        at += bind.size();
    }
    return seen;
}

std::string error_text(DException* e) {
    if (e == nullptr) return "";
    const char* detail = e->getInfoSMsg();
    return detail ? detail : "";
}

class Tls : public ::testing::Test {
  protected:
    // Connects "c" to "host" and binds as alice; the failure's text, "" on success.
    std::string connect_as_alice(DConnection& c, const std::string& host) {
        DException* e = nullptr;
        c.connect(host.c_str(), 0, SlapdServer::kAlice, SlapdServer::kAlicePassword, &e);
        std::string text =
            e ? error_text(e) + " (" + std::to_string(e->getLdapErrorCode()) + ")" : "";
        c.deleteObject(e);
        return text;
    }

    // The number of entries a subtree search for cn=alice found, -1 on failure.
    long count_alice(DConnection& c) {
        DException* e = nullptr;
        SearchResults* found = c.search(SlapdServer::kSuffix, 2, "(cn=alice)", nullptr, false, &e);
        long count = e ? -1 : 0;
        for (DEntry* entry = found && !e ? found->first() : nullptr; entry; entry = found->next())
            ++count;
        c.deleteObject(found);
        c.deleteObject(e);
        return count;
    }
};

TEST_F(Tls, LdapsAloneAndStartTlsEncryptBeforeTheBind) {
    SlapdServer server(with_tls());
    DConnection over_ldaps;
    ASSERT_EQ(connect_as_alice(over_ldaps, server.tls_url()), "");
    EXPECT_EQ(count_alice(over_ldaps), 1);
    const char* host = over_ldaps.getHost();
    EXPECT_STREQ(host, server.tls_url().c_str());

    DConnection demanded;
    demanded.setStartTLS(2, nullptr);
    ASSERT_EQ(connect_as_alice(demanded, server.url()), "");
    EXPECT_EQ(count_alice(demanded), 1);

    // A plain host name takes StartTLS from the environment.
    ScopedEnv env("QDX_STARTTLS", "demand");
    DConnection plain;
    ASSERT_EQ(connect_as_alice(plain, "127.0.0.1:" + std::to_string(server.port())), "");
    EXPECT_EQ(count_alice(plain), 1);

    BindsSeen seen = binds_of(server, SlapdServer::kAlice);
    EXPECT_EQ(seen.binds, 3u);
    EXPECT_TRUE(seen.all_after_tls) << server.log();
}

TEST_F(Tls, CacheAnswersOverTls) {
    SlapdServer server(with_tls());
    DConnection c;
    ASSERT_EQ(connect_as_alice(c, server.tls_url()), "");
    DException* e = nullptr;
    c.enableCache(600, 100000, &e);
    ASSERT_EQ(e, nullptr);
    long searches = server.operations("Search");
    EXPECT_EQ(count_alice(c), 1);
    EXPECT_EQ(count_alice(c), 1);
    EXPECT_EQ(server.operations("Search") - searches, 1);
}

TEST_F(Tls, ServerListKeepsTlsAcrossTheKillOfTheFirst) {
    SlapdServer first(with_tls());
    SlapdServer second(with_tls());
    // Mixed: the first over LDAPS, the second in clear with StartTLS demanded.
    DConnection c;
    c.setStartTLS(2, nullptr);
    ASSERT_EQ(connect_as_alice(c, first.tls_url() + ";" + second.url()), "");
    EXPECT_EQ(count_alice(c), 1);
    first.kill();
    EXPECT_EQ(count_alice(c), 1);
    EXPECT_EQ(c.isHostChanged(), 1);
    BindsSeen seen = binds_of(second, SlapdServer::kAlice);
    EXPECT_EQ(seen.binds, 1u);
    EXPECT_TRUE(seen.all_after_tls) << second.log();
}

TEST_F(Tls, StoppedLdapsServerIsLeftWithinTheTimeOuts) {
    ScopedEnv response("QDX_RESPONSE_TIMEOUT", "1");
    SlapdServer first(with_tls());
    SlapdServer second(with_tls());
    DConnection c;
    ASSERT_EQ(connect_as_alice(c, first.tls_url() + ";" + second.tls_url()), "");
    first.pause();
    // Silent for the response time-out, then a TLS handshake with the stopped server that
    // must end within the network time-out, then the second server.
    Stopwatch clock;
    EXPECT_EQ(count_alice(c), 1);
    EXPECT_LT(clock.seconds(), 1 + 2 + 3);
    EXPECT_EQ(c.isHostChanged(), 1);
    EXPECT_TRUE(binds_of(second, SlapdServer::kAlice).all_after_tls);
    first.kill();
}

TEST_F(Tls, DemandAgainstAServerWithoutTlsNeverSendsTheBind) {
    SlapdServer server;
    DConnection demanded;
    demanded.setStartTLS(2, nullptr);
    std::string failure = connect_as_alice(demanded, server.url());
    EXPECT_NE(failure.find("StartTLS"), std::string::npos) << failure;
    EXPECT_EQ(server.operations("Bind"), 0);

    // Tried, StartTLS gives way to a session in clear.
    DConnection tried;
    tried.setStartTLS(1, nullptr);
    EXPECT_EQ(connect_as_alice(tried, server.url()), "");
    EXPECT_EQ(count_alice(tried), 1);
}

TEST_F(Tls, StartTlsOnAnOpenConnectionAndBadModes) {
    SlapdServer server(with_tls());
    DConnection c;
    DException* e = nullptr;
    c.connect(server.url().c_str(), 0, &e);
    ASSERT_EQ(e, nullptr);
    c.setStartTLS(2, &e);
    EXPECT_EQ(e, nullptr) << error_text(e);
    c.authenticate(SlapdServer::kAlice, SlapdServer::kAlicePassword, &e);
    EXPECT_EQ(e, nullptr);
    EXPECT_TRUE(binds_of(server, SlapdServer::kAlice).all_after_tls);
    c.setStartTLS(3, &e);
    EXPECT_NE(e, nullptr);
    c.deleteObject(e);
}

}  // namespace
