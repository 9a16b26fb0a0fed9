#ifndef DIRCLIENT_LDAP_MEMORY_CALLS_H
#define DIRCLIENT_LDAP_MEMORY_CALLS_H

// Release calls of the LDAP library that take no session handle. Every block the LDAP
// library hands out goes back through these.

struct berval;
typedef struct ldapmsg LDAPMessage;

#ifdef __cplusplus
extern "C" {
#endif

// Releases a null-terminated array of values read with ldap_get_values_len; null is ignored.
void qdx_ldap_value_free_len(struct berval** values);

// Releases a block the LDAP library allocated (a DN, an attribute name); null is ignored.
void qdx_ldap_memfree(void* block);

// Releases a chain of messages; returns the type of the last one, or 0 for null.
int qdx_ldap_msgfree(LDAPMessage* message);

#ifdef __cplusplus
}
#endif

#endif
