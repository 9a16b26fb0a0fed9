#ifndef DIRCLIENT_LDAP_RESPONSE_CACHE_H
#define DIRCLIENT_LDAP_RESPONSE_CACHE_H

#include "dirclient_export.h"

#include <ldap.h>

// The response cache of a plain LDAP session (one opened by the directory handle, or any
// LDAP* used through this library): repeated search and compare requests are answered from
// memory for "timeout" seconds. Answers are accounted in encoded bytes; "maxmem" is the
// memory limit (below 222, no limit). Server-list sessions have the same calls under
// ldap_cext_*. A session using the cache must be closed through this library.

#ifdef __cplusplus
extern "C" {
#endif

// Creates or re-configures and enables the cache; 0, or -1 when it cannot be allocated
// (the session's error becomes 90). A zero "maxmem" on an existing cache only empties it.
DIRCLIENT_API int ldap_enable_cache(LDAP* ld, long timeout, long maxmem);

// Stops lookups and additions; the contents are kept until enabled again.
DIRCLIENT_API void ldap_disable_cache(LDAP* ld);

// Bit 2 (value 2): keep answers whatever their result code.
DIRCLIENT_API void ldap_set_cache_options(LDAP* ld, unsigned long options);

// Removes every pending request and cached answer; the settings stay.
DIRCLIENT_API void ldap_flush_cache(LDAP* ld);

// Empties and removes the cache.
DIRCLIENT_API void ldap_destroy_cache(LDAP* ld);

// Removes what was cached for the request "msgid".
DIRCLIENT_API void ldap_uncache_request(LDAP* ld, int msgid);

// Removes every cached answer whose request names "dn" or which holds the entry "dn".
DIRCLIENT_API void ldap_uncache_entry(LDAP* ld, const char* dn);

#ifdef __cplusplus
}
#endif

#endif
