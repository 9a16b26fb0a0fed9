#ifndef DIRCLIENT_LDAP_RESULT_CODES_H
#define DIRCLIENT_LDAP_RESULT_CODES_H

#include "dirclient_export.h"

// LDAP result codes at the product's API use the classic client numbering: client-side
// conditions are 81 (server down) to 97 (referral limit exceeded). The OpenLDAP client
// library reports the same conditions as -1 to -17. Every result code that comes out of
// OpenLDAP passes through qdx_ldap_classic_code before a caller, a fail-over decision or a
// DException sees it; qdx_ldap_openldap_code maps back where OpenLDAP needs its own number.

#ifdef __cplusplus
extern "C" {
#endif

// The classic client-side codes the library itself reports.
#define QDX_LDAP_SERVER_DOWN 81
#define QDX_LDAP_TIMEOUT 85
#define QDX_LDAP_FILTER_ERROR 87
#define QDX_LDAP_PARAM_ERROR 89
#define QDX_LDAP_CONNECT_ERROR 91
#define QDX_LDAP_NO_MEMORY 90
#define QDX_LDAP_CONNECT_ERROR 91
#define QDX_LDAP_NOT_SUPPORTED 92
// The rest of the classic client-side range, named where the library decides on them.
#define QDX_LDAP_LOCAL_ERROR 82
#define QDX_LDAP_ENCODING_ERROR 83
#define QDX_LDAP_DECODING_ERROR 84
#define QDX_LDAP_REFERRAL_LIMIT_EXCEEDED 97

// Server result codes (the same numbers in both numberings) the library reports itself.
#define QDX_LDAP_SUCCESS 0
#define QDX_LDAP_OPERATIONS_ERROR 1
#define QDX_LDAP_NO_SUCH_ATTRIBUTE 16
#define QDX_LDAP_INAPPROPRIATE_MATCHING 18
#define QDX_LDAP_TYPE_OR_VALUE_EXISTS 20
#define QDX_LDAP_NO_SUCH_OBJECT 32
#define QDX_LDAP_NOT_ALLOWED_ON_NONLEAF 66
#define QDX_LDAP_ALREADY_EXISTS 68

// Classic number of an OpenLDAP result code; codes 0 and above pass unchanged.
DIRCLIENT_API int qdx_ldap_classic_code(int openldap_code);

// OpenLDAP number of a classic result code; other codes pass unchanged.
DIRCLIENT_API int qdx_ldap_openldap_code(int classic_code);

// The LDAP library's text for a classic result code; a static text, never null.
DIRCLIENT_API char* qdx_ldap_err2string(int code);

#ifdef __cplusplus
}
#endif

#endif
