#include "ldap_filter_encoder.h"

#include <gtest/gtest.h>

#include <string>

#include "ldap_message_codec.h"

namespace dirclient::ldapaccess {
namespace {

// The BER of a filter in hex, or "invalid".
std::string encoded(const std::string& filter) {
    BerPtr ber(ber_alloc_t(LBER_USE_DER));
    if (!encode_filter(ber.get(), filter)) return "invalid";
    berval flat{};
    ber_flatten2(ber.get(), &flat, 0);
    std::string hex;
    char digits[3];
    for (ber_len_t i = 0; i < flat.bv_len; ++i) {
        std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(flat.bv_val[i]));
        hex += digits;
    }
    return hex;
}

TEST(FilterEncoder, EncodesEveryFilterChoice) {
    struct Row {
        const char* filter;
        const char* hex;
    } rows[] = {
        {"(cn=abc)", "a3090402636e0403616263"},
        {"cn=abc", "a3090402636e0403616263"},  // classic form without parentheses
        {"  (cn=abc) ", "a3090402636e0403616263"},
        {"(cn=*)", "8702636e"},
        {"(sn>=m)", "a5070402736e04016d"},
        {"(sn<=m)", "a6070402736e04016d"},
        {"(sn~=m)", "a8070402736e04016d"},
        {"(cn=a*b*c)", "a40f0402636e3009800161810162820163"},
        {"(cn=*b*)", "a4090402636e3003810162"},
        {"(cn=a*)", "a4090402636e3003800161"},
        {"(cn=\\2a)", "a3070402636e04012a"},
        {"(cn=\\28x\\29)", "a3090402636e0403287829"},
        {"(cn=a\\*)", "a3080402636e0402612a"},  // old escaping of a single character
        {"(&(a=1)(!(b=2)))",
         "a012a30604016104013"
         "1a208a306040162040132"},
        {"(|(a=1)(b=2))",
         "a110a30604016104013"
         "1a306040162040132"},
        {"(cn:dn:2.5.13.2:=x)",
         "a914810832"
         "2e352e31332e32820263"
         "6e8301788401ff"},
        {"(:caseExactMatch:=x)",
         "a913810e636173654578616374"
         "4d617463688301"
         "78"},
        {"(cn;lang-en=x)", "a30f040a636e3b6c616e672d656e040178"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(encoded(rows[i].filter), rows[i].hex) << rows[i].filter;
    }
}

TEST(FilterEncoder, RefusesWhatIsNotAFilter) {
    const char* bad[] = {"",         "   ",      "(",       "(cn=a",       "(&)",
                         "((cn=a))", "(=a)",     "(cn=a)x", "(cn=a\\)",    "(c n=a)",
                         "(!)",      "(cn:=x)x", "(:=x)",   "(cn:x:y:=v)", "(cn:r:dn:=v)"};
    for (const char* filter : bad)
        EXPECT_EQ(encoded(filter), "invalid") << filter;
}

TEST(FilterEncoder, DeepNestingIsRefusedNotOverflowed) {
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "(!";
    deep += "(a=b)";
    for (int i = 0; i < 100000; ++i)
        deep += ")";
    EXPECT_EQ(encoded(deep), "invalid");
}

}  // namespace
}  // namespace dirclient::ldapaccess
