// The modern interface against a private slapd: the server's words in Error, streamed and
// paged searches past the server's size limit, calls and an exception in the middle of a
// stream, a stream across a fail-over, moves that keep the entry, and the example programs
// run on the server.

#include <gtest/gtest.h>

#include <ldap.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <dirclient/dexception.h>
#include <dirclient/ldap_result_codes.h>
#include <dirclient/modern.h>
#include "fake_ldap_server.h"
#include "ldapaccess_test_util.h"
#include "slapd_server.h"

namespace {

using dirclient::Connection;
using dirclient::Entry;
using dirclient::Error;
using dirclient::Scope;
using dirclient::test::SlapdServer;

constexpr int kMany = 3000;
constexpr const char* kManyBase = "ou=many,dc=example,dc=com";

dirclient::test::SlapdOptions limited() {
    std::string ldif =
        "dn: ou=many,dc=example,dc=com\nobjectClass: organizationalUnit\nou: many\n\n";
    for (int i = 0; i < kMany; ++i) {
        const std::string n = std::to_string(i);
        ldif += "dn: cn=p" + n + "," + kManyBase + "\nobjectClass: person\ncn: p" + n + "\nsn: s" +
                n + "\n\n";
    }
    dirclient::test::SlapdOptions options;
    options.global_config = "sizelimit 500\n";
    options.database_config = "limits anonymous size.prtotal=unlimited\n";
    options.extra_ldif = ldif;
    return options;
}

class ModernApi : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server = new SlapdServer(limited()); }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }

    Connection admin() {
        return Connection(server->url(), {.bindDn = SlapdServer::kAdminDn,
                                          .password = SlapdServer::kAdminPassword});
    }

    static SlapdServer* server;
    dirclient::test::ScopedEnv timeout_{"QDX_NETWORK_TIMEOUT", "2"};
};

SlapdServer* ModernApi::server = nullptr;

// The error thrown by call (a failure when none is).
Error thrown(const std::function<void()>& call) {
    try {
        call();
    } catch (const Error& e) {
        return e;
    }
    ADD_FAILURE() << "no error";
    return Error(0, 0, "", "");
}

TEST_F(ModernApi, ErrorsCarryTheServersWords) {
    Connection conn = admin();
    struct Row {
        const char* what;
        std::function<void()> call;
        int code, ldapCode;
        const char* diagnostic;
        const char* matched;
    } rows[] = {
        {"schema",
         [&] {
             conn.add(Entry("cn=carol,ou=people,dc=example,dc=com")
                          .add("objectClass", "inetOrgPerson")
                          .add("cn", "carol"));
         },
         DEXC_ADD, LDAP_OBJECT_CLASS_VIOLATION,
         "object class 'inetOrgPerson' requires attribute 'sn'", ""},
        {"missing", [&] { conn.remove("cn=x,ou=nowhere,dc=example,dc=com"); }, DEXC_REMOVE,
         LDAP_NO_SUCH_OBJECT, "", SlapdServer::kSuffix},
        {"base", [&] { conn.searchAll("ou=nowhere,dc=example,dc=com", Scope::Subtree); },
         DEXC_SEARCH, LDAP_NO_SUCH_OBJECT, "", SlapdServer::kSuffix},
        {"bind",
         [&] { Connection(server->url(), {.bindDn = SlapdServer::kAlice, .password = "no"}); },
         DEXC_AUTHENTICATE, LDAP_INVALID_CREDENTIALS, "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Error e = thrown(row.call);
        EXPECT_EQ(e.code(), row.code) << e.what();
        EXPECT_EQ(e.ldapCode(), row.ldapCode) << e.what();
        EXPECT_EQ(e.diagnostic(), row.diagnostic);
        EXPECT_EQ(e.matchedDn(), row.matched);
        if (*row.diagnostic != '\0') {
            EXPECT_NE(std::string(e.what()).find(row.diagnostic), std::string::npos) << e.what();
        }
    }
    EXPECT_FALSE(conn.read("cn=nobody,dc=example,dc=com"));
}

TEST_F(ModernApi, StreamedSearchReadsPastTheSizeLimitInPages) {
    Connection anonymous(server->url());
    struct Row {
        int pageSize, sizeLimit;
        std::size_t entries;
        int code;
    } rows[] = {{100, 0, kMany, LDAP_SUCCESS},
                {0, 0, 500, LDAP_SIZELIMIT_EXCEEDED},
                {0, 10, 10, LDAP_SIZELIMIT_EXCEEDED}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pageSize * 1000 + row.sizeLimit);
        std::set<std::string> dns;
        dirclient::SearchStream stream =
            anonymous.search(kManyBase, Scope::OneLevel, "(objectClass=person)", {"cn"},
                             {.sizeLimit = row.sizeLimit, .pageSize = row.pageSize});
        for (Entry& e : stream) {
            EXPECT_EQ(e.size(), 1u);
            dns.emplace(e.dn());
        }
        EXPECT_EQ(dns.size(), row.entries);
        EXPECT_EQ(stream.resultCode(), row.code);
    }
}

