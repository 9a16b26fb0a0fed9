// The directory operations of FFConnection: their checks in order, with the exact codes,
// and what they do to the tree.

#include "flatfile_test_support.h"

#include "ldap_result_codes.h"
#include "modification.h"
#include "modification_set.h"
#include "results.h"

#include <memory>

namespace {

using namespace fftest;

const char kBase[] =
    "dn: o=x\nobjectClass: organization\no: x\n\n"
    "dn: ou=people,o=x\nobjectClass: organizationalUnit\nou: people\n\n"
    "dn: cn=John Smith,ou=people,o=x\nobjectClass: person\ncn: John Smith\nsn: Smith\n"
    "mail: john@x.org\n\n"
    "dn: cn=Ann Lee,ou=people,o=x\nobjectClass: person\ncn: Ann Lee\nsn: Lee\n\n"
    "dn: ou=groups,o=x\nobjectClass: organizationalUnit\nou: groups\n\n";

class FFOps : public StoreTest {
  protected:
    void SetUp() override { load(c_, kBase); }

    std::string readOne(const char* dn) { return fftest::readOne(c_, dn); }
    std::vector<std::string> searchDns(const char* base, int scope, const char* filter) {
        return fftest::searchDns(c_, base, scope, filter);
    }

    void addOk(const std::string& dn, const Values& values = {}) { fftest::addOk(c_, dn, values); }

    int monitorNumber(const char* name) {
        DEntry* monitor = c_.read("cn=monitor", nullptr);
        int value =
            std::stoi(static_cast<const char*>(monitor->getAttribute(name)->getFirstValue()));
        delete monitor;
        return value;
    }

