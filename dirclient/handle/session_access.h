#ifndef DIRCLIENT_SESSION_ACCESS_H
#define DIRCLIENT_SESSION_ACCESS_H

// Work that needs the libldap session of a directory handle itself (controls, streamed
// answers, what the server said): run under the same serialisation as every other call on
// that handle, with fail-over on request.

#include <functional>
#include <string>
#include <vector>

#include "directory_handle.h"
#include "session_core.h"

namespace dirclient::ldapaccess {

using SessionBody = std::function<int(SessionCore&)>;

// Runs body on the session of an LDAP handle (kind 1 or 2), connected first when an idle
// close left it unconnected; a server list's mutex is held throughout, so body must not
// call back into the handle. With failover, a server list whose body returns a fail-over
// code moves to its next usable server and runs body again there. Returns body's classic
// result code; QDX_LDAP_PARAM_ERROR for other handles, QDX_LDAP_SERVER_DOWN when no
// connection can be had.
int run_on_session(DS_LDAP* handle, bool failover, const SessionBody& body);

// As run_on_session, on the session as it is: not connected first, no fail-over.
int run_on_session_as_is(DS_LDAP* handle, const SessionBody& body);

// The LDAPv3 ModifyDN request with a new superior (RFC 4511 section 4.9): renames "dn" to
// "newrdn" below "new_superior" in one request, subtree and entry identity kept. Without
// fail-over: a write is not repeated elsewhere. The classic result code.
int modify_dn_s(DS_LDAP* handle, const char* dn, const char* newrdn, const char* new_superior,
                bool delete_old_rdn);

// What a server said beside a result code.
struct ServerDiagnostics {
    std::string message;                 // diagnostic message, "" when none
    std::string matched_dn;              // matched DN, "" when none
    std::vector<std::string> referrals;  // referral URLs
};

// What the last answer on "ld" carried (the synchronous calls and result2error leave it
// on the session). "ld" may be null (nothing).
ServerDiagnostics session_diagnostics(LDAP* ld);

// The same for the session of an LDAP handle; nothing for other handles.
ServerDiagnostics handle_diagnostics(DS_LDAP* handle);

}  // namespace dirclient::ldapaccess

#endif
