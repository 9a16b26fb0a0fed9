#ifndef DIRCLIENT_LDAP_CEXT_CALLS_H
#define DIRCLIENT_LDAP_CEXT_CALLS_H

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
int ldap_cext_add(LDAP_CEXT* s, const char* dn, LDAPMod** attrs);
int ldap_cext_add_s(LDAP_CEXT* s, const char* dn, LDAPMod** attrs);
int ldap_cext_compare(LDAP_CEXT* s, const char* dn, const char* attr, const char* value);
int ldap_cext_delete(LDAP_CEXT* s, const char* dn);
int ldap_cext_delete_s(LDAP_CEXT* s, const char* dn);
int ldap_cext_modify(LDAP_CEXT* s, const char* dn, LDAPMod** mods);
int ldap_cext_modify_s(LDAP_CEXT* s, const char* dn, LDAPMod** mods);
int ldap_cext_modrdn(LDAP_CEXT* s, const char* dn, const char* newrdn);
int ldap_cext_modrdn_s(LDAP_CEXT* s, const char* dn, const char* newrdn);
int ldap_cext_modrdn2(LDAP_CEXT* s, const char* dn, const char* newrdn, int deleteoldrdn);
int ldap_cext_modrdn2_s(LDAP_CEXT* s, const char* dn, const char* newrdn, int deleteoldrdn);

// Results: the message type, 0 on time-out, -1 on error (ldap_cext_get_lderrno).
int ldap_cext_result(LDAP_CEXT* s, int msgid, int all, struct timeval* timeout,
                     LDAPMessage** result);
int ldap_cext_result2error(LDAP_CEXT* s, LDAPMessage* result, int freeit);
int ldap_cext_msgdelete(LDAP_CEXT* s, int msgid);
void ldap_cext_perror(LDAP_CEXT* s, const char* text);
LDAPMessage* ldap_cext_first_entry(LDAP_CEXT* s, LDAPMessage* chain);
LDAPMessage* ldap_cext_next_entry(LDAP_CEXT* s, LDAPMessage* entry);
int ldap_cext_count_entries(LDAP_CEXT* s, LDAPMessage* chain);
char* ldap_cext_get_dn(LDAP_CEXT* s, LDAPMessage* entry);
char* ldap_cext_first_attribute(LDAP_CEXT* s, LDAPMessage* entry, BerElement** ber);
char* ldap_cext_next_attribute(LDAP_CEXT* s, LDAPMessage* entry, BerElement* ber);
char** ldap_cext_get_values(LDAP_CEXT* s, LDAPMessage* entry, const char* attr);
struct berval** ldap_cext_get_values_len(LDAP_CEXT* s, LDAPMessage* entry, const char* attr);
int ldap_cext_sort_entries(LDAP_CEXT* s, LDAPMessage** chain, const char* attr,
                           LDAP_CEXT_ENTRY_CMP cmp);
int ldap_cext_sort_values(LDAP_CEXT* s, char** values, LDAP_CEXT_VALUE_CMP cmp);

// The response cache of the session (see ldap_response_cache.h); it moves with the session
// on fail-over, with its contents when the new server is the same.
int ldap_cext_enable_cache(LDAP_CEXT* s, long timeout, long maxmem);
void ldap_cext_disable_cache(LDAP_CEXT* s);
void ldap_cext_set_cache_options(LDAP_CEXT* s, unsigned long options);
void ldap_cext_destroy_cache(LDAP_CEXT* s);
void ldap_cext_flush_cache(LDAP_CEXT* s);
void ldap_cext_uncache_entry(LDAP_CEXT* s, const char* dn);
void ldap_cext_uncache_request(LDAP_CEXT* s, int msgid);

// User-friendly names (not supported: 92 or nothing) and URL searches.
int ldap_cext_ufn_search_c(LDAP_CEXT* s, char* ufn, char** attrs, int attrsonly,
                           LDAPMessage** result, LDAP_CEXT_CANCEL_PROC cancel, void* param);
int ldap_cext_ufn_search_ct(LDAP_CEXT* s, char* ufn, char** attrs, int attrsonly,
                            LDAPMessage** result, LDAP_CEXT_CANCEL_PROC cancel, void* param,
                            char* tag1, char* tag2, char* tag3);
