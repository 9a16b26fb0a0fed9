// DConnection without any server: state, options, the dump, factories, and every
// operation's report on an object that is not connected.

#include "dconnection.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "connection_test_support.h"
#include "object_memory.h"

namespace {

using conntest::expectFailure;
using conntest::taken;

TEST(DConnectionState, NewObjectIsUnconnectedOnPort389) {
    DConnection c;
    EXPECT_FALSE(c.isConnected());
    EXPECT_FALSE(c.isAuthenticated());
    EXPECT_EQ(c.getConnection(), nullptr);
    EXPECT_EQ(c.getPort(), 389);
    EXPECT_EQ(c.getHost(), nullptr);
    EXPECT_EQ(c.getHostUrl(), nullptr);
    EXPECT_EQ(c.isHostChanged(), 0);
    EXPECT_EQ(c.getAuthenticationDN(), nullptr);
    EXPECT_EQ(c.getSearchConstraints(), nullptr);
    EXPECT_EQ(c.getMsgList(), nullptr);
    DConnection zero("h", 0);
    EXPECT_EQ(zero.getPort(), 389);
}

TEST(DConnectionState, SetHostKeepsTheNameAndTheWholeString) {
    DConnection c;
    EXPECT_TRUE(c.setHost("LDAP://a:1;FILE:///x.ldif;LDAP://b:2"));
    EXPECT_STREQ(c.getHost(), "LDAP://a:1;LDAP://b:2");
    EXPECT_STREQ(c.getHostUrl(), "LDAP://a:1;FILE:///x.ldif;LDAP://b:2");
    EXPECT_FALSE(c.setHost(nullptr));
    EXPECT_STREQ(c.getHostUrl(), "LDAP://a:1;FILE:///x.ldif;LDAP://b:2");
    EXPECT_TRUE(c.setHost("FILE:///one.ldif;FILE:///two.ldif"));
    EXPECT_STREQ(c.getHost(), "FILE:///one.ldif");
    EXPECT_STREQ(c.getHostUrl(), "FILE:///one.ldif;FILE:///two.ldif");
}

TEST(DConnectionOptions, LiveInTheDefaultConstraints) {
    DConnection c;
    EXPECT_EQ(c.getOption(0), 0);
    EXPECT_EQ(c.getOption(1), 0);
    EXPECT_EQ(c.getOption(2), -1);
    c.setOption(5, 1);  // creates empty constraints, sets nothing
    SearchConstraints* copy = c.getSearchConstraints();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->getTimeLimit(), 0);
    EXPECT_EQ(copy->getMaxResults(), 0);
    c.deleteObject(copy);

    c.setOption(0, 25);
    c.setOption(1, 7);
    EXPECT_EQ(c.getOption(0), 25);
    EXPECT_EQ(c.getOption(1), 7);
    copy = c.getSearchConstraints();
    copy->setMaxResults(1);  // a copy: the defaults stay
    EXPECT_EQ(c.getOption(0), 25);
    c.deleteObject(copy);

    EXPECT_TRUE(c.setSearchConstraints(c.newSearchConstraints(3, 4)));
    EXPECT_EQ(c.getOption(0), 4);
    EXPECT_EQ(c.getOption(1), 3);
    EXPECT_TRUE(c.setSearchConstraints(nullptr));
    EXPECT_EQ(c.getOption(0), 0);
}

TEST(DConnectionDump, ShowsAddressCredentialsStateAndConstraints) {
    DConnection c;
    EXPECT_EQ(taken(c, c.ToString()),
              "DConnection {\n"
              "  host: localhost\n"
              "  port: 389\n"
              "  authentication dn: NULL\n"
              "  authentication password: NULL\n"
              "  is autenticated: FALSE\n"
              "  SearchConstraints: NULL\n"
              "}\n");
    c.setHost("LDAP://h:1");
    c.setPort(1);
    c.setAuthenticationDN("cn=a");
    c.setAuthenticationPassword("Pw-8d2c");  // shown masked, never itself
    c.setIsAuthenticated(true);
    c.setOption(1, 30);
    EXPECT_EQ(taken(c, c.ToString(2, false)),
              "  DConnection {\n"
              "    host: LDAP://h:1\n"
              "    port: 1\n"
              "    authentication dn: cn=a\n"
              "    authentication password: ********\n"
              "    is autenticated: TRUE\n"
              "    SearchConstraints: \n"
              "      SearchConstraints {\n"
              "        time limit: 30\n"
              "        max results: 0\n"
              "      }\n"
              "  }\n");
}

