#ifndef DIRCLIENT_LDAP_CEXT_CALLS_H
#define DIRCLIENT_LDAP_CEXT_CALLS_H

#include "dirclient_export.h"

#include <sys/time.h>

#include <ldap.h>

#include "ldap_cext.h"

// The classic LDAP client calls on a server-list session. Each takes the session where the
// classic call takes its LDAP*, holds the session mutex so that it never overlaps a
// fail-over or the idle timer's close, and otherwise behaves as the classic call (result
// codes are classic numbers). The session-free calls take no lock. Calls that the installed
// OpenLDAP no longer offers either have small implementations here (URL searches, DNS-style
// names) or answer 92 (not supported) or null without touching the session.

#ifdef __cplusplus
extern "C" {
#endif

// Opaque records of the retired filter-configuration and friendly-name calls.
typedef struct ldap_cext_filter_desc LDAP_CEXT_FILTER_DESC;
typedef struct ldap_cext_filter_info LDAP_CEXT_FILTER_INFO;
typedef struct ldap_cext_friendly_map LDAP_CEXT_FRIENDLY_MAP;
typedef int (*LDAP_CEXT_CANCEL_PROC)(void* param);
typedef int (*LDAP_CEXT_TRANSLATE_PROC)(char** bufp, ber_len_t* buflenp, int free_input);
typedef int (*LDAP_CEXT_ENTRY_CMP)(const char* left, const char* right);
typedef int (*LDAP_CEXT_VALUE_CMP)(const void* left, const void* right);

// Requests: message identifier (or -1), or result code for the _s forms.
DIRCLIENT_API int ldap_cext_add(LDAP_CEXT* s, const char* dn, LDAPMod** attrs);
DIRCLIENT_API int ldap_cext_add_s(LDAP_CEXT* s, const char* dn, LDAPMod** attrs);
DIRCLIENT_API int ldap_cext_compare(LDAP_CEXT* s, const char* dn, const char* attr,
                                    const char* value);
DIRCLIENT_API int ldap_cext_delete(LDAP_CEXT* s, const char* dn);
DIRCLIENT_API int ldap_cext_delete_s(LDAP_CEXT* s, const char* dn);
DIRCLIENT_API int ldap_cext_modify(LDAP_CEXT* s, const char* dn, LDAPMod** mods);
DIRCLIENT_API int ldap_cext_modify_s(LDAP_CEXT* s, const char* dn, LDAPMod** mods);
DIRCLIENT_API int ldap_cext_modrdn(LDAP_CEXT* s, const char* dn, const char* newrdn);
DIRCLIENT_API int ldap_cext_modrdn_s(LDAP_CEXT* s, const char* dn, const char* newrdn);
DIRCLIENT_API int ldap_cext_modrdn2(LDAP_CEXT* s, const char* dn, const char* newrdn,
                                    int deleteoldrdn);
DIRCLIENT_API int ldap_cext_modrdn2_s(LDAP_CEXT* s, const char* dn, const char* newrdn,
                                      int deleteoldrdn);

// Results: the message type, 0 on time-out, -1 on error (ldap_cext_get_lderrno).
DIRCLIENT_API int ldap_cext_result(LDAP_CEXT* s, int msgid, int all, struct timeval* timeout,
                                   LDAPMessage** result);
DIRCLIENT_API int ldap_cext_result2error(LDAP_CEXT* s, LDAPMessage* result, int freeit);
DIRCLIENT_API int ldap_cext_msgdelete(LDAP_CEXT* s, int msgid);
DIRCLIENT_API void ldap_cext_perror(LDAP_CEXT* s, const char* text);
DIRCLIENT_API LDAPMessage* ldap_cext_first_entry(LDAP_CEXT* s, LDAPMessage* chain);
DIRCLIENT_API LDAPMessage* ldap_cext_next_entry(LDAP_CEXT* s, LDAPMessage* entry);
DIRCLIENT_API int ldap_cext_count_entries(LDAP_CEXT* s, LDAPMessage* chain);
DIRCLIENT_API char* ldap_cext_get_dn(LDAP_CEXT* s, LDAPMessage* entry);
DIRCLIENT_API char* ldap_cext_first_attribute(LDAP_CEXT* s, LDAPMessage* entry, BerElement** ber);
DIRCLIENT_API char* ldap_cext_next_attribute(LDAP_CEXT* s, LDAPMessage* entry, BerElement* ber);
DIRCLIENT_API char** ldap_cext_get_values(LDAP_CEXT* s, LDAPMessage* entry, const char* attr);
DIRCLIENT_API struct berval** ldap_cext_get_values_len(LDAP_CEXT* s, LDAPMessage* entry,
                                                       const char* attr);
DIRCLIENT_API int ldap_cext_sort_entries(LDAP_CEXT* s, LDAPMessage** chain, const char* attr,
                                         LDAP_CEXT_ENTRY_CMP cmp);
DIRCLIENT_API int ldap_cext_sort_values(LDAP_CEXT* s, char** values, LDAP_CEXT_VALUE_CMP cmp);

// The response cache of the session (see ldap_response_cache.h); it moves with the session
// on fail-over, with its contents when the new server is the same.
DIRCLIENT_API int ldap_cext_enable_cache(LDAP_CEXT* s, long timeout, long maxmem);
DIRCLIENT_API void ldap_cext_disable_cache(LDAP_CEXT* s);
DIRCLIENT_API void ldap_cext_set_cache_options(LDAP_CEXT* s, unsigned long options);
DIRCLIENT_API void ldap_cext_destroy_cache(LDAP_CEXT* s);
DIRCLIENT_API void ldap_cext_flush_cache(LDAP_CEXT* s);
DIRCLIENT_API void ldap_cext_uncache_entry(LDAP_CEXT* s, const char* dn);
DIRCLIENT_API void ldap_cext_uncache_request(LDAP_CEXT* s, int msgid);

// User-friendly names (not supported: 92 or nothing) and URL searches.
DIRCLIENT_API int ldap_cext_ufn_search_c(LDAP_CEXT* s, char* ufn, char** attrs, int attrsonly,
                                         LDAPMessage** result, LDAP_CEXT_CANCEL_PROC cancel,
                                         void* param);
DIRCLIENT_API int ldap_cext_ufn_search_ct(LDAP_CEXT* s, char* ufn, char** attrs, int attrsonly,
                                          LDAPMessage** result, LDAP_CEXT_CANCEL_PROC cancel,
                                          void* param, char* tag1, char* tag2, char* tag3);
DIRCLIENT_API int ldap_cext_ufn_search_s(LDAP_CEXT* s, char* ufn, char** attrs, int attrsonly,
                                         LDAPMessage** result);
DIRCLIENT_API LDAP_CEXT_FILTER_DESC* ldap_cext_ufn_setfilter(LDAP_CEXT* s, char* fname);
DIRCLIENT_API void ldap_cext_ufn_setprefix(LDAP_CEXT* s, char* prefix);
// Searches described by an LDAP URL (base, scope, filter, attributes; host and port ignored).
DIRCLIENT_API int ldap_cext_url_search(LDAP_CEXT* s, const char* url, int attrsonly);
DIRCLIENT_API int ldap_cext_url_search_s(LDAP_CEXT* s, const char* url, int attrsonly,
                                         LDAPMessage** result);
DIRCLIENT_API int ldap_cext_url_search_st(LDAP_CEXT* s, const char* url, int attrsonly,
                                          struct timeval* timeout, LDAPMessage** result);

// T.61 character translation (not supported).
DIRCLIENT_API void ldap_cext_set_string_translators(LDAP_CEXT* s, LDAP_CEXT_TRANSLATE_PROC encode,
                                                    LDAP_CEXT_TRANSLATE_PROC decode);
DIRCLIENT_API int ldap_cext_translate_from_t61(LDAP_CEXT* s, char** bufp, unsigned long* lenp,
                                               int free_input);
DIRCLIENT_API int ldap_cext_translate_to_t61(LDAP_CEXT* s, char** bufp, unsigned long* lenp,
                                             int free_input);
DIRCLIENT_API void ldap_cext_enable_translation(LDAP_CEXT* s, LDAPMessage* entry, int enable);

// Session-free calls.
DIRCLIENT_API char* ldap_cext_err2string(int code);
DIRCLIENT_API int ldap_cext_msgfree(LDAPMessage* message);
DIRCLIENT_API LDAPMessage* ldap_cext_delete_result_entry(LDAPMessage** list, LDAPMessage* entry);
DIRCLIENT_API void ldap_cext_add_result_entry(LDAPMessage** list, LDAPMessage* entry);
DIRCLIENT_API char* ldap_cext_dn2ufn(const char* dn);
DIRCLIENT_API char** ldap_cext_explode_dn(const char* dn, int notypes);
// A DNS-style name ("host.example.com", "user@example.com") split at '.' and '@'; release
// with ldap_cext_value_free.
DIRCLIENT_API char** ldap_cext_explode_dns(const char* dn);
// 1 for a DNS-style name: not empty, no '=' and no ','.
DIRCLIENT_API int ldap_cext_is_dns_dn(const char* dn);
DIRCLIENT_API int ldap_cext_count_values(char** values);
DIRCLIENT_API int ldap_cext_count_values_len(struct berval** values);
DIRCLIENT_API void ldap_cext_value_free(char** values);
DIRCLIENT_API void ldap_cext_value_free_len(struct berval** values);
DIRCLIENT_API void ldap_cext_memfree(void* p);
DIRCLIENT_API void ldap_cext_ufn_timeout(void* tvparam);
DIRCLIENT_API LDAP_CEXT_FILTER_DESC* ldap_cext_init_getfilter(char* fname);
DIRCLIENT_API LDAP_CEXT_FILTER_DESC* ldap_cext_init_getfilter_buf(char* buf, long buflen);
DIRCLIENT_API LDAP_CEXT_FILTER_INFO* ldap_cext_getfirstfilter(LDAP_CEXT_FILTER_DESC* lfdp,
                                                              char* tagpat, char* value);
DIRCLIENT_API LDAP_CEXT_FILTER_INFO* ldap_cext_getnextfilter(LDAP_CEXT_FILTER_DESC* lfdp);
DIRCLIENT_API void ldap_cext_setfilteraffixes(LDAP_CEXT_FILTER_DESC* lfdp, char* prefix,
                                              char* suffix);
// Not supported: writes an empty filter when "buf" has room.
DIRCLIENT_API void ldap_cext_build_filter(char* buf, unsigned long buflen, char* pattern,
                                          char* prefix, char* suffix, char* attr, char* value,
                                          char** valwords);
DIRCLIENT_API void ldap_cext_getfilter_free(LDAP_CEXT_FILTER_DESC* lfdp);
DIRCLIENT_API void ldap_cext_mods_free(LDAPMod** mods, int freemods);
DIRCLIENT_API char* ldap_cext_friendly_name(char* filename, char* name,
                                            LDAP_CEXT_FRIENDLY_MAP** map);
DIRCLIENT_API void ldap_cext_free_friendlymap(LDAP_CEXT_FRIENDLY_MAP** map);
DIRCLIENT_API int ldap_cext_sort_strcasecmp(const void* a, const void* b);
DIRCLIENT_API int ldap_cext_is_ldap_url(const char* url);
DIRCLIENT_API int ldap_cext_url_parse(const char* url, LDAPURLDesc** description);
DIRCLIENT_API void ldap_cext_free_urldesc(LDAPURLDesc* description);

#ifdef __cplusplus
}
#endif

#endif
