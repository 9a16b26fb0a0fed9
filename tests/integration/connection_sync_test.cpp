// DConnection against private slapd servers: opening, binding, host strings and fail-over,
// and every synchronous operation with its reports.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "connection_test_util.h"

using namespace conntest;
using dirclient::test::ScopedEnv;

namespace {

constexpr const char* kPeople = SlapdServer::kPeople;
constexpr const char* kAlice = SlapdServer::kAlice;
constexpr const char* kBob = SlapdServer::kBob;

// ---- opening and binding ----------------------------------------------------------------

TEST(ConnectionLifecycle, ConnectBindsAnonymouslyThenAuthenticateRecordsTheAttempt) {
    SlapdServer server;
    DConnection c;
    DException* e = nullptr;
    c.connect(server.url().c_str(), 0, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_TRUE(c.isConnected());
    EXPECT_TRUE(c.isAuthenticated());
    EXPECT_EQ(c.getAuthenticationDN(), nullptr);

    c.authenticate(SlapdServer::kAdminDn, "wrong", &e);
    EXPECT_EQ(report(e), "602/#49");
    EXPECT_TRUE(c.isAuthenticated());  // a failed bind keeps the flag
    EXPECT_EQ(taken(c, c.getAuthenticationDN()), SlapdServer::kAdminDn);
    EXPECT_EQ(taken(c, c.getAuthenticationPassword()), "wrong");

    c.setIsAuthenticated(false);
    c.authenticate(1, SlapdServer::kAdminDn, SlapdServer::kAdminPassword, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_TRUE(c.isAuthenticated());
}

TEST(ConnectionLifecycle, AuthenticateConnectsFirstAndAgainAfterDisconnect) {
    SlapdServer server;
    DException* e = nullptr;
    long binds = server.operations("Bind");
    {
        DConnection probe;
        probe.connect(server.url().c_str(), 0, &e);
        EXPECT_EQ(report(e), "ok");
    }
    const long perConnect = server.operations("Bind") - binds;

    DConnection c(server.url().c_str(), 0);
    binds = server.operations("Bind");
    c.authenticate(SlapdServer::kAdminDn, SlapdServer::kAdminPassword, &e);
    EXPECT_EQ(report(e), "ok");
    // The connect with its anonymous bind, then the bind with the credentials.
    EXPECT_EQ(server.operations("Bind") - binds, perConnect + 1);

    c.disconnect(&e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_FALSE(c.isConnected());
    EXPECT_TRUE(c.isAuthenticated());  // kept until the next bind says otherwise
    c.disconnect(&e);
    EXPECT_EQ(report(e), "606/ERROR: no open connection");

    binds = server.operations("Bind");
    c.authenticate(SlapdServer::kAdminDn, SlapdServer::kAdminPassword, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_TRUE(c.isConnected());
    EXPECT_EQ(server.operations("Bind") - binds, perConnect + 1);
    // Writing needs the administrator: the re-authenticated session has it.
    DEntry* entry = person("carol", kPeople);
    c.add(entry, &e);
    EXPECT_EQ(report(e), "ok");
    c.deleteObject(entry);
}

TEST(ConnectionLifecycle, ConnectOnAnOpenConnectionClosesTheOldHandle) {
    SlapdServer a;
    SlapdServer b;
    DConnection c;
    DException* e = nullptr;
    c.connect(a.url().c_str(), 0, &e);
    EXPECT_EQ(report(e), "ok");
    long unbinds = a.operations("Unbind");
    c.connect(b.url().c_str(), 0, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(a.operations_reaching("Unbind", unbinds + 1) - unbinds, 1);
    EXPECT_EQ(std::string(c.getHost()), b.url());

    std::string down = "LDAP://127.0.0.1:" + std::to_string(dirclient::test::free_tcp_port());
    ScopedEnv quick("QDX_NETWORK_TIMEOUT", "1");
    c.connect(down.c_str(), 0, &e);
    EXPECT_EQ(report(e), "604/ERROR: no open connection");
    EXPECT_FALSE(c.isConnected());
}

TEST(ConnectionLifecycle, PlainHostNamesOpenAPlainSession) {
    SlapdServer server;
    DConnection c;
    DException* e = nullptr;
    c.connect("127.0.0.1", server.port(), &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(c.getConnection()->kind, QDX_LDAP_PLAIN);
    EXPECT_STREQ(c.getHost(), "127.0.0.1");
    EXPECT_EQ(c.getPort(), server.port());
    EXPECT_EQ(c.isHostChanged(), 0);
    EXPECT_EQ(c.isChanged(), 0);  // no change detection on a plain session
    EXPECT_EQ(c.getModCount(), 0);
    c.setTimeout(60, &e);  // accepted, no effect
    EXPECT_EQ(report(e), "ok");
    DEntry* alice = c.read(kAlice, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(valuesOf(alice, "sn"), "Liddell");
    c.deleteObject(alice);
}

TEST(ConnectionHost, GetHostFollowsTheServerListThroughFailOver) {
    ScopedEnv quick("QDX_NETWORK_TIMEOUT", "1");
    SlapdServer a;
    SlapdServer b;
    // Elements carry a base after host and port; the flat-file element is dropped.
    const std::string first = a.url() + "/dc=example,dc=com";
    const std::string second = b.url() + "/ou=people,dc=example,dc=com";
    const std::string hosts = first + ";FILE:///ignored.ldif;" + second;
    DConnection c;
    DException* e = nullptr;
    c.connect(hosts.c_str(), 0, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(c.getConnection()->kind, QDX_LDAP_SERVER_LIST);
    EXPECT_EQ(std::string(c.getHostUrl()), hosts);
    EXPECT_EQ(std::string(c.getHost()), first);
    EXPECT_EQ(c.isHostChanged(), 0);

    a.kill();
    DEntry* alice = c.read(kAlice, &e);  // the search fails over to b
    EXPECT_EQ(report(e), "ok");
    c.deleteObject(alice);
    EXPECT_EQ(std::string(c.getHost()), first);  // not looked at yet
    EXPECT_EQ(c.isHostChanged(), 1);
    EXPECT_EQ(std::string(c.getHost()), second);
    EXPECT_EQ(c.isHostChanged(), 0);
}

TEST(ConnectionHost, SetTimeoutReachesTheServerList) {
    SlapdServer server;
    DConnection c;
    DException* e = nullptr;
    c.connect(server.url().c_str(), 0, &e);
    EXPECT_EQ(report(e), "ok");
    c.setTimeout(60, &e);
    EXPECT_EQ(report(e), "ok");
    c.setTimeout(-1, &e);
    EXPECT_EQ(report(e), "616/ERROR: can not set timer");
    c.setTimeout(0, &e);
    EXPECT_EQ(report(e), "ok");
}

// ---- the operations ---------------------------------------------------------------------

using ConnectionOperations = ServerTest;

TEST_F(ConnectionOperations, AddReportsInOrderAndNothingInvalidReachesTheServer) {
    DException* e = nullptr;
    long adds = server.operations("Add");
    DEntry empty("cn=x,ou=people,dc=example,dc=com");
    c.add(&empty, &e);
    EXPECT_EQ(report(e), "601/ERROR: invalid attribute");
    DEntry* hollow = person("x", kPeople);
    hollow->addAttribute(new (HEAP) Attribute("description"));
    c.add(hollow, &e);
    EXPECT_EQ(report(e), "601/ERROR: invalid attribute value");
    c.deleteObject(hollow);
    EXPECT_EQ(server.operations("Add"), adds);

    DEntry* carol = person("carol", kPeople);
    carol->addAttribute(new (HEAP) Attribute("employeeNumber", 1001));  // sent as its text
    Dbinary photo{4, const_cast<char*>("\xff\xd8\x00\x01")};
    carol->addAttribute(new (HEAP) Attribute("jpegPhoto"));
    carol->getAttribute("jpegPhoto")->addValue(&photo);
    c.add(carol, &e);
    EXPECT_EQ(report(e), "ok");
    c.add(carol, &e);
    EXPECT_EQ(report(e), "601/#68");
    c.deleteObject(carol);

    DEntry* back = c.read("cn=carol,ou=people,dc=example,dc=com", &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(valuesOf(back, "employeeNumber"), "1001");
    Dbinary* bytes = static_cast<Dbinary*>(back->getAttribute("jpegPhoto")->getFirstValue());
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string(bytes->bytes, bytes->length), std::string("\xff\xd8\x00\x01", 4));
    EXPECT_EQ(valuesOf(back, "sn"), "Scarol");
    // Values from the server are binary values.
    EXPECT_EQ(back->getAttribute("cn")->getFirstValueItem()->getType(), DLIST_BINARY);
    c.deleteObject(back);
}

TEST_F(ConnectionOperations, ReadAndSearchHandOutWhatTheServerSent) {
    DException* e = nullptr;
    DList names;
    names.append(const_cast<char*>("sn"), DLIST_STRING, true);
    DEntry* alice = c.read(kAlice, &names, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(valuesOf(alice, "sn"), "Liddell");
    EXPECT_EQ(alice->size(), 1);
    c.deleteObject(alice);

    EXPECT_EQ(c.read("cn=nobody,ou=people,dc=example,dc=com", &e), nullptr);
    EXPECT_EQ(report(e), "609/#32");

    std::vector<std::string> people = subtree(kPeople);
    std::sort(people.begin() + 1, people.end());
    EXPECT_EQ(people, (std::vector<std::string>{kPeople, kAlice, kBob}));
    // Nothing found: one exception in the results, none for the call.
    SearchResults* none = c.search(kPeople, 1, "(cn=nobody)", nullptr, false, &e);
    EXPECT_EQ(report(e), "ok");
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->size(), 1);
    EXPECT_EQ(none->first(), nullptr);
    DElement* only = none->firstElement();
    ASSERT_EQ(only->getType(), DELEMENT_EXCEPTION);
    EXPECT_STREQ(static_cast<DException*>(only)->getInfoSMsg(), "ERROR: no such object");
    c.deleteObject(none);

    // An empty name list asks for everything; attrsOnly gives names without values.
    DList empty;
    SearchResults* all = c.search(kAlice, 0, "(objectClass=*)", &empty, true, &e);
    EXPECT_EQ(report(e), "ok");
    DEntry* first = all->first();
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first->getAttribute("mail"), nullptr);
    EXPECT_EQ(first->getAttribute("mail")->size(), 0);
    c.deleteObject(all);

    // Discarding scopes: the server answers, nothing comes back.
    long searches = server.operations("Search");
    EXPECT_EQ(c.search(kPeople, -1, "(cn=*)", nullptr, false, &e), nullptr);
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(server.operations("Search") - searches, 1);
    EXPECT_EQ(c.search(kPeople, -4, "(cn=*)", nullptr, false, &e), nullptr);
    EXPECT_EQ(report(e), "609/ERROR: invalid search option");
    EXPECT_EQ(c.search(nullptr, 2, "(cn=*)", nullptr, false, &e), nullptr);
    EXPECT_EQ(report(e), "609/ERROR: invalid DN");
    EXPECT_EQ(c.search(kPeople, 2, nullptr, nullptr, false, &e), nullptr);
    EXPECT_EQ(report(e), "609/ERROR: invalid filter");
    EXPECT_EQ(c.search(kPeople, 2, "(cn=*", nullptr, false, &e), nullptr);
    EXPECT_EQ(report(e), "609/#87");
    EXPECT_EQ(server.operations("Search") - searches, 1);
}

TEST_F(ConnectionOperations, ConstraintsLimitSearchesAndDefaultsApplyWhenNoneAreGiven) {
    DException* e = nullptr;
    SearchConstraints one(0, 1);
    EXPECT_EQ(c.search(kPeople, 1, "(cn=*)", nullptr, false, &one, &e), nullptr);
    EXPECT_EQ(report(e), "609/#4");  // size limit exceeded: the partial answer is dropped
    c.setOption(0, 1);
    EXPECT_EQ(c.search(kPeople, 1, "(cn=*)", nullptr, false, &e), nullptr);
    EXPECT_EQ(report(e), "609/#4");
    SearchConstraints none(0, 0);
    SearchResults* both = c.search(kPeople, 1, "(cn=*)", nullptr, false, &none, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(dnsOf(both).size(), 2u);
    c.deleteObject(both);
    c.setSearchConstraints(nullptr);
    EXPECT_EQ(subtree(kPeople, "(cn=*)").size(), 2u);
}

TEST_F(ConnectionOperations, ModifyAppliesEveryKindAndRefusesBadOnesLocally) {
    DException* e = nullptr;
    ModificationSet set;
    set.add(MOD_OP_REPLACE, new (HEAP) Attribute("sn", "Pleasance"));
    set.add(MOD_OP_ADD, new (HEAP) Attribute("description", "curious"));
    set.add(MOD_OP_DELETE, new (HEAP) Attribute("mail"));  // the whole attribute
    c.modify(kAlice, &set, &e);
    EXPECT_EQ(report(e), "ok");
    DEntry* alice = c.read(kAlice, &e);
    EXPECT_EQ(valuesOf(alice, "sn"), "Pleasance");
    EXPECT_EQ(valuesOf(alice, "description"), "curious");
    EXPECT_EQ(valuesOf(alice, "mail"), "(none)");
    c.deleteObject(alice);

    Modification single(MOD_OP_DELETE, new (HEAP) Attribute("description", "curious"));
    c.modify(kAlice, &single, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_NE(single.getAttribute(), nullptr);  // the caller's modification is untouched

    long modifies = server.operations("Modify");
    Modification bad(3, new (HEAP) Attribute("sn", "x"));
    c.modify(kAlice, &bad, &e);
    EXPECT_EQ(report(e), "607/ERROR: invalid modification option");
    Modification hollow(MOD_OP_REPLACE, new (HEAP) Attribute("sn"));
    c.modify(kAlice, &hollow, &e);
    EXPECT_EQ(report(e), "607/ERROR: invalid attribute value");
    c.modify(kAlice, static_cast<Modification*>(nullptr), &e);
    EXPECT_EQ(report(e), "607/ERROR: invalid modification");
    EXPECT_EQ(server.operations("Modify"), modifies);

    Modification missing(MOD_OP_REPLACE, new (HEAP) Attribute("sn", "x"));
    c.modify("cn=nobody,ou=people,dc=example,dc=com", &missing, &e);
    EXPECT_EQ(report(e), "607/#32");
}

TEST_F(ConnectionOperations, CompareNeedsEveryValue) {
    DException* e = nullptr;
    Attribute one("cn", "alice");
    EXPECT_TRUE(c.compare(kAlice, &one, &e));
    EXPECT_EQ(report(e), "ok");
    Attribute two("mail", "alice@example.com");
    two.addValue("someone@example.com");
    long compares = server.operations("Compare");
    EXPECT_FALSE(c.compare(kAlice, &two, &e));
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(server.operations("Compare") - compares, 2);
    Attribute none("cn");
    EXPECT_TRUE(c.compare(kAlice, &none, &e));
    EXPECT_EQ(report(e), "ok");
    Attribute number("cn", 5);
    EXPECT_FALSE(c.compare(kAlice, &number, &e));
    EXPECT_EQ(report(e), "603/ERROR: only string values supported");
    EXPECT_EQ(server.operations("Compare") - compares, 2);
    EXPECT_FALSE(c.compare("cn=nobody,ou=people,dc=example,dc=com", &one, &e));
    EXPECT_EQ(report(e), "603/#32");
}

TEST_F(ConnectionOperations, RemoveTellsLeavesFromParents) {
    DException* e = nullptr;
    c.remove(kPeople, &e);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->getErrorCode(), 614);
    EXPECT_STREQ(e->getInfoMsg(), "ERROR: can not remove");
    EXPECT_EQ(report(e), "614/#66");
    c.remove(kBob, &e);
    EXPECT_EQ(report(e), "ok");
    c.remove(kBob, &e);
    EXPECT_EQ(report(e), "605/#32");
    c.remove(nullptr, &e);  // refused by the handle, never sent
    EXPECT_EQ(report(e), "605/#89");
}

// ---- rename and move --------------------------------------------------------------------

class ConnectionRename : public ServerTest {
  protected:
    void SetUp() override {
        ServerTest::SetUp();
        addOrFail(unit("staff", SlapdServer::kSuffix));
    }
    const std::string staff = std::string("ou=staff,") + SlapdServer::kSuffix;
};

TEST_F(ConnectionRename, InPlaceKeepsOrDropsTheOldValue) {
    DException* e = nullptr;
    c.rename(kBob, "cn=robert", false, &e);
    EXPECT_EQ(report(e), "ok");
    DEntry* robert = c.read("cn=robert,ou=people,dc=example,dc=com", &e);
    EXPECT_EQ(valuesOf(robert, "cn"), "bob,robert");
    c.deleteObject(robert);
    c.rename("cn=robert,ou=people,dc=example,dc=com", "cn=rob", true, &e);
    EXPECT_EQ(report(e), "ok");
    robert = c.read("cn=rob,ou=people,dc=example,dc=com", &e);
    EXPECT_EQ(valuesOf(robert, "cn"), "bob,rob");
    c.deleteObject(robert);

    c.rename(nullptr, "cn=x", true, &e);
    EXPECT_EQ(report(e), "608/ERROR: invalid entry");
    c.rename(kAlice, nullptr, true, &e);
    EXPECT_EQ(report(e), "608/ERROR: invalid RDN");
    c.rename("cn=nobody,ou=people,dc=example,dc=com", "cn=x", true, &e);
    EXPECT_EQ(report(e), "608/#32");
}

TEST_F(ConnectionRename, ANewSuperiorMovesALeaf) {
    DException* e = nullptr;
    c.rename(kBob, "cn=bobby", staff.c_str(), true, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_FALSE(exists(kBob));
    EXPECT_FALSE(exists("cn=bobby,ou=people,dc=example,dc=com"));
    DEntry* moved = c.read(("cn=bobby," + staff).c_str(), &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(valuesOf(moved, "telephoneNumber"), "+1 555 0100");
    EXPECT_EQ(valuesOf(moved, "cn"), "bobby");
    c.deleteObject(moved);
}

TEST_F(ConnectionRename, TheCurrentParentAsNewSuperiorRenamesInPlace) {
    DException* e = nullptr;
    long adds = server.operations("Add");
    c.rename(kBob, "cn=bobby", " OU = People , dc=example,DC=com", true, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_TRUE(exists("cn=bobby,ou=people,dc=example,dc=com"));
    EXPECT_EQ(server.operations("Add"), adds);  // no move
}

TEST_F(ConnectionRename, AnAncestorAsNewSuperiorIsAMoveToo) {
    DException* e = nullptr;
    // The suffix is contained in the DN's text, yet it is not the entry's parent.
    c.rename(kBob, "cn=bob", SlapdServer::kSuffix, true, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_TRUE(exists(std::string("cn=bob,") + SlapdServer::kSuffix));
    EXPECT_FALSE(exists(kBob));
}

TEST_F(ConnectionRename, AnEntryWithChildrenMovesWithThem) {
    DException* e = nullptr;
    c.rename(kPeople, "ou=folk", staff.c_str(), true, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_FALSE(exists(kPeople));
    EXPECT_TRUE(exists("cn=alice,ou=folk," + staff));
    // A DN of one RDN has no parent to leave: refused before anything changes.
    c.rename("dc=com", "dc=org", staff.c_str(), true, &e);
    EXPECT_EQ(report(e), "608/ERROR: invalid DN");
    c.moveEntry("dc=com", "dc=org", staff.c_str(), &e);
    EXPECT_EQ(report(e), "608/ERROR: invalid DN");
}

// ---- subtrees ---------------------------------------------------------------------------

TEST_F(ConnectionOperations, RemoveTreeTakesChildrenBeforeParents) {
    const std::string top = std::string("ou=tree,") + SlapdServer::kSuffix;
    addOrFail(unit("tree", SlapdServer::kSuffix));
    addOrFail(unit("left", top));
    addOrFail(unit("right", top));
    addOrFail(person("l1", "ou=left," + top));
    addOrFail(person("l2", "ou=left," + top));
    addOrFail(person("r1", "ou=right," + top));
    addOrFail(person("leaf", top));

    DException* e = nullptr;
    long deletes = server.operations("Delete");
    c.removeTree(("cn=leaf," + top).c_str(), &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(server.operations("Delete") - deletes, 1);

    deletes = server.operations("Delete");
    c.removeTree(top.c_str(), &e);
    EXPECT_EQ(report(e), "ok");
    // The refused delete of the top, then one for each of the six entries and the top.
    EXPECT_EQ(server.operations("Delete") - deletes, 7);
    EXPECT_EQ(subtree(top), (std::vector<std::string>{"609/#32"}));

    c.removeTree(top.c_str(), &e);
    EXPECT_EQ(report(e), "605/#32");
    c.setOption(0, 1);  // the application's limits do not cut the walk short
    addOrFail(unit("tree", SlapdServer::kSuffix));
    addOrFail(person("a", top));
    addOrFail(person("b", top));
    c.removeTree(top.c_str(), nullptr);
    EXPECT_FALSE(exists(top));
}

// ---- cache and change detection -----------------------------------------------------------

TEST_F(ConnectionOperations, TheCacheAnswersRepeatedSearches) {
    DException* e = nullptr;
    c.enableCache(60, 1 << 20, &e);
    EXPECT_EQ(report(e), "ok");
    DEntry* first = c.read(kAlice, &e);
    long searches = server.operations("Search");
    DEntry* again = c.read(kAlice, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(server.operations("Search"), searches);
    EXPECT_EQ(valuesOf(again, "sn"), valuesOf(first, "sn"));
    c.deleteObject(first);
    c.deleteObject(again);

    c.disableCache();
    DEntry* fresh = c.read(kAlice, &e);
    EXPECT_EQ(server.operations("Search"), searches + 1);
    c.deleteObject(fresh);
}

TEST_F(ConnectionOperations, ChangesAreSeenThroughTheMonitorCount) {
    EXPECT_EQ(c.getConnection()->kind, QDX_LDAP_SERVER_LIST);
    c.isChanged();  // whatever came before
    EXPECT_EQ(c.isChanged(), 0);
    int before = c.getModCount();
    Modification mod(MOD_OP_REPLACE, new (HEAP) Attribute("sn", "Changed"));
    DException* e = nullptr;
    c.modify(kAlice, &mod, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(c.isChanged(), 1);
    EXPECT_EQ(c.isChanged(), 0);
    EXPECT_EQ(c.getModCount(), before + 1);
}

}  // namespace