TEST(DConnectionFactory, EveryObjectGoesBackThroughDeleteObject) {
    DConnection c;
    AttributeSet* set = c.newAttributeSet();
    set->add(c.newAttribute("cn", "Ann"));
    set->add(c.newAttribute("uid", 7));
    Dbinary raw{3, const_cast<char*>("abc")};
    set->add(c.newAttribute("photo", copy_binary_shared(&raw)));
    DEntry* entry = c.newDEntry("cn=Ann,o=x", set);
    EXPECT_EQ(entry->size(), 3);
    c.deleteObject(entry);

    c.deleteObject(c.newAttribute());
    c.deleteObject(c.newAttribute("cn"));
    c.deleteObject(c.newDEntry());
    c.deleteObject(c.newDEntry("o=x"));
    c.deleteObject(c.newAttributeSet());
    c.deleteObject(c.newDListItem());
    DList* list = c.newDList();
    list->append(strcopy("cn"), DLIST_STRING, false);
    c.deleteObject(list);

    static bool released = false;
    DListItem* item = c.newDListItem(strcopy("x"), DLIST_STRING, [](void*) { released = true; });
    c.deleteObject(item);  // the item releases its string by its type code
    EXPECT_FALSE(released);

    c.deleteObject(c.newCompareAttrNames("cn"));
    c.deleteObject(c.newCompareAttrNames("cn", false));
    c.deleteObject(c.newCompareAttrNames(c.newDList()));
    DList* names = c.newDList();
    names->append(const_cast<char*>("sn"), DLIST_STRING, true);
    names->append(const_cast<char*>("cn"), DLIST_STRING, true);
    DList* orders = c.newDList();
    bool up = true;
    orders->append(&up, DLIST_BOOL, true);
    DException* e = nullptr;
    c.deleteObject(c.newCompareAttrNames(names, orders, &e));
    expectFailure(c, e, 612, "ERROR: different size lists");

    c.deleteObject(c.newDException());
    c.deleteObject(c.newDException("x"));
    c.deleteObject(c.newDException("x", 601, "y"));
    c.deleteObject(c.newDException("x", 601, "y", "z"));
    c.deleteObject(c.newModification());
    c.deleteObject(c.newModification(MOD_OP_ADD, c.newAttribute("cn", "a")));
    c.deleteObject(c.newModificationSet());
    c.deleteObject(c.newResults());
    c.deleteObject(c.newSearchResults());
    c.deleteObject(c.newSearchConstraints());
    c.deleteObject(c.newSearchConstraints(1, 2));
    c.freeString(strcopy("text"));

    c.deleteObject(static_cast<DEntry*>(nullptr));
    c.deleteObject(static_cast<Results*>(nullptr));
    c.freeString(nullptr);
}

// An object that was never connected, and the arguments its operations are given.
struct Unconnected {
    DConnection c;
    DEntry* entry = conntest::makeEntry("cn=a,o=x", {{"cn", "a"}});
    Modification mod{MOD_OP_REPLACE, new (HEAP) Attribute("cn", "b")};
    ModificationSet mods;
    Attribute text{"cn", "a"};
    Dbinary raw{1, const_cast<char*>("a")};
    Attribute unnamed;
    Attribute binary{"cn"};

    Unconnected() {
        mods.add(MOD_OP_REPLACE, new (HEAP) Attribute("cn", "b"));
        unnamed.addValue("a");
        binary.addValue(&raw);
    }
    ~Unconnected() { c.deleteObject(entry); }
};

// An operation and the report it must give.
struct UnconnectedRow {
    const char* what;
    std::function<void(DException**)> call;
    int code;
    const char* detail;
};

