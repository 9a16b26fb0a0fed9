// SessionCore: closing the connection when idle; it is opened again when next needed.

#include "session_core.h"

namespace dirclient::ldapaccess {

void SessionCore::lose_outstanding() {
    for (const auto& route : connection_.by_caller) {
        lost_.insert(route.first);
        if (cache_) cache_->uncache_request(route.first);
    }
    connection_.by_caller.clear();
    connection_.by_library.clear();
}

int SessionCore::close_connection() {
    lose_outstanding();
    int unbound = end_session(std::move(connection_.ld));
    int code = connection_.open ? unbound : 0;
    connection_.open = false;
    // ldap_initialize does not connect: the session only keeps the accessors working.
    LDAP* idle = nullptr;
    if (ldap_initialize(&idle, server_url(connection_.server).c_str()) == LDAP_SUCCESS)
        connection_.ld.reset(idle);
    return code;
}

bool SessionCore::has_outstanding() const {
    return !connection_.by_caller.empty() || streams_ > 0;
}

}  // namespace dirclient::ldapaccess
