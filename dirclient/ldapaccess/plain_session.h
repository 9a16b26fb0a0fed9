#ifndef DIRCLIENT_PLAIN_SESSION_H
#define DIRCLIENT_PLAIN_SESSION_H

#include <ldap.h>

#include "session_core.h"

// Plain LDAP sessions (one server, no fail-over) as the directory handle keeps them: an
// LDAP* whose requests, results and cache go through our SessionCore. The core of each
// LDAP* is found in a process-wide registry; sessions that our layer opened are registered
// at once, others on first use, and every one must be closed with plain::unbind.

namespace dirclient::ldapaccess::plain {

// Opens a session as the classic ldap_open does: "host" is a host name, "host:port", or a
// blank-separated list of them tried in order (null: localhost); "port" 0 means 389. Each
// attempt is bounded by the network time-out. "starttls" encrypts the connection before
// anything else is sent. Null when no server answers.
LDAP* open(const char* host, int port, StartTls starttls = StartTls::kOff);

// Ends the session and its core; the classic result code of the unbind.
int unbind(LDAP* ld);

// The core of "ld", registered on first use. "ld" must not be null.
SessionCore& core(LDAP* ld);

// The core of "ld" when it has one; null otherwise.
SessionCore* find(LDAP* ld);

}  // namespace dirclient::ldapaccess::plain

#endif
