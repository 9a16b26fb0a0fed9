// DConnection on a flat LDIF file: what it hands to the flat-file directory, what it does
// itself there (subtree removal, moves), and the objects it hands out.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "connection_test_support.h"
#include "dconnection.h"

namespace {

using conntest::dnsOf;
using conntest::expectFailure;
using conntest::expectLdapFailure;
using conntest::makeEntry;
using conntest::taken;
using conntest::valuesOf;

using DConnectionFlatFile = conntest::FlatFileTest;

std::string monitorValue(DConnection& c, const char* name) {
    DEntry* monitor = c.read("cn=monitor", nullptr);
    std::string value = valuesOf(monitor, name);
    c.deleteObject(monitor);
    return value;
}

TEST_F(DConnectionFlatFile, ConnectBindsAndStateComesFromTheFile) {
    DConnection c;
    open(c);
    EXPECT_TRUE(c.isConnected());
    EXPECT_TRUE(c.isAuthenticated());
    EXPECT_STREQ(c.getHost(), "FILE:///dir.ldif");
    EXPECT_EQ(c.isHostChanged(), 0);
    EXPECT_EQ(c.getModCount(), 0);
    c.setOption(0, 5);  // the file has no options
    EXPECT_EQ(c.getOption(0), 0);
    EXPECT_EQ(c.getSearchConstraints(), nullptr);
    DException* e = nullptr;
    c.setTimeout(60, &e);
    EXPECT_NO_FAILURE(e);
    c.enableCache(60, 100000, &e);
    EXPECT_NO_FAILURE(e);
    c.disableCache();

    c.authenticate("cn=user,o=x", "pw", &e);
    EXPECT_NO_FAILURE(e);
    EXPECT_EQ(taken(c, c.getAuthenticationDN()), "cn=user,o=x");
    // The dump shows the file's credentials and state.
    std::string dump = taken(c, c.ToString());
    EXPECT_NE(dump.find("  host: FILE:///dir.ldif\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find("  authentication dn: cn=user,o=x\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find("  is autenticated: TRUE\n"), std::string::npos) << dump;
}

// The matching mode belongs to each connection, and a mode chosen before connecting holds
// once the file is open.
TEST_F(DConnectionFlatFile, MatchingModeIsChosenPerConnection) {
    DConnection ldap, plain;
    EXPECT_FALSE(ldap.setFlatFileMatching(5));
    EXPECT_TRUE(ldap.setFlatFileMatching(FF_MATCH_LDAP));
    open(ldap);
    open(plain);
    EXPECT_EQ(ldap.getFlatFileMatching(), FF_MATCH_LDAP);
    EXPECT_EQ(plain.getFlatFileMatching(), FF_MATCH_DEFAULT);
    DException* e = nullptr;
    SearchResults* all = ldap.search("o=x", 2, "(objectClass=top)", nullptr, false, &e);
    EXPECT_NO_FAILURE(e);
    EXPECT_EQ(dnsOf(all).size(), 5u);  // every class inherits from top
    ldap.deleteObject(all);
    EXPECT_EQ(plain.search("o=x", 2, "(objectClass=top)", nullptr, false, &e), nullptr);
    expectLdapFailure(plain, e, 609, LDAP_NO_SUCH_OBJECT);
}

TEST_F(DConnectionFlatFile, AuthenticateConnectsFirstAndReconnectsAfterDisconnect) {
    DConnection c("FILE:///dir.ldif;LDAP://ignored:389", 0);
    DException* e = nullptr;
    c.authenticate("cn=user,o=x", "pw", &e);
    EXPECT_NO_FAILURE(e);
    EXPECT_TRUE(c.isConnected());
    EXPECT_TRUE(c.isAuthenticated());

    c.disconnect(&e);
    EXPECT_NO_FAILURE(e);
    EXPECT_FALSE(c.isConnected());
    c.disconnect(&e);
    expectFailure(c, e, 606, "ERROR: no open connection");

    c.authenticate("cn=other,o=x", "pw", &e);
    EXPECT_NO_FAILURE(e);
    EXPECT_TRUE(c.isConnected());
    EXPECT_STREQ(c.getHostUrl(), "FILE:///dir.ldif");
    EXPECT_EQ(taken(c, c.getAuthenticationDN()), "cn=other,o=x");
}

TEST_F(DConnectionFlatFile, OperationsChangeTheStoreAndTheFile) {
    {
        DConnection c;
        open(c);
        DException* e = nullptr;
        DEntry* entry = makeEntry("cn=3,ou=b,o=x", {{"objectclass", "person"}, {"cn", "3"}});
        c.add(entry, &e);
        EXPECT_NO_FAILURE(e);
        c.add(entry, &e);
        expectLdapFailure(c, e, 601, LDAP_ALREADY_EXISTS);
        c.deleteObject(entry);

        Modification mod(MOD_OP_REPLACE, new (HEAP) Attribute("sn", "uno"));
        c.modify("cn=1,ou=a,o=x", &mod, &e);
        EXPECT_NO_FAILURE(e);
        Attribute sn("sn", "uno");
        EXPECT_TRUE(c.compare("cn=1,ou=a,o=x", &sn, &e));
        EXPECT_NO_FAILURE(e);

        c.rename("cn=2,ou=a,o=x", "cn=22", "ou=b,o=x", true, &e);
        EXPECT_NO_FAILURE(e);
        c.remove("ou=a,o=x", &e);
        expectLdapFailure(c, e, 605, LDAP_NOT_ALLOWED_ON_NONLEAF);

        SearchResults* found = c.search("ou=b,o=x", 1, "(objectclass=person)", nullptr, false, &e);
        EXPECT_NO_FAILURE(e);
        EXPECT_EQ(dnsOf(found), (std::vector<std::string>{"cn=3,ou=b,o=x", "cn=22,ou=b,o=x"}));
        c.deleteObject(found);

        DEntry* read = c.read("cn=1,ou=a,o=x", &e);
        EXPECT_NO_FAILURE(e);
        EXPECT_EQ(valuesOf(read, "sn"), "uno");
        c.deleteObject(read);  // the caller's own copy
        EXPECT_EQ(c.isChanged(), 1);
        EXPECT_EQ(c.isChanged(), 0);
    }
    // Closing the connection wrote the file back.
    std::string text = file();
    EXPECT_NE(text.find("dn: cn=22,ou=b,o=x"), std::string::npos) << text;
    EXPECT_NE(text.find("sn: uno"), std::string::npos) << text;
    EXPECT_EQ(text.find("cn=2,ou=a"), std::string::npos) << text;
}

TEST_F(DConnectionFlatFile, RemoveTreeRemovesTheSubtreeInTheStore) {
    DConnection c;
    open(c);
    DException* e = nullptr;
    c.removeTree("cn=1,ou=a,o=x", &e);  // a leaf
    EXPECT_NO_FAILURE(e);
    EXPECT_EQ(monitorValue(c, "modsCompleted"), "1");

    c.removeTree("ou=a,o=x", &e);  // the remaining child, then the entry
    EXPECT_NO_FAILURE(e);
    EXPECT_EQ(monitorValue(c, "modsCompleted"), "3");
    SearchResults* left = c.search("o=x", 2, "(objectclass=*)", nullptr, false, &e);
    EXPECT_NO_FAILURE(e);
    EXPECT_EQ(dnsOf(left), (std::vector<std::string>{"o=x", "ou=b,o=x"}));
    c.deleteObject(left);

    c.removeTree("ou=missing,o=x", &e);
    expectLdapFailure(c, e, 605, LDAP_NO_SUCH_OBJECT);
    c.removeTree(nullptr, &e);
    expectFailure(c, e, 605, "ERROR: invalid DN");
    c.removeTree("o=x", nullptr);
    DEntry* gone = c.read("o=x", &e);
    EXPECT_EQ(gone, nullptr);
    expectLdapFailure(c, e, 609, LDAP_NO_SUCH_OBJECT);
}

TEST_F(DConnectionFlatFile, MoveEntryCarriesALeafToItsNewSuperior) {
    DConnection c;
    open(c);
    DException* e = nullptr;
    c.moveEntry("cn=2,ou=a,o=x", "cn=2", "ou=b,o=x", &e);
    EXPECT_NO_FAILURE(e);
    DEntry* moved = c.read("cn=2,ou=b,o=x", &e);
    EXPECT_NO_FAILURE(e);
    EXPECT_EQ(valuesOf(moved, "sn"), "two");
    c.deleteObject(moved);
    EXPECT_EQ(c.read("cn=2,ou=a,o=x", nullptr), nullptr);

    c.moveEntry("cn=9,ou=a,o=x", "cn=9", "ou=b,o=x", &e);  // nothing to read
    expectLdapFailure(c, e, 609, LDAP_NO_SUCH_OBJECT);
}

TEST_F(DConnectionFlatFile, AsynchronousResultsComeFromTheFile) {
    DConnection c;
    open(c);
    DException* e = nullptr;
    DEntry* entry = makeEntry("cn=4,ou=b,o=x", {{"cn", "4"}});
    int add = c.add_asyn(entry, &e);
    EXPECT_NO_FAILURE(e);
    c.deleteObject(entry);
    int read = c.read_asyn("cn=1,ou=a,o=x", &e);
    EXPECT_NO_FAILURE(e);
    EXPECT_NE(add, -1);
    EXPECT_NE(read, add);

    Results* r = c.getResult(read, 100);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->getType(), RES_READ);
    DEntry* got = r->getReadResult(&e);
    EXPECT_NO_FAILURE(e);
    EXPECT_STREQ(got->getDN(), "cn=1,ou=a,o=x");
    c.deleteObject(r);

    r = c.getResult(-1);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->getType(), RES_ADD);
    EXPECT_EQ(r->getID(), add);
    r->getAddResult(&e);
    EXPECT_NO_FAILURE(e);
    c.deleteObject(r);
    EXPECT_EQ(c.getResult(-1, 10), nullptr);
}

