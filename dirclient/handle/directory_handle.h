#ifndef DIRCLIENT_DIRECTORY_HANDLE_H
#define DIRCLIENT_DIRECTORY_HANDLE_H

#include "dirclient_export.h"

// The directory handle: one record that holds whichever back end a host string names, a
// plain LDAP session, a server-list session with fail-over, or a flat LDIF file. The LDAP
// calls on a handle are the qdx_ldap_* functions of ldap_handle_calls.h.

#ifdef __cplusplus
extern "C" {
#endif

// Kinds of back end.
#define QDX_LDAP_PLAIN 1       /* session: LDAP* */
#define QDX_LDAP_SERVER_LIST 2 /* session: LDAP_CEXT* (ldap_cext.h) */
#define QDX_LDAP_FLAT_FILE 3   /* session: FFConnection* */

typedef struct DS_LDAP {
    int kind;       // QDX_LDAP_PLAIN, QDX_LDAP_SERVER_LIST or QDX_LDAP_FLAT_FILE
    void* session;  // the back end, owned by the handle until qdx_ldap_unbind
} DS_LDAP;

// Opens the back end that "host" names and returns a new handle (a check_malloc block,
// released with check_free after qdx_ldap_unbind), or null when it cannot be opened.
// Prefixes are compared without regard to case:
//   "DNS:name[/...]"  server list from the TXT record of "name" (empty: the default name);
//                     "name" also becomes the DNS name (setDNSName); "host" is not written
//   "DNS-SRV:domain[/...]"  server list from the SRV records "_ldap._tcp.domain", by
//                     priority and weighted random order within one (RFC 2782)
//   "LDAP://..."      server list: LDAP URLs separated by ';', each with its own port
//   "LDAPS://..."     the same; the list may mix LDAP and LDAPS URLs
//   "FILE:///path"    flat LDIF file
//   anything else     plain session on "host" (a host name, "host:port", or null for
//                     localhost) and "port" (0: 389)
// Unreachable servers are passed over within the network time-out (QDX_NETWORK_TIMEOUT).
DIRCLIENT_API DS_LDAP* qdx_ldap_open(const char* host, int port);

// qdx_ldap_open with StartTLS on the LDAP connections: 0 off, 1 try (go on in clear when
// the server refuses), 2 demand (fail; no bind is ever sent in clear), -1 as QDX_STARTTLS
// says. "LDAPS://" servers use TLS from the first byte either way. When the open fails
// for a TLS reason, qdx_ldap_open_failure tells it.
DIRCLIENT_API DS_LDAP* qdx_ldap_open_tls(const char* host, int port, int starttls);

// Why the last qdx_ldap_open on this thread failed, when libldap could tell (a failed TLS
// handshake or certificate check: its diagnostic text); "" otherwise. Valid until the
// next open on the thread.
DIRCLIENT_API const char* qdx_ldap_open_failure(void);

// StartTLS on an open LDAP handle (0, 1, 2 as above): a connection in clear is encrypted at
// once, and a server list encrypts every later connection. 0 or a classic result code; 0
// without effect for a flat file.
DIRCLIENT_API int qdx_ldap_set_starttls(DS_LDAP* handle, int starttls);

// The response time-out (seconds) of an LDAP handle: a server silent that long while
// answers are owed is taken as dead (a server list moves on). Until set,
// QDX_RESPONSE_TIMEOUT, 30 s by default. 89 for a value that is not positive; 0 without
// effect for a flat file.
DIRCLIENT_API int qdx_ldap_set_response_timeout(DS_LDAP* handle, double seconds);

// Closes the back end but not the record. Kinds 1 and 2: the result code of the unbind;
// kind 3: 1 when writing the file back failed, else 0. The back end is released on every
// path and "session" cleared, so a second call returns 89; so does a null handle.
DIRCLIENT_API int qdx_ldap_unbind(DS_LDAP* handle);

// The idle time-out of a server-list session (ldap_cext_set_timeout); 0 and nothing done
// for the other kinds.
DIRCLIENT_API int qdx_ldap_set_timeout(DS_LDAP* handle, long timeout);

// The result code of the last request on an LDAP handle (kind 1 or 2): the code of a
// failed call or of the last answer read with qdx_ldap_result2error. 89 for other handles.
DIRCLIENT_API int qdx_ldap_get_lderrno(DS_LDAP* handle);

// Sets the time limit (seconds) and size limit (entries) the server is asked to apply to
// later searches of an LDAP handle; 0 is no limit, and so is a negative value. A server
// list keeps them across fail-overs. 0, or 89 for other handles.
DIRCLIENT_API int qdx_ldap_set_limits(DS_LDAP* handle, int timelimit, int sizelimit);

#ifdef __cplusplus
}
#endif

#endif