    FFConnection c_;
};

using Dns = std::vector<std::string>;

TEST_F(FFOps, AddChecksInOrder) {
    DException* e = nullptr;
    c_.add(nullptr, &e);
    expectFailure(e, DEXC_ADD, QDX_LDAP_SUCCESS, "ERROR: invalid entry");
    DEntry noDn;
    c_.add(&noDn, &e);
    expectFailure(e, DEXC_ADD, QDX_LDAP_SUCCESS, "ERROR: invalid DN");
    e = tryAdd(c_, " CN = Monitor");
    expectFailure(e, DEXC_ADD, QDX_LDAP_SUCCESS, "Invalid dn");
    e = tryAdd(c_, "CN=john smith, OU=People, O=X");
    expectFailure(e, DEXC_ADD, QDX_LDAP_ALREADY_EXISTS);
    e = tryAdd(c_, "cn=a,ou=nowhere,o=x");
    expectFailure(e, DEXC_ADD, QDX_LDAP_NO_SUCH_OBJECT);
    e = tryAdd(c_, "cn=a,o=x", {{"bad:name", "v"}});
    expectFailure(e, DEXC_ADD, QDX_LDAP_SUCCESS, "ERROR: invalid attribute name");
    EXPECT_EQ(c_.isChanged(), 0);
}

TEST_F(FFOps, AddStoresANormalisedCopy) {
    DEntry* entry = makeEntry(" cn = New , ou=people , o=x", {{"cn", "New"}});
    DException* e = nullptr;
    c_.add(entry, &e);
    ASSERT_EQ(e, nullptr);
    entry->getAttribute("cn")->addValue("changed later");  // the caller's object only
    delete entry;
    EXPECT_EQ(readOne("cn=new,ou=people,o=x"), "cn=New,ou=people,o=x|cn=New");
    EXPECT_EQ(searchDns("ou=people,o=x", 1, "(objectclass=*)").size(), 2u);  // no objectclass
    EXPECT_EQ(searchDns("ou=people,o=x", 1, "(cn=*)").back(), "cn=New,ou=people,o=x");
}

TEST_F(FFOps, EscapedCommaStaysInsideTheRdn) {
    addOk("cn=Smith\\, J,ou=people,o=x", {{"cn", "Smith, J"}});
    addOk("cn=\"Lee, A\",ou=people,o=x", {{"cn", "Lee, A"}});
    Dns kids = searchDns("ou=people,o=x", 1, "(cn=*)");
    EXPECT_EQ(kids.size(), 4u);
    EXPECT_EQ(kids[2], "cn=Smith\\, J,ou=people,o=x");
    c_.rename("cn=Smith\\, J,ou=people,o=x", "cn=Smith\\, K", true, nullptr);
    EXPECT_EQ(readOne("cn=Smith\\, K,ou=people,o=x"), "cn=Smith\\, K,ou=people,o=x|cn=Smith, K");
}

TEST_F(FFOps, TheEmptyDnIsTheRootsOwnEntry) {
    EXPECT_EQ(readOne(""), errorText(QDX_LDAP_NO_SUCH_OBJECT));
    addOk("", {{"objectClass", "top"}});
    EXPECT_EQ(readOne(""), "|objectClass=top");
    DException* e = tryAdd(c_, "");
    expectFailure(e, DEXC_ADD, QDX_LDAP_ALREADY_EXISTS);
    EXPECT_EQ(searchDns("", 2, "(objectclass=*)").front(), "");
    c_.remove("", &e);
    expectFailure(e, DEXC_REMOVE,
                  QDX_LDAP_NOT_ALLOWED_ON_NONLEAF);  // every top-level entry is its child
    EXPECT_EQ(searchDns("", 1, "(o=*)"), Dns{"o=x"});
}

TEST_F(FFOps, RemoveChecksAndRemovesLeavesOnly) {
    DException* e = nullptr;
    c_.remove(nullptr, &e);
    expectFailure(e, DEXC_REMOVE, QDX_LDAP_SUCCESS, "ERROR: invalid DN");
    c_.remove("cn=nobody,o=x", &e);
    expectFailure(e, DEXC_REMOVE, QDX_LDAP_NO_SUCH_OBJECT);
    c_.remove("ou=people,o=x", &e);
    expectFailure(e, DEXC_REMOVE, QDX_LDAP_NOT_ALLOWED_ON_NONLEAF);
    c_.remove("CN=ANN LEE,ou=people,o=x", &e);
    ASSERT_EQ(e, nullptr);
    EXPECT_EQ(readOne("cn=ann lee,ou=people,o=x"), errorText(QDX_LDAP_NO_SUCH_OBJECT));
    c_.remove("cn=John Smith,ou=people,o=x", &e);
    c_.remove("ou=people,o=x", &e);
    ASSERT_EQ(e, nullptr);
    EXPECT_EQ(searchDns("o=x", 2, "(objectclass=*)"), (Dns{"o=x", "ou=groups,o=x"}));
    // The DN is free again, and a new entry goes to the end.
    addOk("ou=people,o=x");
    EXPECT_EQ(searchDns("o=x", 1, "(objectclass=*)"), Dns{"ou=groups,o=x"});
    EXPECT_EQ(searchDns("o=x", 1, "(ou=*)"), Dns{"ou=groups,o=x"});
    EXPECT_EQ(readOne("ou=people,o=x"), "ou=people,o=x");
}

class FFModify : public FFOps {
  protected:
    const char* john = "cn=John Smith,ou=people,o=x";