// The builders work on the caller's objects once a handle is open; the flat file provides
// one without any server.
TEST_F(DConnectionFlatFile, AddRequestBuilderChecksInOrder) {
    DConnection c;
    open(c);
    AttrArray* values = nullptr;
    DException* e = nullptr;
    EXPECT_EQ(c.prepareAddRequest(nullptr, &values, &e), nullptr);
    expectFailure(c, e, 601, "ERROR: invalid entry");
    DEntry noDn;
    noDn.addAttribute(new (HEAP) Attribute("cn", "a"));
    EXPECT_EQ(c.prepareAddRequest(&noDn, &values, &e), nullptr);
    expectFailure(c, e, 601, "ERROR: invalid DN");
    DEntry empty("cn=a,o=x");
    EXPECT_EQ(c.prepareAddRequest(&empty, &values, &e), nullptr);
    expectFailure(c, e, 601, "ERROR: invalid attribute");

    // A failure after good attributes releases what was built (LeakSanitizer checks).
    DEntry* bad = makeEntry("cn=a,o=x", {{"cn", "a"}, {"sn", "b"}});
    bad->addAttribute(new (HEAP) Attribute("description"));
    EXPECT_EQ(c.prepareAddRequest(bad, &values, &e), nullptr);
    expectFailure(c, e, 601, "ERROR: invalid attribute value");
    Attribute* flag = new (HEAP) Attribute("flag");
    bool yes = true;
    DList* flags = new (SHAR) DList();
    flags->append(&yes, DLIST_BOOL, true);
    flag->setValues(flags);
    bad->getAttributeSet()->remove("description");
    bad->addAttribute(flag);
    EXPECT_EQ(c.prepareAddRequest(bad, &values, &e), nullptr);
    expectFailure(c, e, 601, "ERROR: invalid attribute value");
    c.deleteObject(bad);
}

