#include "ldap_result_codes.h"

#include <gtest/gtest.h>
#include <ldap.h>

#include <string>

TEST(LdapResultCodes, MapsOpenLdapClientCodesToClassicNumbers) {
    EXPECT_EQ(qdx_ldap_classic_code(LDAP_SERVER_DOWN), 81);
    EXPECT_EQ(qdx_ldap_classic_code(LDAP_NO_MEMORY), 90);
    EXPECT_EQ(qdx_ldap_classic_code(LDAP_CONNECT_ERROR), 91);
    EXPECT_EQ(qdx_ldap_classic_code(LDAP_NOT_SUPPORTED), 92);
    EXPECT_EQ(qdx_ldap_classic_code(LDAP_REFERRAL_LIMIT_EXCEEDED), 97);
}

TEST(LdapResultCodes, LeavesServerCodesAndUnknownNegativesAlone) {
    EXPECT_EQ(qdx_ldap_classic_code(0), 0);
    EXPECT_EQ(qdx_ldap_classic_code(LDAP_NO_SUCH_OBJECT), 32);
    EXPECT_EQ(qdx_ldap_classic_code(LDAP_OTHER), 80);
    EXPECT_EQ(qdx_ldap_classic_code(-18), -18);
    EXPECT_EQ(qdx_ldap_openldap_code(80), 80);
    EXPECT_EQ(qdx_ldap_openldap_code(98), 98);
}

TEST(LdapResultCodes, RoundTripsEveryClientCode) {
    for (int classic = 81; classic <= 97; ++classic) {
        SCOPED_TRACE(classic);
        EXPECT_LT(qdx_ldap_openldap_code(classic), 0);
        EXPECT_EQ(qdx_ldap_classic_code(qdx_ldap_openldap_code(classic)), classic);
    }
}

TEST(LdapResultCodes, Err2StringSpeaksOfTheClassicCode) {
    EXPECT_EQ(std::string(qdx_ldap_err2string(81)), ldap_err2string(LDAP_SERVER_DOWN));
    EXPECT_EQ(std::string(qdx_ldap_err2string(32)), ldap_err2string(LDAP_NO_SUCH_OBJECT));
    EXPECT_NE(qdx_ldap_err2string(12345), nullptr);
}
