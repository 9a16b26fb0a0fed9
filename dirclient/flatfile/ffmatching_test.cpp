// The LDAP matching mode through FFConnection: search, compare and the value checks of
// modify, beside the default mode on the same store.

#include <memory>

#include "flatfile_test_support.h"
#include "ldap_result_codes.h"
#include "modification.h"
#include "modification_set.h"

namespace {

using namespace fftest;

const char kStore[] =
    "dn: o=x\nobjectClass: organization\no: x\n\n"
    "dn: cn=Jane Doe,o=x\nobjectClass: inetOrgPerson\ncn: Jane Doe\ncn;lang-fr: Jeanne\n"
    "sn: Doe\nl: Santa Clara\ntelephoneNumber: +1 408-555-0100\n"
    "manager: cn=Boss, o=x\n\n"
    "dn: cn=Boss,o=x\nobjectClass: person\ncn: Boss\nsn: Big\nl: Clara\n\n";

class FFLdapMatching : public StoreTest {
  protected:
    void SetUp() override {
        load(c_, kStore);
        ASSERT_TRUE(c_.setMatching(FF_MATCH_LDAP));
    }

    int modify(Modification* mod) {
        ModificationSet set;
        set.addModification(mod, DLIST_MODIFICATION);
        DException* e = nullptr;
        c_.modify("cn=Jane Doe,o=x", &set, &e);
        int code = e != nullptr ? e->getLdapErrorCode() : 0;
        delete e;
        return code;
    }

    FFConnection c_;
};

TEST_F(FFLdapMatching, SearchAnswersAsTheServerWould) {
    struct Case {
        const char* filter;
        std::vector<std::string> dns;
    } cases[] = {
        {"(l=Clara)", {"cn=Boss,o=x"}},
        {"(objectClass=person)", {"cn=Jane Doe,o=x", "cn=Boss,o=x"}},
        {"(cn=jeanne)", {"cn=Jane Doe,o=x"}},
        {"(manager=CN=boss,O=X)", {"cn=Jane Doe,o=x"}},
        {"(telephoneNumber=*4085550100)", {"cn=Jane Doe,o=x"}},
        {"(!(nonexistent=x))", {errorText(QDX_LDAP_NO_SUCH_OBJECT)}},
        {"(!(sn=Doe))", {"o=x", "cn=Boss,o=x"}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.filter);
        EXPECT_EQ(searchDns(c_, "o=x", 2, row.filter), row.dns);
    }
    c_.setMatching(FF_MATCH_DEFAULT);
    EXPECT_EQ(searchDns(c_, "o=x", 2, "(l=Clara)").size(), 2u);  // the word matcher
}

TEST_F(FFLdapMatching, RefusedFiltersSayWhy) {
    DException* e = nullptr;
    EXPECT_EQ(c_.search("o=x", 2, "(cn:dn:=x)", nullptr, false, &e), nullptr);
    expectFailure(e, DEXC_SEARCH, 0, "ERROR: extensible match filters are not supported");
    EXPECT_EQ(c_.search("o=x", 2, "(cn=\\zz)", nullptr, false, &e), nullptr);
    expectFailure(e, DEXC_SEARCH, 0, "ERROR: invalid filter (RFC 4515 syntax expected)");
    EXPECT_FALSE(c_.setMatching(7));
    EXPECT_EQ(c_.getMatching(), FF_MATCH_LDAP);
}

TEST_F(FFLdapMatching, CompareUsesTheEqualityRule) {
    DException* e = nullptr;
    Attribute phone("telephoneNumber", "+14085550100");
    EXPECT_TRUE(c_.compare("cn=Jane Doe,o=x", &phone, &e));
    Attribute name("cn", "  JANE   doe ");
    EXPECT_TRUE(c_.compare("cn=Jane Doe,o=x", &name, &e));
    Attribute other("sn", "Smith");
    EXPECT_FALSE(c_.compare("cn=Jane Doe,o=x", &other, &e));
    EXPECT_EQ(e, nullptr);
}

TEST_F(FFLdapMatching, ModifyFindsValuesByTheRuleAndRefusesDuplicates) {
    EXPECT_EQ(modify(new Modification(MOD_OP_DELETE, new Attribute("manager", "CN=BOSS,O=X"))),
              QDX_LDAP_SUCCESS);
    EXPECT_EQ(readOne(c_, "cn=Jane Doe,o=x").find("manager"), std::string::npos);
    EXPECT_EQ(modify(new Modification(MOD_OP_ADD, new Attribute("sn", "doe"))),
              QDX_LDAP_TYPE_OR_VALUE_EXISTS);
    EXPECT_EQ(modify(new Modification(MOD_OP_DELETE, new Attribute("sn", "Smith"))),
              QDX_LDAP_NO_SUCH_ATTRIBUTE);
    EXPECT_EQ(
        modify(new Modification(MOD_OP_DELETE, new Attribute("telephoneNumber", "+1 408 5550100"))),
        QDX_LDAP_SUCCESS);
}

}  // namespace