TEST_F(DConnectionFlatFile, AddRequestCarriesEveryValueInBinaryForm) {
    DConnection c;
    open(c);
    DEntry* entry = makeEntry("cn=a,o=x", {{"cn", "a"}, {"cn", "bb"}});
    auto* number = new (HEAP) Attribute("uidNumber", 42);
    entry->addAttribute(number);
    Dbinary raw{3, const_cast<char*>("\x01\x00\x02")};
    auto* photo = new (HEAP) Attribute("photo");
    photo->addValue(&raw);
    entry->addAttribute(photo);

    AttrArray* values = nullptr;
    DException* e = nullptr;
    LDAPMod** mods = c.prepareAddRequest(entry, &values, &e);
    EXPECT_NO_FAILURE(e);
    ASSERT_NE(mods, nullptr);
    struct Row {
        const char* type;
        std::vector<std::string> values;
    } rows[] = {
        {"cn", {"a", "bb"}}, {"uidNumber", {"42"}}, {"photo", {std::string("\x01\x00\x02", 3)}}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ASSERT_NE(mods[i], nullptr);
        EXPECT_EQ(mods[i]->mod_op, LDAP_MOD_ADD | LDAP_MOD_BVALUES);
        EXPECT_STREQ(mods[i]->mod_type, rows[i].type);
        EXPECT_EQ(mods[i]->mod_type, entry->getAttribute(rows[i].type)->getName());  // not copied
        std::vector<std::string> sent;
        for (berval** v = mods[i]->mod_bvalues; *v != nullptr; ++v)
            sent.emplace_back((*v)->bv_val, (*v)->bv_len);
        EXPECT_EQ(sent, rows[i].values);
        EXPECT_NE(values[i], nullptr);
    }
    EXPECT_EQ(mods[3], nullptr);
    c.freeModStruct(mods, values);
    c.deleteObject(entry);
}