std::vector<UnconnectedRow> synchronousRows(Unconnected& u) {
    DConnection& c = u.c;
    DEntry*& entry = u.entry;
    return {
        {"add", [&](DException** e) { c.add(entry, e); }, 601, "ERROR: no open connection"},
        {"add null", [&](DException** e) { c.add(nullptr, e); }, 601, "ERROR: no open connection"},
        {"remove", [&](DException** e) { c.remove("cn=a,o=x", e); }, 605,
         "ERROR: no open connection"},
        {"modify one null", [&](DException** e) { c.modify("cn=a", (Modification*)nullptr, e); },
         607, "ERROR: invalid modification"},
        {"modify one", [&](DException** e) { c.modify("cn=a", &u.mod, e); }, 607,
         "ERROR: no open connection"},
        {"modify set null dn", [&](DException** e) { c.modify(nullptr, &u.mods, e); }, 607,
         "ERROR: no open connection"},
        {"rename null dn", [&](DException** e) { c.rename(nullptr, "cn=b", true, e); }, 608,
         "ERROR: invalid entry"},
        {"rename null rdn", [&](DException** e) { c.rename("cn=a", nullptr, true, e); }, 608,
         "ERROR: invalid RDN"},
        {"rename", [&](DException** e) { c.rename("cn=a,o=x", "cn=b", "o=y", true, e); }, 608,
         "ERROR: no open connection"},
        {"read", [&](DException** e) { EXPECT_EQ(c.read("cn=a", e), nullptr); }, 609,
         "ERROR: no open connection"},
        {"search",
         [&](DException** e) {
             EXPECT_EQ(c.search(nullptr, 9, nullptr, nullptr, false, e), nullptr);
         },
         609, "ERROR: no open connection"},
        {"compare null dn", [&](DException** e) { EXPECT_FALSE(c.compare(nullptr, &u.text, e)); },
         603, "ERROR: invalid DN"},
        {"compare null attribute",
         [&](DException** e) { EXPECT_FALSE(c.compare("cn=a", nullptr, e)); }, 603,
         "ERROR: invalid attribute"},
        {"compare unnamed", [&](DException** e) { EXPECT_FALSE(c.compare("cn=a", &u.unnamed, e)); },
         603, "ERROR: invalid attribute name"},
        {"compare binary", [&](DException** e) { EXPECT_FALSE(c.compare("cn=a", &u.binary, e)); },
         603, "ERROR: only string values supported"},
        {"compare", [&](DException** e) { EXPECT_FALSE(c.compare("cn=a", &u.text, e)); }, 603,
         "ERROR: no open connection"},
        {"removeTree", [&](DException** e) { c.removeTree("o=x", e); }, 605,
         "ERROR: no open connection"},
        {"enableCache", [&](DException** e) { c.enableCache(60, 100000, e); }, 615,
         "ERROR: no open connection"},
        {"setTimeout", [&](DException** e) { c.setTimeout(60, e); }, 616,
         "ERROR: no open connection"},
        {"disconnect", [&](DException** e) { c.disconnect(e); }, 606, "ERROR: no open connection"},
        {"moveEntry top level", [&](DException** e) { c.moveEntry("o=x", "o=y", "o=z", e); }, 608,
         "ERROR: invalid DN"},
    };
}

std::vector<UnconnectedRow> asynchronousRows(Unconnected& u) {
    DConnection& c = u.c;
    DEntry*& entry = u.entry;
    return {
        {"add_asyn", [&](DException** e) { EXPECT_EQ(c.add_asyn(entry, e), -1); }, 601,
         "ERROR: no open connection"},
        {"remove_asyn", [&](DException** e) { EXPECT_EQ(c.remove_asyn("cn=a", e), -1); }, 605,
         "ERROR: no open connection"},
        {"modify_asyn null",
         [&](DException** e) { EXPECT_EQ(c.modify_asyn("cn=a", (Modification*)nullptr, e), -1); },
         607, "ERROR: invalid modification"},
        {"modify_asyn", [&](DException** e) { EXPECT_EQ(c.modify_asyn("cn=a", &u.mods, e), -1); },
         607, "ERROR: no open connection"},
        {"rename_asyn",
         [&](DException** e) { EXPECT_EQ(c.rename_asyn(nullptr, "cn=b", true, e), -1); }, 608,
         "ERROR: invalid entry"},
        {"read_asyn", [&](DException** e) { EXPECT_EQ(c.read_asyn("cn=a", e), -1); }, 609,
         "ERROR: no open connection"},
        {"search_asyn",
         [&](DException** e) {
             EXPECT_EQ(c.search_asyn("o=x", 2, "(cn=*)", nullptr, false, e), -1);
         },
         609, "ERROR: no open connection"},
    };
}