int ldap_cext_ufn_search_s(LDAP_CEXT* s, char* ufn, char** attrs, int attrsonly,
                           LDAPMessage** result);
LDAP_CEXT_FILTER_DESC* ldap_cext_ufn_setfilter(LDAP_CEXT* s, char* fname);
void ldap_cext_ufn_setprefix(LDAP_CEXT* s, char* prefix);
// Searches described by an LDAP URL (base, scope, filter, attributes; host and port ignored).
int ldap_cext_url_search(LDAP_CEXT* s, const char* url, int attrsonly);
int ldap_cext_url_search_s(LDAP_CEXT* s, const char* url, int attrsonly, LDAPMessage** result);
int ldap_cext_url_search_st(LDAP_CEXT* s, const char* url, int attrsonly,
                            struct timeval* timeout, LDAPMessage** result);

// T.61 character translation (not supported).
void ldap_cext_set_string_translators(LDAP_CEXT* s, LDAP_CEXT_TRANSLATE_PROC encode,
                                      LDAP_CEXT_TRANSLATE_PROC decode);
int ldap_cext_translate_from_t61(LDAP_CEXT* s, char** bufp, unsigned long* lenp,
                                 int free_input);
int ldap_cext_translate_to_t61(LDAP_CEXT* s, char** bufp, unsigned long* lenp, int free_input);
void ldap_cext_enable_translation(LDAP_CEXT* s, LDAPMessage* entry, int enable);

// Session-free calls.
char* ldap_cext_err2string(int code);
int ldap_cext_msgfree(LDAPMessage* message);
LDAPMessage* ldap_cext_delete_result_entry(LDAPMessage** list, LDAPMessage* entry);
void ldap_cext_add_result_entry(LDAPMessage** list, LDAPMessage* entry);
char* ldap_cext_dn2ufn(const char* dn);
char** ldap_cext_explode_dn(const char* dn, int notypes);
// A DNS-style name ("host.example.com", "user@example.com") split at '.' and '@'; release
// with ldap_cext_value_free.
char** ldap_cext_explode_dns(const char* dn);
// 1 for a DNS-style name: not empty, no '=' and no ','.
int ldap_cext_is_dns_dn(const char* dn);
int ldap_cext_count_values(char** values);
int ldap_cext_count_values_len(struct berval** values);
void ldap_cext_value_free(char** values);
void ldap_cext_value_free_len(struct berval** values);
void ldap_cext_memfree(void* p);
void ldap_cext_ufn_timeout(void* tvparam);
LDAP_CEXT_FILTER_DESC* ldap_cext_init_getfilter(char* fname);
LDAP_CEXT_FILTER_DESC* ldap_cext_init_getfilter_buf(char* buf, long buflen);
LDAP_CEXT_FILTER_INFO* ldap_cext_getfirstfilter(LDAP_CEXT_FILTER_DESC* lfdp, char* tagpat,
                                                char* value);
LDAP_CEXT_FILTER_INFO* ldap_cext_getnextfilter(LDAP_CEXT_FILTER_DESC* lfdp);
void ldap_cext_setfilteraffixes(LDAP_CEXT_FILTER_DESC* lfdp, char* prefix, char* suffix);
// Not supported: writes an empty filter when "buf" has room.
void ldap_cext_build_filter(char* buf, unsigned long buflen, char* pattern, char* prefix,
                            char* suffix, char* attr, char* value, char** valwords);
void ldap_cext_getfilter_free(LDAP_CEXT_FILTER_DESC* lfdp);
void ldap_cext_mods_free(LDAPMod** mods, int freemods);
char* ldap_cext_friendly_name(char* filename, char* name, LDAP_CEXT_FRIENDLY_MAP** map);
void ldap_cext_free_friendlymap(LDAP_CEXT_FRIENDLY_MAP** map);
int ldap_cext_sort_strcasecmp(const void* a, const void* b);
int ldap_cext_is_ldap_url(const char* url);
int ldap_cext_url_parse(const char* url, LDAPURLDesc** description);
void ldap_cext_free_urldesc(LDAPURLDesc* description);

#ifdef __cplusplus
}
#endif

#endif
