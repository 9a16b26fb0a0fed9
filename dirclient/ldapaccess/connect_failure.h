#ifndef DIRCLIENT_CONNECT_FAILURE_H
#define DIRCLIENT_CONNECT_FAILURE_H

// Why opening a directory handle failed, in the user's terms: refused, host not found,
// timed out, TLS failure, scheme not supported. Recorded per thread by the code that
// connects, read by the caller that reports the failure.

#include <string>

#include <ldap.h>

#include "server_connect.h"

namespace dirclient::ldapaccess {

// The reason of the last failed attempt on this thread since clear_connect_failure, for
// example "connection refused by 127.0.0.1:389"; "" when none was recorded. Valid until the
// thread's next attempt.
const std::string& last_connect_failure();
// Whether that reason is a failed TLS handshake, certificate check or StartTLS.
bool last_connect_failure_is_tls();
void clear_connect_failure();
void note_connect_failure(std::string reason, bool tls = false);

// Records why connecting "ld" to "server" failed with the OpenLDAP code "code"; errno_seen
// is errno right after the attempt. "ld" may be null.
void note_failed_attempt(const ServerAddress& server, LDAP* ld, int code, int errno_seen);

// The scheme of a host string written "scheme://..." ("" when there is none).
std::string scheme_of(const char* host);

}  // namespace dirclient::ldapaccess

#endif
