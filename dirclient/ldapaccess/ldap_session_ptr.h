#ifndef DIRCLIENT_LDAP_SESSION_PTR_H
#define DIRCLIENT_LDAP_SESSION_PTR_H

// An owning holder for a libldap session: the unbind goes with the holder. end_session() ends a
// session on purpose and tells how the unbind went.

#include <ldap.h>

#include <memory>

#include "ldap_result_codes.h"
#include "server_connect.h"

namespace dirclient::ldapaccess {

struct SessionUnbind {
    void operator()(LDAP* ld) const { ldap_unbind_ext(ld, nullptr, nullptr); }
};

using LdapSessionPtr = std::unique_ptr<LDAP, SessionUnbind>;

// Ends the session; the classic result code of the unbind (0 for none).
inline int end_session(LdapSessionPtr ld) {
    if (!ld) return 0;
    return qdx_ldap_classic_code(ldap_unbind_ext(ld.release(), nullptr, nullptr));
}

// What connect_server gives, the session in a holder.
struct OpenedSession {
    LdapSessionPtr ld;  // null on failure
    int code = 0;       // classic result code of the failure, 0 on success
};

inline OpenedSession open_session(const ServerAddress& server, bool probe, StartTls starttls) {
    Connected connected = connect_server(server, probe, starttls);
    return {LdapSessionPtr(connected.ld), connected.code};
}

}  // namespace dirclient::ldapaccess

#endif