    void modify(std::initializer_list<Modification*> mods, DException** e) {
        ModificationSet set;
        for (Modification* m : mods)
            set.addModification(m, DLIST_MODIFICATION);
        c_.modify(john, &set, e);
    }
    static Modification* mod(int op, const char* name, std::initializer_list<const char*> values) {
        auto* attribute = new (HEAP) Attribute(name);
        for (const char* v : values)
            attribute->addValue(v);
        return new Modification(op, attribute);
    }
};

TEST_F(FFModify, ChecksArguments) {
    DException* e = nullptr;
    c_.modify(john, static_cast<ModificationSet*>(nullptr), &e);
    expectFailure(e, DEXC_MODIFY, QDX_LDAP_SUCCESS, "ERROR: invalid modification");
    c_.modify(john, static_cast<Modification*>(nullptr), &e);
    expectFailure(e, DEXC_MODIFY, QDX_LDAP_SUCCESS, "ERROR: invalid modification");
    ModificationSet empty;
    c_.modify(nullptr, &empty, &e);
    expectFailure(e, DEXC_MODIFY, QDX_LDAP_SUCCESS, "ERROR: invalid DN");
    c_.modify("cn=nobody,o=x", &empty, &e);
    expectFailure(e, DEXC_MODIFY, QDX_LDAP_NO_SUCH_OBJECT);
    Modification bare(0, nullptr);
    c_.modify(john, &bare, &e);
    expectFailure(e, DEXC_MODIFY, QDX_LDAP_NO_SUCH_ATTRIBUTE);
}

TEST_F(FFModify, AddDeleteAndReplace) {
    DException* e = nullptr;
    modify({mod(0, "mail", {"j@y.org"}), mod(0, "title", {"boss"}), mod(1, "sn", {}),
            mod(2, "cn", {"Johnny"}), mod(7, "ignored", {"x"})},
           &e);
    ASSERT_EQ(e, nullptr);
    // Replace keeps the attribute in its place; the new attribute goes to the end.
    EXPECT_EQ(readOne(john),
              "cn=John Smith,ou=people,o=x|objectClass=person|cn=Johnny|mail=john@x.org="
              "j@y.org|title=boss");
    modify({mod(1, "mail", {"JOHN@x.org"})}, &e);  // values compare without case
    ASSERT_EQ(e, nullptr);
    modify({mod(1, "mail", {"j@y.org"})}, &e);
    ASSERT_EQ(e, nullptr);
    EXPECT_EQ(readOne(john), "cn=John Smith,ou=people,o=x|objectClass=person|cn=Johnny|title=boss");
    EXPECT_EQ(c_.isChanged(), 1);
}

TEST_F(FFModify, IsAllOrNothing) {
    const std::string before = readOne(john);
    DException* e = nullptr;
    // A delete of a value the entry lacks, after changes that would have succeeded.
    modify({mod(0, "title", {"boss"}), mod(1, "sn", {"Smith", "Jones"}), mod(0, "x", {"y"})}, &e);
    expectFailure(e, DEXC_MODIFY, QDX_LDAP_NO_SUCH_ATTRIBUTE);
    modify({mod(2, "title", {"boss"})}, &e);  // replace of an absent attribute
    expectFailure(e, DEXC_MODIFY, QDX_LDAP_NO_SUCH_ATTRIBUTE);
    modify({mod(2, "sn", {})}, &e);  // replace without values
    expectFailure(e, DEXC_MODIFY, QDX_LDAP_NO_SUCH_ATTRIBUTE);
    modify({mod(1, "title", {})}, &e);  // delete of an absent attribute
    expectFailure(e, DEXC_MODIFY, QDX_LDAP_NO_SUCH_ATTRIBUTE);
    modify({mod(0, "#comment", {"v"})}, &e);
    expectFailure(e, DEXC_MODIFY, QDX_LDAP_SUCCESS, "ERROR: invalid attribute name");
    EXPECT_EQ(readOne(john), before);
    EXPECT_EQ(c_.isChanged(), 0);
}

TEST_F(FFModify, SingleModificationStaysTheCallers) {
    Modification* single = mod(0, "title", {"boss"});
    DException* e = nullptr;
    c_.modify(john, single, &e);
    ASSERT_EQ(e, nullptr);
    EXPECT_STREQ(single->getAttribute()->getName(), "title");
    delete single;
    EXPECT_NE(readOne(john).find("title=boss"), std::string::npos);
}

TEST_F(FFModify, KeepsBinaryValuesAddedFromAnotherDirectory) {
    auto* attribute = new (HEAP) Attribute("photo");
    Dbinary bytes{3, const_cast<char*>("abc")};
    attribute->addValue(&bytes);
    DException* e = nullptr;
    modify({new Modification(MOD_OP_ADD, attribute)}, &e);
    ASSERT_EQ(e, nullptr);
    EXPECT_NE(readOne(john).find("photo=abc"), std::string::npos);
    auto* remove = new (HEAP) Attribute("photo");
    remove->addValue(&bytes);
    modify({new Modification(MOD_OP_DELETE, remove)}, &e);
    ASSERT_EQ(e, nullptr);
    EXPECT_EQ(readOne(john).find("photo"), std::string::npos);
}

TEST_F(FFOps, RenameChecksInOrder) {
    DException* e = nullptr;
    c_.rename(nullptr, "cn=b", false, &e);
    expectFailure(e, DEXC_RENAME, QDX_LDAP_SUCCESS, "ERROR: invalid DN");
    c_.rename(" ", "cn=b", false, &e);
    expectFailure(e, DEXC_RENAME, QDX_LDAP_OPERATIONS_ERROR);
    c_.rename("o=x", nullptr, false, &e);
    expectFailure(e, DEXC_RENAME, QDX_LDAP_SUCCESS, "ERROR: invalid RDN");
    c_.rename("o=x", "nobody", false, &e);
    expectFailure(e, DEXC_RENAME, QDX_LDAP_SUCCESS, "ERROR: invalid RDN");
    c_.rename("ou=groups,o=x", "ou=a,ou=people", false, &e);  // more than one RDN
    expectFailure(e, DEXC_RENAME, QDX_LDAP_SUCCESS, "ERROR: invalid RDN");
    c_.rename("ou=groups,o=x", "ou=g", "o=nowhere", false, &e);
    expectFailure(e, DEXC_RENAME, QDX_LDAP_NO_SUCH_OBJECT);
    c_.rename("cn=nobody,o=x", "cn=b", false, &e);
    expectFailure(e, DEXC_RENAME, QDX_LDAP_NO_SUCH_OBJECT);
    c_.rename("ou=people,o=x", "ou=staff", false, &e);
    expectFailure(e, DEXC_RENAME, QDX_LDAP_NOT_ALLOWED_ON_NONLEAF);
    c_.rename("ou=groups,o=x", "OU=Groups", false, &e);  // same DN
    expectFailure(e, DEXC_RENAME, QDX_LDAP_ALREADY_EXISTS);
    c_.rename("ou=groups,o=x", "ou=people", false, &e);
    expectFailure(e, DEXC_RENAME, QDX_LDAP_ALREADY_EXISTS);
    addOk("cn=top");
    c_.rename("cn=top", "cn=monitor", false, &e);
    expectFailure(e, DEXC_RENAME, QDX_LDAP_SUCCESS, "Invalid dn");
    c_.rename("cn=top", "cn=x", "cn=top", false, &e);  // under itself
    expectFailure(e, DEXC_RENAME, QDX_LDAP_NO_SUCH_OBJECT);
    EXPECT_EQ(readOne("cn=top"), "cn=top");
}

TEST_F(FFOps, RenameInPlaceUpdatesTheRdnValues) {
    DException* e = nullptr;
    c_.rename("cn=Ann Lee,ou=people,o=x", "cn=Ann Smith", true, &e);
    ASSERT_EQ(e, nullptr);
    EXPECT_EQ(readOne("cn=Ann Smith,ou=people,o=x"),
              "cn=Ann Smith,ou=people,o=x|objectClass=person|cn=Ann Smith|sn=Lee");
    EXPECT_EQ(readOne("cn=Ann Lee,ou=people,o=x"), errorText(QDX_LDAP_NO_SUCH_OBJECT));
    c_.rename("cn=Ann Smith,ou=people,o=x", "cn=Ann", false, &e);
    ASSERT_EQ(e, nullptr);
    EXPECT_EQ(readOne("cn=Ann,ou=people,o=x"),
              "cn=Ann,ou=people,o=x|objectClass=person|cn=Ann Smith=Ann|sn=Lee");
    // In place: the entry keeps its position among its siblings.
    EXPECT_EQ(searchDns("ou=people,o=x", 1, "(cn=*)").back(), "cn=Ann,ou=people,o=x");
    // A value present already is not added a second time.
    c_.rename("cn=Ann,ou=people,o=x", "cn=Ann Smith", false, &e);
    EXPECT_EQ(readOne("cn=Ann Smith,ou=people,o=x"),
              "cn=Ann Smith,ou=people,o=x|objectClass=person|cn=Ann Smith=Ann|sn=Lee");
}

TEST_F(FFOps, RenameToAnotherAttributeType) {
    addOk("uid=al,ou=people,o=x", {{"uid", "al"}, {"cn", "Al"}});
    DException* e = nullptr;
    c_.rename("uid=al,ou=people,o=x", "cn=Alan", true, &e);
    ASSERT_EQ(e, nullptr);
    EXPECT_EQ(readOne("cn=Alan,ou=people,o=x"), "cn=Alan,ou=people,o=x|cn=Al=Alan");
    c_.rename("cn=Alan,ou=people,o=x", "sn=A", false, &e);
    ASSERT_EQ(e, nullptr);
    EXPECT_EQ(readOne("sn=A,ou=people,o=x"), "sn=A,ou=people,o=x|cn=Al=Alan|sn=A");
}

TEST_F(FFOps, RenameWithNewSuperiorMovesTheLeaf) {
    DException* e = nullptr;
    int opsBefore = monitorNumber("opsInitiated");
    c_.rename("cn=John Smith,ou=people,o=x", "cn=John", "OU=Groups,o=x", true, &e);
    ASSERT_EQ(e, nullptr);
    // The move counts as the rename, a removal and an addition (plus the monitor read).
    EXPECT_EQ(monitorNumber("opsInitiated"), opsBefore + 3 + 1);
    EXPECT_EQ(monitorNumber("modsCompleted"), 3);
    EXPECT_EQ(readOne("cn=John Smith,ou=people,o=x"), errorText(QDX_LDAP_NO_SUCH_OBJECT));
    EXPECT_EQ(readOne("cn=john,ou=groups,o=x"),
              "cn=John,OU=Groups,o=x|objectClass=person|cn=John|sn=Smith|mail=john@x.org");
    EXPECT_EQ(searchDns("o=x", 2, "(objectclass=*)"),
              (Dns{"o=x", "ou=people,o=x", "cn=Ann Lee,ou=people,o=x", "ou=groups,o=x",
                   "cn=John,OU=Groups,o=x"}));
    // Moved entries can be found, renamed and removed like any other.
    c_.rename("cn=John,ou=groups,o=x", "cn=J", "o=x", false, &e);
    ASSERT_EQ(e, nullptr);
    c_.remove("cn=j,o=x", &e);
    ASSERT_EQ(e, nullptr);
    EXPECT_EQ(searchDns("o=x", 1, "(objectclass=*)"), (Dns{"ou=people,o=x", "ou=groups,o=x"}));
}

TEST_F(FFOps, ReadChecksAndSelectsAttributes) {
    DException* e = nullptr;
    EXPECT_EQ(c_.read(nullptr, &e), nullptr);
    expectFailure(e, DEXC_SEARCH, QDX_LDAP_SUCCESS, "ERROR: invalid DN");
    EXPECT_EQ(c_.read("cn=nobody,o=x", &e), nullptr);
    expectFailure(e, DEXC_SEARCH, QDX_LDAP_NO_SUCH_OBJECT);
    DList none;
    DEntry* dnOnly = c_.read("o=x", &none, &e);
    EXPECT_EQ(describe(dnOnly), "o=x");
    delete dnOnly;
    DList names;
    for (const char* n : {"SN", "missing", "cn", "sn"})
        names.append(strcopy(n), DLIST_STRING, false);
    DEntry* some = c_.read("cn=John Smith,ou=people,o=x", &names, &e);
    EXPECT_EQ(describe(some), "cn=John Smith,ou=people,o=x|sn=Smith|cn=John Smith");
    delete some;
}

TEST_F(FFOps, ValuesGivenInBase64FormAreDecodedWhenRead) {
    addOk("cn=b,o=x", {{"cn", "::YWJj"}, {"sn", "::not base64!"}});
    EXPECT_EQ(readOne("cn=b,o=x"), "cn=b,o=x|cn=abc|sn=::not base64!");
    EXPECT_EQ(searchDns("o=x", 1, "(cn=abc)"),
              Dns{errorText(QDX_LDAP_NO_SUCH_OBJECT)});  // stored as given
}

TEST_F(FFOps, SearchChecksInOrder) {
    DException* e = nullptr;
    EXPECT_EQ(c_.search(nullptr, 9, nullptr, nullptr, false, &e), nullptr);
    expectFailure(e, DEXC_SEARCH, QDX_LDAP_SUCCESS, "ERROR: invalid DN");
    EXPECT_EQ(c_.search("o=x", 9, nullptr, nullptr, false, &e), nullptr);
    expectFailure(e, DEXC_SEARCH, QDX_LDAP_SUCCESS, "ERROR: invalid filter");
    EXPECT_EQ(c_.search("o=x", 3, "(cn=*)", nullptr, false, &e), nullptr);
    expectFailure(e, DEXC_SEARCH, QDX_LDAP_SUCCESS, "ERROR: invalid search option");
    EXPECT_EQ(c_.search("o=y", 2, "(((", nullptr, false, &e), nullptr);
    expectFailure(e, DEXC_SEARCH, QDX_LDAP_NO_SUCH_OBJECT);
    EXPECT_EQ(c_.search("o=x", 2, "(cn=a", nullptr, false, &e), nullptr);
    expectFailure(e, DEXC_SEARCH, QDX_LDAP_SUCCESS, "ERROR: invalid filter");
    EXPECT_EQ(c_.search("o=x", 2, "(cn=nobody)", nullptr, false, &e), nullptr);
    expectFailure(e, DEXC_SEARCH, QDX_LDAP_NO_SUCH_OBJECT);
}

TEST_F(FFOps, SearchScopesAndFilters) {
    EXPECT_EQ(searchDns("o=x", 0, "(objectclass=*)"), Dns{"o=x"});
    EXPECT_EQ(searchDns("o=x", 1, "(objectclass=*)"), (Dns{"ou=people,o=x", "ou=groups,o=x"}));
    EXPECT_EQ(searchDns("o=x", 2, "(objectclass=*)"),
              (Dns{"o=x", "ou=people,o=x", "cn=John Smith,ou=people,o=x",
                   "cn=Ann Lee,ou=people,o=x", "ou=groups,o=x"}));
    EXPECT_EQ(searchDns("", 2, "cn=a*"), Dns{"cn=Ann Lee,ou=people,o=x"});  // no parentheses
    EXPECT_EQ(searchDns("o=x", 2, "(&(objectclass=person)(|(sn=lee)(mail=*)))"),
              (Dns{"cn=John Smith,ou=people,o=x", "cn=Ann Lee,ou=people,o=x"}));
    EXPECT_EQ(searchDns("o=x", 2, "(!(objectclass=person))"),
              (Dns{"o=x", "ou=people,o=x", "ou=groups,o=x"}));
}

TEST_F(FFOps, SearchTypesOnlyAndAttributeList) {
    DList names;
    names.append(strcopy("sn"), DLIST_STRING, false);
    DException* e = nullptr;
    std::unique_ptr<SearchResults> found(c_.search("ou=people,o=x", 1, "(sn=*)", &names, true, &e));
    ASSERT_EQ(e, nullptr);
    EXPECT_EQ(describe(found->first()), "cn=John Smith,ou=people,o=x|sn(no values)");
    std::unique_ptr<SearchResults> all(c_.search("o=x", 0, "(o=x)", nullptr, true, &e));
    EXPECT_EQ(describe(all->first()), "o=x|objectClass(no values)|o(no values)");
}

TEST_F(FFOps, CompareChecksAndValues) {
    DException* e = nullptr;
    Attribute sn("sn", "SMITH");
    EXPECT_FALSE(c_.compare(nullptr, &sn, &e));
    expectFailure(e, DEXC_COMPARE, QDX_LDAP_SUCCESS, "ERROR: invalid DN");
    EXPECT_FALSE(c_.compare("o=x", nullptr, &e));
    expectFailure(e, DEXC_COMPARE, QDX_LDAP_SUCCESS, "ERROR: invalid attribute");
    Attribute unnamed;
    EXPECT_FALSE(c_.compare("o=x", &unnamed, &e));
    expectFailure(e, DEXC_COMPARE, QDX_LDAP_SUCCESS, "ERROR: invalid attribute name");
    EXPECT_FALSE(c_.compare("cn=nobody,o=x", &sn, &e));
    expectFailure(e, DEXC_COMPARE, QDX_LDAP_NO_SUCH_OBJECT);
    EXPECT_FALSE(c_.compare("o=x", &sn, &e));
    expectFailure(e, DEXC_COMPARE, QDX_LDAP_NO_SUCH_ATTRIBUTE);
    const char* john = "cn=John Smith,ou=people,o=x";
    EXPECT_TRUE(c_.compare(john, &sn, &e));
    EXPECT_EQ(e, nullptr);
    sn.addValue("Jones");
    EXPECT_FALSE(c_.compare(john, &sn, &e));
    EXPECT_EQ(e, nullptr);
    Attribute noValues("sn");
    EXPECT_TRUE(c_.compare(john, &noValues, &e));
}

TEST_F(FFOps, AuthenticateAcceptsAnyPasswordOnceAFileIsSet) {
    DException* e = nullptr;
    EXPECT_FALSE(c_.isAuthenticated());
    c_.authenticate("cn=admin", "anything", &e);
    ASSERT_EQ(e, nullptr);
    EXPECT_TRUE(c_.isAuthenticated());
    EXPECT_TRUE(c_.isConnected());
    FFConnection::empty();
    FFConnection other;
    other.authenticate(0, "cn=admin", "pw", &e);
    expectFailure(e, DEXC_AUTHENTICATE, QDX_LDAP_SUCCESS, "Inappropriate authentication");
    EXPECT_FALSE(other.isAuthenticated());
}

TEST_F(FFOps, IsChangedOncePerRunOfChanges) {
    EXPECT_EQ(c_.isChanged(), 0);
    addOk("cn=a,o=x");
    addOk("cn=b,o=x");
    EXPECT_EQ(c_.isChanged(), 1);
    EXPECT_EQ(c_.isChanged(), 0);
    c_.remove("cn=a,o=x", nullptr);
    EXPECT_EQ(c_.isChanged(), 1);
    EXPECT_EQ(c_.isChanged(), 0);
}

TEST_F(FFOps, AsynchronousFormsQueueTheirResults) {
    DEntry* dup = makeEntry("o=x");
    int addId = c_.add_asyn(dup, nullptr);
    delete dup;
    int readId = c_.read_asyn("o=x", nullptr);
    int searchId = c_.search_asyn("o=x", 1, "(ou=*)", nullptr, false, nullptr);
    EXPECT_GT(addId, 0);
    EXPECT_EQ(readId, addId + 1);
    EXPECT_EQ(searchId, addId + 2);
    EXPECT_EQ(c_.getResult(999), nullptr);

    std::unique_ptr<Results> read(c_.getResult(readId));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->getType(), RES_READ);
    DException* e = nullptr;
    EXPECT_EQ(describe(read->getReadResult(&e)), "o=x|objectClass=organization|o=x");
    EXPECT_EQ(e, nullptr);

