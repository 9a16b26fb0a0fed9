#ifndef DIRCLIENT_TLS_OPTIONS_H
#define DIRCLIENT_TLS_OPTIONS_H

#include <string>

#include <ldap.h>

// Encryption of LDAP connections. "ldaps://" servers speak TLS from the first byte; on the
// others StartTLS can be asked for, tried (go on in clear when the server refuses) or
// demanded (fail, and never send a bind in clear). Certificates are checked by libldap
// with its own configuration (ldap.conf, LDAPTLS_CACERT, LDAPTLS_REQCERT, ...).

namespace dirclient::ldapaccess {

enum class StartTls { kOff = 0, kTry = 1, kDemand = 2 };

// QDX_STARTTLS ("try" or 1, "demand" or 2; anything else: off), read at every call.
StartTls starttls_from_environment();

// A mode given by a caller: 0, 1 or 2; -1 (or any other value) takes the environment's.
StartTls starttls_mode(int requested);

// Runs StartTLS on the connected "ld" as "mode" asks, the answer bounded by "limit". The
// classic result code: 0 when the connection may be used (encrypted, or in clear after a
// refusal under kTry).
int start_tls(LDAP* ld, StartTls mode, const timeval& limit);

// libldap waits for a TLS handshake without any bound: the socket of every connection of
// "ld" gets the network time-out as its send and receive time-out as soon as it is
// connected, until end_handshake_bound. Set before the connection is opened.
void bound_handshakes(LDAP* ld);
// Lifts the socket time-outs again once the handshake is over (later waits poll first).
void end_handshake_bound(LDAP* ld);

// Whether the connection of "ld" is encrypted.
bool tls_active(LDAP* ld);

// libldap's diagnostic text of the last failure on "ld" (empty when it has none).
std::string diagnostic_text(LDAP* ld);

// Notes the failure of "what" (a TLS connection or StartTLS) with OpenLDAP's code "rc",
// libldap's diagnostic text on "ld", and where the certificate check takes its CA from.
void note_tls_failure(const std::string& what, LDAP* ld, int rc);

}  // namespace dirclient::ldapaccess

#endif