// Each operation on an object that was never connected, with the report it must give.
TEST(DConnectionUnconnected, EveryOperationReportsInItsOrder) {
    Unconnected u;
    for (auto rows : {synchronousRows(u), asynchronousRows(u)}) {
        for (const UnconnectedRow& row : rows) {
            SCOPED_TRACE(row.what);
            DException* e = nullptr;
            row.call(&e);
            expectFailure(u.c, e, row.code, row.detail);
            row.call(nullptr);  // unreported, and nothing leaks
        }
    }
    u.c.disableCache();
    EXPECT_EQ(u.c.isChanged(), 0);
    EXPECT_EQ(u.c.getModCount(), 0);
}

TEST(DConnectionUnconnected, GetResultReportsInsteadOfWaiting) {
    DConnection c;
    Results* r = c.getResult(-1, 100);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->getType(), RES_UNKNOWN);
    EXPECT_EQ(r->getID(), -1);
    DException* e = nullptr;
    r->getAddResult(&e);
    expectFailure(c, e, 613, "ERROR: no open connection");
    c.deleteObject(r);
    // The Results keeps its exception alive for whoever still holds it.
    r = c.getResult(7, 0);
    DException* kept = r->getException();
    c.deleteObject(r);
    EXPECT_EQ(kept->getErrorCode(), 613);
    c.deleteObject(kept);
}

TEST(DConnectionUnconnected, ConnectToAMissingFileFails) {
    ScopedTestDir dir;
    DConnection c;
    DException* e = nullptr;
    const char* kMissing =
        "ERROR: no open connection: cannot open missing.ldif: No such file or directory";
    c.connect("FILE:///missing.ldif", 0, &e);
    expectFailure(c, e, 604, kMissing);
    EXPECT_FALSE(c.isConnected());
    EXPECT_STREQ(c.getHostUrl(), "FILE:///missing.ldif");
    // The implicit connect of authenticate fails the same way.
    c.authenticate("cn=a", "pw", &e);
    expectFailure(c, e, 604, kMissing);
    EXPECT_EQ(c.authenticate_asyn("cn=a", "pw", &e), -1);
    expectFailure(c, e, 604, kMissing);
}

// Records of the pending list own what they point to; replacing or destroying the list
// releases it (LeakSanitizer checks).
TEST(DConnectionPendingList, RecordsAndTheirRequestDataAreReleased) {
    DConnection c;
    auto record = [](int type, int id, void* data) {
        auto* r = reinterpret_cast<AsynVal*>(check_malloc(sizeof(AsynVal)));
        *r = AsynVal{type, id, data};
        return r;
    };
    auto* par = reinterpret_cast<SearchPar*>(check_malloc(sizeof(SearchPar)));
    par->scope = 2;
    par->attrs = reinterpret_cast<char**>(check_malloc(2 * sizeof(char*)));
    par->attrs[0] = const_cast<char*>("cn");
    par->attrs[1] = nullptr;
    auto** strings = reinterpret_cast<char**>(check_malloc(3 * sizeof(char*)));
    strings[0] = strcopy("cn=a,o=x");
    strings[1] = strcopy("cn=b");
    strings[2] = strcopy("o=y");
    c.addAsynValue(record(RES_SEARCH, 4, par));
    c.addAsynValue(record(RES_RENAME, 5, strings));
    c.addAsynValue(record(RES_READ, 6, nullptr));

    DListItem* item = c.getMsgItem(5);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(static_cast<AsynVal*>(item->getValue())->resultType, RES_RENAME);
    EXPECT_EQ(c.getMsgList()->getCursor(), item);
    EXPECT_EQ(c.getMsgItem(7), nullptr);
    EXPECT_EQ(c.getMsgList()->size(), 3);

    DList* fresh = c.newDList();
    EXPECT_TRUE(c.setMsgList(fresh));
    EXPECT_EQ(c.getMsgList(), fresh);
    // One more record left for the destructor.
    auto* another = reinterpret_cast<SearchPar*>(check_malloc(sizeof(SearchPar)));
    *another = SearchPar{0, nullptr};
    c.addAsynValue(record(RES_SEARCH, 9, another));
}

}  // namespace
