#ifndef DIRCLIENT_LDAP_HANDLE_CALLS_H
#define DIRCLIENT_LDAP_HANDLE_CALLS_H

#include "dirclient_export.h"

#include <sys/time.h>

#include <ldap.h>

#include "directory_handle.h"
#include "ldap_memory_calls.h"

// The LDAP calls of a directory handle. Each one takes the server-list form of the call
// (ldap_cext_*, with fail-over where marked) for a server-list handle and the classic call
// on our plain session otherwise, and is measured as the profiling activity named after
// the classic call ("ldap_search_s", ...), ended by stopping "ldap32", the composite under
// which a host program declares them.
//
// Only LDAP handles (kinds 1 and 2) are served: a null handle, a closed one, or a flat-file
// handle is refused without being touched (-1, 89 or null, as the call's failure reads).
// A plain handle must not be used by two threads at once; a server-list handle may be.
// Result codes are classic numbers (81 server down, ..., 92 not supported). Messages are
// released with qdx_ldap_msgfree, DNs and attribute names with qdx_ldap_memfree, value
// arrays with qdx_ldap_value_free_len, and the BerElement of the attribute walk with
// ber_free(ber, 0).

#ifdef __cplusplus
extern "C" {
#endif

// Requests: the message identifier or -1 (see qdx_ldap_get_lderrno); the _s forms return
// the result code. A null DN, RDN, attribute or value is refused with 89.
DIRCLIENT_API int qdx_ldap_add(DS_LDAP* handle, const char* dn, LDAPMod** mods);
DIRCLIENT_API int qdx_ldap_add_s(DS_LDAP* handle, const char* dn, LDAPMod** mods);
DIRCLIENT_API int qdx_ldap_delete(DS_LDAP* handle, const char* dn);
DIRCLIENT_API int qdx_ldap_delete_s(DS_LDAP* handle, const char* dn);
DIRCLIENT_API int qdx_ldap_modify(DS_LDAP* handle, const char* dn, LDAPMod** mods);
DIRCLIENT_API int qdx_ldap_modify_s(DS_LDAP* handle, const char* dn, LDAPMod** mods);
DIRCLIENT_API int qdx_ldap_modrdn2(DS_LDAP* handle, const char* dn, const char* newrdn,
                                   int deleteoldrdn);
DIRCLIENT_API int qdx_ldap_modrdn2_s(DS_LDAP* handle, const char* dn, const char* newrdn,
                                     int deleteoldrdn);

// Simple binds. The synchronous form fails over on a server list and keeps the credentials
// for re-binding there.
DIRCLIENT_API int qdx_ldap_simple_bind(DS_LDAP* handle, const char* dn, const char* password);
DIRCLIENT_API int qdx_ldap_simple_bind_s(DS_LDAP* handle, const char* dn, const char* password);

// 6 (compare true), 5 (compare false) or the failure's code; fails over on a server list.
DIRCLIENT_API int qdx_ldap_compare_s(DS_LDAP* handle, const char* dn, const char* attribute,
                                     const char* value);

// Asynchronous search on the current server, without recording or fail-over.
DIRCLIENT_API int qdx_ldap_search(DS_LDAP* handle, const char* base, int scope, const char* filter,
                                  char** attrs, int attrsonly);
// Synchronous search; fails over on a server list. "*result" receives the answer, also
// with most failures (size or time limit exceeded), and is null otherwise.
DIRCLIENT_API int qdx_ldap_search_s(DS_LDAP* handle, const char* base, int scope,
                                    const char* filter, char** attrs, int attrsonly,
                                    LDAPMessage** result);

// The response cache of the session (ldap_response_cache.h): 0, or non-zero when it cannot
// be allocated. Disabling keeps the contents and is not measured.
DIRCLIENT_API int qdx_ldap_enable_cache(DS_LDAP* handle, long timeout, long maxmem);
DIRCLIENT_API void qdx_ldap_disable_cache(DS_LDAP* handle);

// Waits for the answer to "msgid" (-1: any) for at most "timeout" (null: no limit); with
// "all" 1 a search answer arrives whole. The type of the first message of "*result", 0 when
// the time ran out, -1 on failure (qdx_ldap_get_lderrno).
DIRCLIENT_API int qdx_ldap_result(DS_LDAP* handle, int msgid, int all, struct timeval* timeout,
                                  LDAPMessage** result);
// The result code the answer carries; "freeit" non-zero also releases it.
DIRCLIENT_API int qdx_ldap_result2error(DS_LDAP* handle, LDAPMessage* msg, int freeit);

// Reading an answer. Entries and attribute names belong to the answer; the DN and names
// returned are copies.
DIRCLIENT_API int qdx_ldap_count_entries(DS_LDAP* handle, LDAPMessage* result);
DIRCLIENT_API LDAPMessage* qdx_ldap_first_entry(DS_LDAP* handle, LDAPMessage* result);
DIRCLIENT_API LDAPMessage* qdx_ldap_next_entry(DS_LDAP* handle, LDAPMessage* entry);
DIRCLIENT_API char* qdx_ldap_get_dn(DS_LDAP* handle, LDAPMessage* entry);
DIRCLIENT_API char* qdx_ldap_first_attribute(DS_LDAP* handle, LDAPMessage* entry, BerElement** ber);
DIRCLIENT_API char* qdx_ldap_next_attribute(DS_LDAP* handle, LDAPMessage* entry, BerElement* ber);
DIRCLIENT_API struct berval** qdx_ldap_get_values_len(DS_LDAP* handle, LDAPMessage* entry,
                                                      const char* attribute);

// The message identifier the caller knows "msg" under (the one its request returned, also
// for an answer taken with -1, served from the cache or received after a fail-over); -1
// for null.
DIRCLIENT_API int qdx_ldap_msgid(LDAPMessage* msg);

#ifdef __cplusplus
}
#endif

#endif
