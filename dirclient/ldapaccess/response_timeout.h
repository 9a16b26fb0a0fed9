#ifndef DIRCLIENT_RESPONSE_TIMEOUT_H
#define DIRCLIENT_RESPONSE_TIMEOUT_H

#include <sys/time.h>

#include <optional>

#include <ldap.h>

// Bounded waits for a server's answers. A server from which no byte arrives for the
// response time-out while an answer is owed is taken as dead; a search that keeps sending
// entries is never cut off, since every byte restarts the count.

namespace dirclient::ldapaccess {

// QDX_RESPONSE_TIMEOUT (seconds, fractions allowed, read at every call) when it is a
// positive number, otherwise 30 seconds.
double response_timeout_from_environment();

// Seconds from a text as the environment gives it; nothing unless it is a positive number
// below one day.
std::optional<double> parse_seconds(const char* text);

// Counts the bytes libldap reads on the connection of "ld" from now on (idempotent; the
// count lives and dies with the connection). False when "ld" has no connection yet.
bool watch_received_bytes(LDAP* ld);

// The bytes read on the connection of "ld" since watch_received_bytes; 0 when not watched.
unsigned long received_bytes(LDAP* ld);

// As ldap_result, with every wait bounded: a caller's limit ("limit", may be null) no
// longer than "response_seconds" is used as it is; otherwise the wait ends after the
// caller's limit or after "response_seconds" without a byte from the server, whichever
// comes first. "*silent" tells that the server fell silent (the result is then 0).
int await_response(LDAP* ld, int msgid, int all, const timeval* limit, double response_seconds,
                   LDAPMessage** res, bool* silent);

}  // namespace dirclient::ldapaccess

#endif
