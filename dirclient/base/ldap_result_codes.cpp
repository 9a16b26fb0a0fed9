#include "ldap_result_codes.h"

#include <ldap.h>

#include "call_activity.h"

namespace {
// The classic client-side codes 81..97 and OpenLDAP's -1..-17 name the same conditions
// in the same order.
constexpr int kClassicClientBase = 80;
constexpr int kFirstClassicClientCode = 81;
constexpr int kLastClassicClientCode = 97;
}  // namespace

extern "C" int qdx_ldap_classic_code(int openldap_code) {
    if (openldap_code < 0 && openldap_code >= kClassicClientBase - kLastClassicClientCode)
        return kClassicClientBase - openldap_code;
    return openldap_code;
}

extern "C" int qdx_ldap_openldap_code(int classic_code) {
    if (classic_code >= kFirstClassicClientCode && classic_code <= kLastClassicClientCode)
        return kClassicClientBase - classic_code;
    return classic_code;
}

extern "C" char* qdx_ldap_err2string(int code) {
    dirclient::ldapaccess::CallActivity activity("ldap_err2string");
    return ldap_err2string(qdx_ldap_openldap_code(code));
}