    std::unique_ptr<Results> oldest(c_.getResult(0));
    ASSERT_NE(oldest, nullptr);
    EXPECT_EQ(oldest->getID(), addId);
    EXPECT_EQ(oldest->getType(), RES_ADD);
    oldest->getAddResult(&e);
    expectFailure(e, DEXC_ADD, QDX_LDAP_ALREADY_EXISTS);

    std::unique_ptr<Results> any(c_.getResult(-1));
    ASSERT_NE(any, nullptr);
    EXPECT_EQ(any->getType(), RES_SEARCH);
    EXPECT_EQ(dnsOf(any->getSearchResult(&e)), (Dns{"ou=people,o=x", "ou=groups,o=x"}));
    EXPECT_EQ(c_.getResult(0), nullptr);
}

// The caller's exception and the one in the Results are separate objects: releasing both
// is correct (the sanitizer builds catch a double release).
TEST_F(FFOps, AsynchronousFailureGoesToBothOwners) {
    DException* direct = nullptr;
    int id = c_.remove_asyn("ou=people,o=x", &direct);
    ASSERT_NE(direct, nullptr);
    EXPECT_EQ(direct->getLdapErrorCode(), QDX_LDAP_NOT_ALLOWED_ON_NONLEAF);
    std::unique_ptr<Results> result(c_.getResult(id));
    DException* queued = nullptr;
    result->getRemoveResult(&queued);
    ASSERT_NE(queued, nullptr);
    EXPECT_NE(queued, direct);
    EXPECT_EQ(queued->getLdapErrorCode(), QDX_LDAP_NOT_ALLOWED_ON_NONLEAF);
    delete direct;
    delete queued;

    int ok = c_.modify_asyn("o=x", static_cast<Modification*>(nullptr), &direct);
    EXPECT_GT(ok, id);
    expectFailure(direct, DEXC_MODIFY, QDX_LDAP_SUCCESS, "ERROR: invalid modification");
    c_.rename_asyn("ou=groups,o=x", "ou=teams", true, &direct);
    EXPECT_EQ(direct, nullptr);
    c_.authenticate_asyn("cn=me", "pw", &direct);
    EXPECT_EQ(direct, nullptr);
    // Pending results (with their exceptions) are released by disconnect.
    c_.disconnect(nullptr);
    EXPECT_EQ(c_.getResult(0), nullptr);
}

