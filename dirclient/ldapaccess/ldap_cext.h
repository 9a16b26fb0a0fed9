#ifndef DIRCLIENT_LDAP_CEXT_H
#define DIRCLIENT_LDAP_CEXT_H

#include "dirclient_export.h"

#include <sys/time.h>

#include <ldap.h>

#include "dns_discovery.h"
#include "server_list.h"

// Server-list sessions: one LDAP session that moves to the next server of a list when the
// current one fails, binding again with the stored credentials, re-sending the recorded
// searches under the identifiers their callers hold, and repeating the request. Every call
// on a session is serialised by the session's own mutex. Result codes are classic numbers
// (81 server down, ..., 92 not supported); messages returned are released with
// ldap_cext_msgfree.

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ldap_cext LDAP_CEXT;

// Fail-over flags of the calls that take them, and options of ldap_cext_open.
#define LDAP_CEXT_FAILOVER 1 /* move to another server when the current one fails */
#define LDAP_CEXT_RECORD 2   /* ldap_cext_search: record the search for re-sending */
// ldap_cext_open: StartTLS on every connection of the session, tried (go on in clear when a
// server refuses) or demanded (a server that refuses is not used). Without either the
// environment's QDX_STARTTLS holds.
#define LDAP_CEXT_STARTTLS_TRY 4
#define LDAP_CEXT_STARTTLS_DEMAND 8

// Opens a session on the first server of "hosts" (LDAP or LDAPS URLs separated by ';',
// upper-cased)
// that answers, or of the list in DNS when "hosts" is null. With options bit 1 a server that
// cannot be opened is skipped, otherwise the open fails at once. "port" is not used. Null
// when no server can be opened.
DIRCLIENT_API LDAP_CEXT* ldap_cext_open(const char* hosts, int port, int options);

// Ends the session and releases it; the result code of the unbind, 80 for a null session.
// Also forgets a DNS name set with setDNSName.
DIRCLIENT_API int ldap_cext_unbind(LDAP_CEXT* session);
DIRCLIENT_API int ldap_cext_unbind_s(LDAP_CEXT* session);

// Binds; with flags bit 1 moves to another server when the current one fails. A successful
// bind's DN, credentials and method are kept for re-binding after a fail-over. Only simple
// binds (method 128) are supported. Discards the recorded searches.
DIRCLIENT_API int ldap_cext_bind_s(LDAP_CEXT* session, const char* who, const char* credentials,
                                   int method, int flags);
DIRCLIENT_API int ldap_cext_simple_bind_s(LDAP_CEXT* session, const char* who, const char* password,
                                          int flags);
// Asynchronous bind on the current server (no fail-over, credentials not kept): the message
// identifier or -1. Discards the recorded searches.
DIRCLIENT_API int ldap_cext_bind(LDAP_CEXT* session, const char* who, const char* credentials,
                                 int method);
DIRCLIENT_API int ldap_cext_simple_bind(LDAP_CEXT* session, const char* who, const char* password);

// Synchronous search and compare, with fail-over under flags bit 1. "*result" receives the
// answer (also on most failures), released with ldap_cext_msgfree.
DIRCLIENT_API int ldap_cext_search_s(LDAP_CEXT* session, const char* base, int scope,
                                     const char* filter, char** attrs, int attrsonly,
                                     LDAPMessage** result, int flags);
DIRCLIENT_API int ldap_cext_search_st(LDAP_CEXT* session, const char* base, int scope,
                                      const char* filter, char** attrs, int attrsonly,
                                      struct timeval* timeout, LDAPMessage** result, int flags);
DIRCLIENT_API int ldap_cext_compare_s(LDAP_CEXT* session, const char* dn, const char* attr,
                                      const char* value, int flags);

// Asynchronous search: the message identifier, or -1. With flags 3 the search is recorded
// and, after a fail-over, re-sent under the same identifier until its answer is collected.
DIRCLIENT_API int ldap_cext_search(LDAP_CEXT* session, const char* base, int scope,
                                   const char* filter, char** attrs, int attrsonly, int flags);

// Forgets the recorded search "msgid", then abandons the request.
DIRCLIENT_API int ldap_cext_abandon(LDAP_CEXT* session, int msgid);

// 1 when the server's count of completed modifications ("modsCompleted" of "cn=monitor")
// moved since the last call, or the session moved to another server; 0 when unchanged; any
// other value is the result code of the failed check.
DIRCLIENT_API int ldap_cext_is_changed(LDAP_CEXT* session);

// The last "modsCompleted" value read by ldap_cext_is_changed (0 before the first).
DIRCLIENT_API long ldap_cext_get_mod_count(LDAP_CEXT* session);

// The idle time-out in seconds (at least 30; 0 stops the timer): the server connection is
// closed after that long without activity and opened again when next needed. 89 for a
// negative value, else 0.
DIRCLIENT_API int ldap_cext_set_timeout(LDAP_CEXT* session, long seconds);

// The response time-out in seconds (fractions allowed): a server from which no byte arrives
// for that long while answers are owed is taken as dead. Until set, QDX_RESPONSE_TIMEOUT
// (30 s by default). 89 for a value that is not positive, else 0.
DIRCLIENT_API int ldap_cext_set_response_timeout(LDAP_CEXT* session, double seconds);

// StartTLS on the later connections of the session (0 off, 1 try, 2 demand); when the
// current connection is in clear it is encrypted at once. The classic result code.
DIRCLIENT_API int ldap_cext_set_starttls(LDAP_CEXT* session, int mode);

// The time limit (seconds) and size limit (entries) the servers are asked to apply to later
// searches, 0 (or a negative value) for none; they stay in force across fail-overs. 0, or
// 89 for a null session.
DIRCLIENT_API int ldap_cext_set_limits(LDAP_CEXT* session, int timelimit, int sizelimit);

// Process-wide: a server that could not be reached is tried last by list walks, after the
// others, for "seconds" (0: never; -1: back to QDX_SERVER_QUARANTINE, 60 by default). 0, or
// 89 for a value below -1.
DIRCLIENT_API int ldap_cext_set_quarantine(long seconds);

// Fail-back: every "seconds" (0 switches it off, the default unless QDX_FAILBACK_INTERVAL
// gives an interval when the session opens), between requests and never with an answer
// outstanding, a session not on the first server of its list probes the servers before the
// current one and moves to the first that answers, binding with the stored credentials.
// The cached answers are flushed on a move. 0, or 89 for a null session or negative value.
DIRCLIENT_API int ldap_cext_set_failback(LDAP_CEXT* session, long seconds);

// Replaces the server list with a copy and stops taking it from DNS.
DIRCLIENT_API void ldap_cext_set_servers(LDAP_CEXT* session, const char* list);
// A copy of the server list, or null; release with ldap_cext_SLfree.
DIRCLIENT_API char* ldap_cext_get_servers(LDAP_CEXT* session);
// "LDAP://host:port" of the current server, or null; release with ldap_cext_SLfree.
DIRCLIENT_API char* ldap_cext_get_server(LDAP_CEXT* session);
DIRCLIENT_API void ldap_cext_SLfree(char* text);

// The classic result code of the session's last operation.
DIRCLIENT_API int ldap_cext_get_lderrno(LDAP_CEXT* session);

// The identifier the caller knows a message under (a message received with -1, a cached
// answer, an answer after a fail-over), and its type. Also valid for plain sessions.
DIRCLIENT_API int ldap_cext_msgid(LDAPMessage* message);
DIRCLIENT_API int ldap_cext_msgtype(LDAPMessage* message);

#ifdef __cplusplus
}
#endif

#endif
