#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "entry_pairs.h"
#include "ldap_filter.h"
#include "schema.h"

using dirschema::LdapFilter;
using dirschema::Truth;

namespace {

const dirschema::Schema& schema() {
    return dirschema::Schema::builtin();
}

using Entry = dirschema::EntryPairs;

const Entry kJane = {
    {"objectClass", "inetOrgPerson"},
    {"objectClass", "posixAccount"},
    {"cn", "Jane Doe"},
    {"cn;lang-fr", "Jeanne Doe"},
    {"sn", "Doe"},
    {"l", "Santa Clara"},
    {"telephoneNumber", "+1 408-555-0100"},
    {"uidNumber", "10"},
    {"gidNumber", "100"},
    {"manager", "cn=Boss, ou=People, dc=example"},
    {"mail", "Jane@Example.com"},
    {"description", "Élodie's friend"},
    {"userPassword", std::string("se\0cret", 7)},
    {"uid", "jane"},
    {"homeDirectory", "/home/jane"},
};

TEST(LdapFilter, EvaluatesLikeAServer) {
    struct Case {
        const char* filter;
        Truth expected;
    } cases[] = {
        {"(cn=jane doe)", Truth::kTrue},
        {"(cn=  JANE   DOE )", Truth::kTrue},
        {"(cn=\\4aane Doe)", Truth::kTrue},
        {"(cn=Jeanne Doe)", Truth::kTrue},  // cn reaches cn;lang-fr
        {"(cn;lang-fr=jeanne*)", Truth::kTrue},
        {"(cn;lang-fr=Jane Doe)", Truth::kFalse},
        {"(name=doe)", Truth::kTrue},  // sn is a subtype of name
        {"(2.5.4.4=Doe)", Truth::kTrue},
        {"(l=Clara)", Truth::kFalse},
        {"(l=*Clara)", Truth::kTrue},
        {"(telephoneNumber=408)", Truth::kFalse},
        {"(telephoneNumber=+14085550100)", Truth::kTrue},
        {"(telephoneNumber=*408 555*)", Truth::kTrue},
        {"(uidNumber<=10)", Truth::kTrue},
        {"(uidNumber<=9)", Truth::kFalse},
        {"(uidNumber>=9)", Truth::kTrue},
        {"(gidNumber>=99)", Truth::kTrue},
        {"(uidNumber=abc)", Truth::kUndefined},
        {"(cn>=a)", Truth::kUndefined},  // cn has no ordering rule
        {"(cn~=JANE DOE)", Truth::kTrue},
        {"(objectClass=person)", Truth::kTrue},
        {"(objectClass=top)", Truth::kTrue},
        {"(objectClass=groupOfNames)", Truth::kFalse},
        {"(manager=CN=boss,OU=people,DC=Example)", Truth::kTrue},
        {"(mail=jane@example.COM)", Truth::kTrue},
        {"(description=élodie's*)", Truth::kTrue},
        {"(userPassword=se\\00cret)", Truth::kTrue},
        {"(homeDirectory=/HOME/jane)", Truth::kFalse},  // caseExactIA5
        {"(nonexistent=x)", Truth::kUndefined},
        {"(!(nonexistent=x))", Truth::kUndefined},
        {"(nonexistent=*)", Truth::kUndefined},
        {"(!(nonexistent=*))", Truth::kUndefined},
        {"(|(nonexistent=x)(cn=Jane Doe))", Truth::kTrue},
        {"(&(nonexistent=x)(cn=Jane Doe))", Truth::kUndefined},
        {"(&(nonexistent=x)(cn=nobody))", Truth::kFalse},
        {"(jpegPhoto=x)", Truth::kUndefined},  // no equality rule
        {"(jpegPhoto=*)", Truth::kFalse},
        {"(&)", Truth::kTrue},
        {"(|)", Truth::kFalse},
        {"(cn=J*n*D*e)", Truth::kTrue},
        {"(cn=*ane do)", Truth::kFalse},
        {"(cn=)", Truth::kUndefined},
        {"(cn=Jan *)", Truth::kFalse},  // blanks at the inner edges of pieces count
        {"(cn=*ne  d*)", Truth::kTrue},
        {"(cn= Jane*)", Truth::kTrue},
        {"(cn=*e Doe )", Truth::kTrue},
        {"(cn~=Jean Dough)", Truth::kTrue},  // by sound, word by word, in order
        {"(cn~=Doe Jane)", Truth::kFalse},
        {"(l~=Klara)", Truth::kTrue},
        {"(mail=é*)", Truth::kUndefined},  // outside the IA5 syntax
        {"(telephoneNumber=*#*)", Truth::kUndefined},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(std::to_string(i) + " " + cases[i].filter);
        LdapFilter filter = LdapFilter::parse(cases[i].filter, schema());
        EXPECT_EQ(filter.evaluate(&kJane, dirschema::entryPairValues), cases[i].expected);
    }
}

TEST(LdapFilter, RefusesTextOutsideTheGrammarWithAReason) {
    struct Case {
        const char* filter;
        const char* reason;
    } cases[] = {
        {"(cn:caseExactMatch:=Jane)", "extensible match filters are not supported"},
        {"(:dn:2.5.13.5:=x)", "extensible match filters are not supported"},
        {"(cn=Jane", "')' expected"},
        {"cn=Jane", "'(' expected"},
        {"(cn=a\\zz)", "two hex digits"},
        {"(cn=a(b)", "\\28"},
        {"(cn>=a*)", "only allowed with '='"},
        {"(cn;=x)", "invalid attribute option"},
        {"(cn=x))", "unexpected text"},
        {"(=x)", "attribute description expected"},
        {"(1cn=x)", "invalid attribute description"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].filter);
        try {
            LdapFilter::parse(cases[i].filter, schema());
            ADD_FAILURE() << "accepted";
        } catch (const dirschema::FilterError& error) {
            EXPECT_NE(std::string(error.what()).find(cases[i].reason), std::string::npos)
                << error.what();
        }
    }
}

TEST(LdapFilter, RefusesDeepNestingInsteadOfExhaustingTheStack) {
    std::string text;
    for (int i = 0; i < 10000; ++i)
        text += "(!";
    text += "(cn=x)";
    text += std::string(10000, ')');
    EXPECT_THROW(LdapFilter::parse(text, schema()), dirschema::FilterError);
}

TEST(LdapFilter, EqualValuesFollowsTheAttributesRule) {
    EXPECT_TRUE(dirschema::equalValues("cn", "Jane  DOE", "jane doe", schema()));
    EXPECT_FALSE(dirschema::equalValues("homeDirectory", "/A", "/a", schema()));
    EXPECT_TRUE(dirschema::equalValues("member", "CN=A, O=B", "cn=a,o=b", schema()));
    EXPECT_FALSE(dirschema::equalValues("unknownAttr", "A", "a", schema()));
}

}  // namespace
