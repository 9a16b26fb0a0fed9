#include "ldap_result_codes.h"

#include <gtest/gtest.h>
#include <ldap.h>

#include <string>

// The classic numbers are the API's: a name must never drift from its number.
static_assert(QDX_LDAP_SERVER_DOWN == 81 && QDX_LDAP_ENCODING_ERROR == 83 &&
              QDX_LDAP_TIMEOUT == 85 && QDX_LDAP_FILTER_ERROR == 87 && QDX_LDAP_PARAM_ERROR == 89 &&
              QDX_LDAP_NO_MEMORY == 90 && QDX_LDAP_CONNECT_ERROR == 91 &&
              QDX_LDAP_NOT_SUPPORTED == 92 && QDX_LDAP_REFERRAL_LIMIT_EXCEEDED == 97);

TEST(LdapResultCodes, MapsOpenLdapClientCodesToClassicNumbers) {
    EXPECT_EQ(qdx_ldap_classic_code(LDAP_SERVER_DOWN), QDX_LDAP_SERVER_DOWN);
    EXPECT_EQ(qdx_ldap_classic_code(LDAP_NO_MEMORY), QDX_LDAP_NO_MEMORY);
    EXPECT_EQ(qdx_ldap_classic_code(LDAP_CONNECT_ERROR), QDX_LDAP_CONNECT_ERROR);
    EXPECT_EQ(qdx_ldap_classic_code(LDAP_NOT_SUPPORTED), QDX_LDAP_NOT_SUPPORTED);
    EXPECT_EQ(qdx_ldap_classic_code(LDAP_REFERRAL_LIMIT_EXCEEDED),
              QDX_LDAP_REFERRAL_LIMIT_EXCEEDED);
}

TEST(LdapResultCodes, LeavesServerCodesAndUnknownNegativesAlone) {
    EXPECT_EQ(qdx_ldap_classic_code(0), 0);
    EXPECT_EQ(qdx_ldap_classic_code(LDAP_NO_SUCH_OBJECT), LDAP_NO_SUCH_OBJECT);
    EXPECT_EQ(qdx_ldap_classic_code(LDAP_OTHER), LDAP_OTHER);
    EXPECT_EQ(qdx_ldap_classic_code(-18), -18);
    EXPECT_EQ(qdx_ldap_openldap_code(LDAP_OTHER), LDAP_OTHER);
    EXPECT_EQ(qdx_ldap_openldap_code(98), 98);
}

TEST(LdapResultCodes, RoundTripsEveryClientCode) {
    for (int classic = QDX_LDAP_SERVER_DOWN; classic <= QDX_LDAP_REFERRAL_LIMIT_EXCEEDED;
         ++classic) {
        SCOPED_TRACE(classic);
        EXPECT_LT(qdx_ldap_openldap_code(classic), 0);
        EXPECT_EQ(qdx_ldap_classic_code(qdx_ldap_openldap_code(classic)), classic);
    }
}

TEST(LdapResultCodes, Err2StringSpeaksOfTheClassicCode) {
    EXPECT_EQ(std::string(qdx_ldap_err2string(QDX_LDAP_SERVER_DOWN)),
              ldap_err2string(LDAP_SERVER_DOWN));
    EXPECT_EQ(std::string(qdx_ldap_err2string(LDAP_NO_SUCH_OBJECT)),
              ldap_err2string(LDAP_NO_SUCH_OBJECT));
    EXPECT_NE(qdx_ldap_err2string(12345), nullptr);
}
