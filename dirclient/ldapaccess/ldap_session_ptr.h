#ifndef DIRCLIENT_LDAP_SESSION_PTR_H
#define DIRCLIENT_LDAP_SESSION_PTR_H

// An owning holder for a libldap session: the unbind goes with the holder. end_session() ends a
// session on purpose and tells how the unbind went.

#include <ldap.h>

#include <memory>

#include "ldap_result_codes.h"

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

}  // namespace dirclient::ldapaccess

#endif