TEST_F(FFOps, MonitorEntryIsSynthetic) {
    c_.authenticate("cn=admin", "pw", nullptr);
    DEntry* monitor = c_.read("CN=MONITOR", nullptr);
    ASSERT_NE(monitor, nullptr);
    EXPECT_STREQ(monitor->getDN(), "cn=monitor");
    std::vector<std::string> names;
    for (Attribute* a = monitor->getFirstAttribute(); a != nullptr;
         a = monitor->getNextAttribute()) {
        names.push_back(a->getName());
    }
    EXPECT_EQ(names, (std::vector<std::string>{
                         "version", "korvanversion", "threads", "connection", "currentConnections",
                         "totalConnections", "dTableSize", "writeWaiters", "readWaiters",
                         "opsInitiated", "opsCompleted", "modsCompleted", "entriesSent",
                         "bytesSent", "currentTime", "startTime", "nBackends"}));
    auto first = [&](const char* name) {
        return std::string(static_cast<const char*>(monitor->getAttribute(name)->getFirstValue()));
    };
    EXPECT_EQ(first("version"), "LDIF V3.3, adapted for Korvan VELT, compiled Sep 29 2004");
    int initiated = std::stoi(first("opsInitiated"));
    EXPECT_EQ(std::stoi(first("opsCompleted")), initiated - 1);
    EXPECT_EQ(first("startTime").size(), 15u);
    EXPECT_EQ(first("startTime").back(), 'Z');
    Attribute* connection = monitor->getAttribute("connection");
    ASSERT_EQ(connection->size(), 2);
    std::string second = static_cast<const char*>(connection->getLastValue());
    EXPECT_EQ(second, "1 : " + first("startTime") + " : " + std::to_string(initiated) + " : " +
                          std::to_string(initiated - 1) + " : cn=admin : ");
    delete monitor;

    int sent = monitorNumber("entriesSent");
    delete c_.read("o=x", nullptr);
    EXPECT_EQ(monitorNumber("entriesSent"), sent + 1);

    DException* e = nullptr;
    std::unique_ptr<SearchResults> found(c_.search("cn=monitor", 0, "(((", nullptr, false, &e));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(dnsOf(found.get()), Dns{"cn=monitor"});
}

}  // namespace
