#include <gtest/gtest.h>

#include "matching_rules.h"
#include "schema.h"
#include "text_fold.h"

using dirschema::Rule;

namespace {

const dirschema::Schema& schema() {
    return dirschema::Schema::builtin();
}

// Equal under the rule, both values valid.
bool same(Rule rule, const char* a, const char* b) {
    std::string na, nb;
    EXPECT_TRUE(normalize(rule, a, schema(), na)) << a;
    EXPECT_TRUE(normalize(rule, b, schema(), nb)) << b;
    return na == nb;
}

TEST(MatchingRules, EqualityByRule) {
    struct Case {
        Rule rule;
        const char* a;
        const char* b;
        bool equal;
    } cases[] = {
        {Rule::kCaseIgnore, "  Jane   Doe ", "jane doe", true},
        {Rule::kCaseIgnore, "ÉLODIE Ñúñez", "élodie ñÚÑEZ", true},
        {Rule::kCaseIgnore, "ΑΘΗΝΑ", "αθηνα", true},
        {Rule::kCaseIgnore, "МОСКВА Ёж", "москва ёж", true},
        {Rule::kCaseIgnore, "Łódź", "łÓDŹ", true},
        {Rule::kCaseIgnore, "jane doe", "janedoe", false},
        {Rule::kCaseExact, "Jane  Doe", "Jane Doe", true},
        {Rule::kCaseExact, "Jane", "jane", false},
        {Rule::kCaseIgnoreIA5, "Jane@Example.COM", "jane@example.com", true},
        {Rule::kTelephone, "+1 408-555 0100", "+14085550100", true},
        {Rule::kTelephone, "+1 408 555 0100", "+1 408 555 0101", false},
        {Rule::kNumericString, "12 34", "1234", true},
        {Rule::kInteger, "0042", "42", true},
        {Rule::kInteger, "-0", "0", true},
        {Rule::kInteger, "123456789012345678901234567890", "123456789012345678901234567891", false},
        {Rule::kGeneralizedTime, "20240101120000Z", "20240101130000+0100", true},
        {Rule::kGeneralizedTime, "202401011200Z", "20240101120000.000Z", true},
        {Rule::kGeneralizedTime, "20231231233000-0100", "20240101003000Z", true},
        {Rule::kDistinguishedName, "CN=Jane Doe, OU=People,dc=Example",
         "cn=jane doe,ou=people,dc=example", true},
        {Rule::kDistinguishedName, "commonName=x+sn=y,o=z", "sn=Y+cn=X,o=Z", true},
        {Rule::kDistinguishedName, "cn=a,o=z", "cn=b,o=z", false},
        {Rule::kDistinguishedName, "cn=\\4a\\6fhn,o=x", "cn=John,o=x", true},
        {Rule::kDistinguishedName, "cn=\"Smith, J\";o=x", "CN=smith\\2c j, O=X", true},
        {Rule::kDistinguishedName, "cn=a\\,b,o=x", "cn=a,b=b,o=x", false},
        {Rule::kUniqueMember, "cn=A, o=Z#'0101'B", "cn=a,o=z#'0101'B", true},
        {Rule::kObjectIdentifier, "person", "2.5.6.6", true},
        {Rule::kObjectIdentifier, "cn", "2.5.4.3", true},
        {Rule::kCaseIgnoreList, "1 Main St $ Springfield", "1 main st$springfield", true},
        {Rule::kOctetString, "Secret", "secret", false},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(same(cases[i].rule, cases[i].a, cases[i].b), cases[i].equal);
    }
}

TEST(MatchingRules, RefusesValuesOutsideTheSyntax) {
    struct Case {
        Rule rule;
        const char* value;
    } cases[] = {
        {Rule::kInteger, "12a"},
        {Rule::kInteger, ""},
        {Rule::kInteger, "-"},
        {Rule::kBoolean, "true"},
        {Rule::kGeneralizedTime, "2024"},
        {Rule::kGeneralizedTime, "20241301000000Z"},
        {Rule::kGeneralizedTime, "20240101000000"},
        {Rule::kNumericString, "12-34"},
        {Rule::kTelephone, "555#0100"},
        {Rule::kCaseIgnoreIA5, "élodie"},
        {Rule::kCaseIgnore, ""},
        {Rule::kDistinguishedName, "no equals sign"},
        {Rule::kObjectIdentifier, "1..2"},
        {Rule::kNone, "anything"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        std::string out;
        EXPECT_FALSE(normalize(cases[i].rule, cases[i].value, schema(), out));
    }
}

TEST(MatchingRules, OrdersIntegersAsNumbersAndTimesChronologically) {
    auto order = [](Rule rule, const char* a, const char* b) {
        std::string na, nb;
        EXPECT_TRUE(normalize(rule, a, schema(), na));
        EXPECT_TRUE(normalize(rule, b, schema(), nb));
        return compareNormalized(rule, na, nb);
    };
    EXPECT_LT(order(Rule::kInteger, "9", "10"), 0);
    EXPECT_LT(order(Rule::kInteger, "-10", "-9"), 0);
    EXPECT_LT(order(Rule::kInteger, "-1", "0"), 0);
    EXPECT_GT(order(Rule::kInteger, "100000000000000000000", "99999999999999999999"), 0);
    EXPECT_EQ(order(Rule::kInteger, "007", "7"), 0);
    EXPECT_LT(order(Rule::kGeneralizedTime, "20240101000000.25Z", "20240101000000.5Z"), 0);
    EXPECT_GT(order(Rule::kGeneralizedTime, "20240101010000+0030", "20240101000000Z"), 0);
    EXPECT_LT(order(Rule::kCaseIgnore, "apple", "Banana"), 0);
}

TEST(MatchingRules, RulesAreFoundByNameOrOid) {
    EXPECT_EQ(dirschema::ruleNamed("CASEIGNOREMATCH"), Rule::kCaseIgnore);
    EXPECT_EQ(dirschema::ruleNamed("2.5.13.15"), Rule::kInteger);
    EXPECT_EQ(dirschema::ruleNamed("caseIgnoreIA5SubstringsMatch"), Rule::kCaseIgnoreIA5);
    EXPECT_EQ(dirschema::ruleNamed("certificateExactMatch"), Rule::kNone);
}

TEST(TextFold, LowerCasesBeyondAsciiAndKeepsInvalidBytes) {
    EXPECT_EQ(dirschema::foldCodePoint(0xC9), 0xE9u);    // É
    EXPECT_EQ(dirschema::foldCodePoint(0x178), 0xFFu);   // Ÿ
    EXPECT_EQ(dirschema::foldCodePoint(0x3A3), 0x3C3u);  // Σ
    EXPECT_EQ(dirschema::foldCodePoint(0x401), 0x451u);  // Ё
    EXPECT_EQ(dirschema::foldCodePoint(0x101), 0x101u);  // already lower
    EXPECT_EQ(dirschema::foldCodePoint(0xD7), 0xD7u);    // ×, not a letter
    std::string out;
    dirschema::prepareText("\t A\xff\xc3  B ", true, out);
    EXPECT_EQ(out, "a\xff\xc3 b");
}

}  // namespace