// A stream read in steps goes on with its server list: when its server dies in mid-stream,
// the search starts again on the next one and no entry comes twice.
TEST(ModernFailover, StreamGoesOnOnTheNextServerWithoutDoubles) {
    dirclient::test::ScopedEnv timeout{"QDX_NETWORK_TIMEOUT", "2"};
    SlapdServer first{limited()};
    SlapdServer second{limited()};
    Connection conn(first.url() + ";" + second.url());
    std::set<std::string> dns;
    int doubled = 0;
    dirclient::SearchStream stream =
        conn.search(kManyBase, Scope::OneLevel, "(objectClass=person)", {"cn"}, {.pageSize = 100});
    for (Entry& e : stream) {
        if (dns.size() == 250) {
            first.pause();
            first.kill();
        }
        doubled += dns.emplace(e.dn()).second ? 0 : 1;
    }
    EXPECT_EQ(dns.size(), static_cast<std::size_t>(kMany));
    EXPECT_EQ(doubled, 0);
    EXPECT_EQ(stream.resultCode(), 0);
}

TEST_F(ModernApi, CallsBetweenEntriesAndAnExceptionInTheLoop) {
    Connection conn = admin();
    int seen = 0;
    try {
        for (Entry& e : conn.search(kManyBase, Scope::OneLevel, "(objectClass=person)", {"cn"},
                                    {.pageSize = 100})) {
            // Calls between entries are answered; a bind would pull the session away.
            if (seen == 0) {
                EXPECT_THROW(conn.bind(SlapdServer::kAdminDn, SlapdServer::kAdminPassword), Error);
            }
            conn.modify(dirclient::Modify(e.dn()).replace("description", "seen"));
            if (++seen == 250) throw std::runtime_error("enough");
        }
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(seen, 250);
    // The stream is gone: the connection binds again, and every entry read was changed.
    conn.bind(SlapdServer::kAdminDn, SlapdServer::kAdminPassword);
    EXPECT_EQ(conn.searchAll(kManyBase, Scope::OneLevel, "(description=seen)", {"cn"}).size(),
              250u);
}

TEST_F(ModernApi, MoveKeepsTheEntryAndItsSubtree) {
    Connection conn = admin();
    conn.add(Entry("ou=old,dc=example,dc=com")
                 .add("objectClass", "organizationalUnit")
                 .add("ou", "old"));
    conn.add(Entry("cn=dan,ou=old,dc=example,dc=com")
                 .add("objectClass", "person")
                 .add("cn", "dan")
                 .add("sn", "D"));
    std::string uuid(
        conn.read("ou=old,dc=example,dc=com", {"entryUUID"})->operator[]("entryUUID").first());
    conn.move("ou=old,dc=example,dc=com", SlapdServer::kPeople, "ou=new");
    std::optional<Entry> moved = conn.read("ou=new,ou=people,dc=example,dc=com", {"entryUUID"});
    ASSERT_TRUE(moved);
    EXPECT_EQ((*moved)["entryUUID"].first(), uuid);
    EXPECT_TRUE(conn.compare("cn=dan,ou=new,ou=people,dc=example,dc=com", "sn", "D"));
    conn.removeTree("ou=new,ou=people,dc=example,dc=com");
    EXPECT_FALSE(conn.read("cn=dan,ou=new,ou=people,dc=example,dc=com"));
}

TEST_F(ModernApi, OptionsReachTheSession) {
    // StartTLS: the test server offers none, so "try" goes on in clear and "demand" fails.
    EXPECT_EQ(Connection(server->url(), {.startTls = dirclient::StartTls::Try})
                  .searchAll(SlapdServer::kAlice, Scope::Base)
                  .size(),
              1u);
    EXPECT_NE(thrown([&] {
                  Connection(server->url(), {.startTls = dirclient::StartTls::Demand});
              }).code(),
              0);

    // A server that goes silent after the bind: the search ends with a time-out after the
    // response time-out, through either form of search.
    dirclient::test::FakeLdapServer silent({});
    Connection conn(silent.url(), {.responseTimeout = std::chrono::seconds(1)});
    for (bool streamed : {true, false}) {
        SCOPED_TRACE(streamed);
        auto start = std::chrono::steady_clock::now();
        Error e = thrown([&] {
            if (streamed)
                for (Entry& entry : conn.search("o=x", Scope::Subtree))
                    (void)entry;
            else
                conn.searchAll("o=x", Scope::Subtree);
        });
        EXPECT_EQ(e.ldapCode(), QDX_LDAP_TIMEOUT) << e.what();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    }
}

TEST_F(ModernApi, StreamDeliversEntriesAsTheyArrive) {
    dirclient::test::FakeLdapServer slow({.answer_searches = true, .entries = 3, .interval = 0.4});
    Connection conn(slow.url());
    auto start = std::chrono::steady_clock::now();
    std::vector<double> arrivals;
    for (Entry& e : conn.search("o=x", Scope::Subtree)) {
        (void)e;
        arrivals.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    ASSERT_EQ(arrivals.size(), 3u);
    // Each entry is in the reader's hands long before the next one is sent.
    EXPECT_GT(arrivals[2] - arrivals[0], 0.6);
}

// The examples, in the order of a tutorial, on the server (each must succeed).
TEST_F(ModernApi, ExamplesRunOnTheServer) {
    dirclient::test::TempDir dir("modern-examples");
    for (const char* name : {"bind", "search", "add", "modify", "compare", "rename", "delete"}) {
        SCOPED_TRACE(name);
        const std::string program = std::string(DIRCLIENT_EXAMPLES_DIR) + "/example_" + name;
        EXPECT_EQ(dirclient::test::run({program, server->url()}, dir.file(name)), 0)
            << std::ifstream(dir.file(name)).rdbuf();
    }
}

}  // namespace
