// DConnection against private slapd servers: what the server says beside its result codes
// reaches the caller, connect failures say why, and moves keep the entry.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "connection_test_util.h"

using namespace conntest;

namespace {

constexpr const char* kPeople = SlapdServer::kPeople;
constexpr const char* kAlice = SlapdServer::kAlice;

class ServerWords : public ServerTest {};

TEST_F(ServerWords, SchemaViolationCarriesTheServersMessage) {
    DException* e = nullptr;
    DEntry* noSurname = makeEntry(std::string("cn=carol,") + kPeople,
                                  {{"objectClass", "inetOrgPerson"}, {"cn", "carol"}});
    c.add(noSurname, &e);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->getLdapErrorCode(), LDAP_OBJECT_CLASS_VIOLATION);
    EXPECT_STREQ(e->getDiagnosticMessage(), "object class 'inetOrgPerson' requires attribute 'sn'");
    // The classic fields and the dump stay as they were.
    EXPECT_EQ(e->getErrorCode(), DEXC_ADD);
    EXPECT_STREQ(e->getInfoSMsg(), "");
    delete e;

    // The same through an asynchronous add and its Results.
    int id = c.add_asyn(noSurname, &e);
    ASSERT_GT(id, 0);
    Results* r = c.getResult(id, 5000);
    ASSERT_NE(r, nullptr);
    r->getAddResult(&e);
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->getDiagnosticMessage(), "object class 'inetOrgPerson' requires attribute 'sn'");
    delete e;
    c.deleteObject(r);
    c.deleteObject(noSurname);
}

TEST_F(ServerWords, NoSuchObjectNamesTheMatchedDn) {
    struct Row {
        const char* dn;
        const char* matched;
    } rows[] = {
        {"cn=nobody,ou=people,dc=example,dc=com", kPeople},
        {"cn=x,ou=nowhere,dc=example,dc=com", SlapdServer::kSuffix},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        DException* e = nullptr;
        c.remove(rows[i].dn, &e);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->getLdapErrorCode(), LDAP_NO_SUCH_OBJECT);
        EXPECT_STREQ(e->getMatchedDN(), rows[i].matched);
        delete e;
    }
}

TEST(ConnectFailure, SaysWhyNoServerWasReached) {
    dirclient::test::ScopedEnv timeout{"QDX_NETWORK_TIMEOUT", "2"};
    // A port nobody listens on: bound and released at once.
    int closed = dirclient::test::free_tcp_port();
    struct Row {
        std::string host;
        std::string reason;
    } rows[] = {
        {"127.0.0.1:" + std::to_string(closed), "connection refused by 127.0.0.1:"},
        {"LDAP://127.0.0.1:" + std::to_string(closed), "connection refused by 127.0.0.1:"},
        {"LDAPX://127.0.0.1:389", "scheme not supported: LDAPX://"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].host);
        DConnection c;
        DException* e = nullptr;
        c.connect(rows[i].host.c_str(), 0, &e);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->getErrorCode(), DEXC_CONNECT);
        EXPECT_STREQ(e->getInfoSMsg(), "ERROR: no open connection");
        EXPECT_EQ(std::string(e->getDiagnosticMessage()).rfind(rows[i].reason, 0), 0u)
            << e->getDiagnosticMessage();
        delete e;
    }
}

// ---- moves ------------------------------------------------------------------------------

class Moves : public ServerTest {
  protected:
    void SetUp() override {
        ServerTest::SetUp();
        addOrFail(unit("staff", SlapdServer::kSuffix));
    }

    std::string uuidOf(const std::string& dn) {
        DList names;
        names.append(const_cast<char*>("entryUUID"), DLIST_STRING, true);
        DEntry* entry = c.read(dn.c_str(), &names, nullptr);
        std::string uuid = entry != nullptr ? valuesOf(entry, "entryUUID") : "";
        c.deleteObject(entry);
        return uuid;
    }

    const std::string staff = std::string("ou=staff,") + SlapdServer::kSuffix;
};

TEST_F(Moves, ALeafKeepsItsIdentityInOneRequest) {
    const std::string before = uuidOf(kAlice);
    ASSERT_FALSE(before.empty());
    const long adds = server.operations("Add");
    DException* e = nullptr;
    c.rename(kAlice, "cn=alicia", staff.c_str(), true, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(uuidOf("cn=alicia," + staff), before);
    EXPECT_FALSE(exists(kAlice));
    EXPECT_EQ(server.operations("Add"), adds);  // no copy was made
}

TEST_F(Moves, AnEntryMovesWithItsSubtree) {
    const std::string child = uuidOf(kAlice);
    DException* e = nullptr;
    c.rename(kPeople, "ou=people", staff.c_str(), true, &e);
    EXPECT_EQ(report(e), "ok");
    std::vector<std::string> moved = subtree("ou=people," + staff);
    std::sort(moved.begin(), moved.end());
    EXPECT_EQ(moved, (std::vector<std::string>{"cn=alice,ou=people," + staff,
                                               "cn=bob,ou=people," + staff, "ou=people," + staff}));
    EXPECT_EQ(uuidOf("cn=alice,ou=people," + staff), child);
}

// A server that refuses every ModifyDN ("restrict rename": unwilling to perform) still gets
// its leaf moved, by copy; an entry with children stays where it is.
TEST(MovesRefused, FallBackToTheLeafCopy) {
    dirclient::test::ScopedEnv timeout{"QDX_NETWORK_TIMEOUT", "2"};
    dirclient::test::SlapdOptions options;
    options.database_config = "restrict rename\n";
    options.extra_ldif =
        "dn: ou=staff,dc=example,dc=com\nobjectClass: organizationalUnit\n"
        "ou: staff\n\n";
    SlapdServer server(options);
    DConnection c;
    DException* e = nullptr;
    c.connect(server.url().c_str(), 0, SlapdServer::kAdminDn, SlapdServer::kAdminPassword, &e);
    ASSERT_EQ(report(e), "ok");
    c.rename(kAlice, "cn=alice", "ou=staff,dc=example,dc=com", true, &e);
    EXPECT_EQ(report(e), "ok");
    DEntry* moved = c.read("cn=alice,ou=staff,dc=example,dc=com", &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(valuesOf(moved, "mail"), "alice@example.com");
    c.deleteObject(moved);

    c.rename(kPeople, "ou=people", "ou=staff,dc=example,dc=com", true, &e);
    EXPECT_EQ(report(e), "611/ERROR: entry is not a leaf");
}

}  // namespace