TEST_F(DConnectionFlatFile, ModifyRequestBuilderChecksEveryModification) {
    DConnection c;
    open(c);
    AttrArray* values = nullptr;
    DException* e = nullptr;
    ModificationSet set;
    EXPECT_EQ(c.prepareModifyRequest(nullptr, &set, &values, &e), nullptr);
    expectFailure(c, e, 607, "ERROR: invalid DN");
    EXPECT_EQ(c.prepareModifyRequest("cn=a", nullptr, &values, &e), nullptr);
    expectFailure(c, e, 607, "ERROR: invalid modification set");
    EXPECT_EQ(c.prepareModifyRequest("cn=a", &set, &values, &e), nullptr);
    expectFailure(c, e, 607, "ERROR: invalid attribute");

    struct Row {
        int op;
        bool withValue;
        const char* detail;  // null: accepted
    } rows[] = {
        {MOD_OP_ADD, true, nullptr},
        {MOD_OP_DELETE, true, nullptr},
        {MOD_OP_REPLACE, true, nullptr},
        {MOD_OP_DELETE, false, nullptr},
        {MOD_OP_ADD, false, "ERROR: invalid attribute value"},
        {MOD_OP_REPLACE, false, "ERROR: invalid attribute value"},
        {3, true, "ERROR: invalid modification option"},
        {-1, true, "ERROR: invalid modification option"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.op);
        ModificationSet mods;
        mods.add(MOD_OP_REPLACE, new (HEAP) Attribute("sn", "first"));  // built, then released
        auto* attribute = new (HEAP) Attribute("cn");
        if (row.withValue) attribute->addValue("v");
        mods.add(row.op, attribute);
        LDAPMod** built = c.prepareModifyRequest("cn=a,o=x", &mods, &values, &e);
        if (row.detail != nullptr) {
            EXPECT_EQ(built, nullptr);
            expectFailure(c, e, 607, row.detail);
            continue;
        }
        EXPECT_NO_FAILURE(e);
        ASSERT_NE(built, nullptr);
        EXPECT_EQ(built[1]->mod_op, row.op | LDAP_MOD_BVALUES);
        // A DELETE without values goes out with an empty value list: the whole attribute.
        EXPECT_EQ(built[1]->mod_bvalues[0] == nullptr, !row.withValue);
        EXPECT_EQ(built[2], nullptr);
        c.freeModStruct(built, values);
    }
    ModificationSet holes;
    holes.addModification(new Modification(), 7);  // no attribute
    EXPECT_EQ(c.prepareModifyRequest("cn=a", &holes, &values, &e), nullptr);
    expectFailure(c, e, 607, "ERROR: invalid attribute value");
}

TEST_F(DConnectionFlatFile, SearchRequestBuilderKeepsTheNamesInOrder) {
    DConnection c;
    open(c);
    DException* e = nullptr;
    DList names;
    names.append(const_cast<char*>("cn"), DLIST_STRING, true);
    auto* number = reinterpret_cast<int*>(check_malloc(sizeof(int)));
    *number = 5;
    names.append(number, DLIST_INT, false);  // not a name: left out
    names.append(const_cast<char*>("sn"), DLIST_STRING, true);
    SearchPar* par = c.prepareSearchRequest("o=x", 2, "(a=*)", &names, false, nullptr, &e);
    EXPECT_NO_FAILURE(e);
    ASSERT_NE(par, nullptr);
    EXPECT_EQ(par->scope, 2);
    ASSERT_NE(par->attrs, nullptr);
    EXPECT_STREQ(par->attrs[0], "cn");
    EXPECT_STREQ(par->attrs[1], "sn");
    EXPECT_EQ(par->attrs[2], nullptr);
    c.freeSearchPar(par);

    DList none;
    par = c.prepareSearchRequest("o=x", 1, "(a=*)", &none, false, nullptr, &e);
    ASSERT_NE(par, nullptr);
    EXPECT_EQ(par->attrs, nullptr);  // an empty list asks for every attribute
    c.freeSearchPar(par);
}

}  // namespace
