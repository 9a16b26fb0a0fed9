#ifndef DIRCLIENT_LDAP_MEMORY_CALLS_H
#define DIRCLIENT_LDAP_MEMORY_CALLS_H

#include "dirclient_export.h"

// Releasing what the LDAP calls of a directory handle hand out. These take no handle; each
// is measured as the profiling activity of the classic call it stands for ("ldap_msgfree",
// ...), ended by stopping "ldap32".

struct berval;
typedef struct ldapmsg LDAPMessage;

#ifdef __cplusplus
extern "C" {
#endif

// Releases a null-terminated array of values read with qdx_ldap_get_values_len; null is
// ignored.
DIRCLIENT_API void qdx_ldap_value_free_len(struct berval** values);

// Releases a DN or an attribute name handed out by the LDAP calls; null is ignored.
DIRCLIENT_API void qdx_ldap_memfree(void* block);

// Releases a chain of messages, from the server or served by the response cache; returns
// the type of its last message, 0 for null. Never release them with libldap's ldap_msgfree.
DIRCLIENT_API int qdx_ldap_msgfree(LDAPMessage* message);

#ifdef __cplusplus
}
#endif

#endif
