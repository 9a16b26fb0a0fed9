// SessionCore: construction, limits and the session's error state. Its other concerns have
// their own files: sends, message-id translation, cache feeding, fail-over and idle close.

#include "session_core.h"

#include <algorithm>

#include "ldap_result_codes.h"
#include "response_timeout.h"

namespace dirclient::ldapaccess {

int SessionCore::refuse(int returned) {
    last_error_ = QDX_LDAP_PARAM_ERROR;
    return returned;
}

int SessionCore::refuse_filter(int returned) {
    last_error_ = QDX_LDAP_FILTER_ERROR;
    return returned;
}

double SessionCore::response_timeout() const {
    return response_timeout_ ? *response_timeout_ : response_timeout_from_environment();
}

void SessionCore::set_limits(int timelimit, int sizelimit) {
    limits_.emplace(std::max(timelimit, 0), std::max(sizelimit, 0));
    apply_limits(connection_.ld.get());
}

void SessionCore::apply_limits(LDAP* ld) const {
    if (!limits_ || ld == nullptr) return;
    ldap_set_option(ld, LDAP_OPT_TIMELIMIT, &limits_->first);
    ldap_set_option(ld, LDAP_OPT_SIZELIMIT, &limits_->second);
}

SessionCore::SessionCore(LdapSessionPtr ld, ServerAddress server) {
    connection_.open = ld != nullptr;
    connection_.ld = std::move(ld);
    connection_.server = std::move(server);
}

SessionCore::~SessionCore() {
    for (LocalMessage* chain : local_queue_)
        free_local_chain(chain);
}

bool SessionCore::ensure_connected() {
    if (!connection_.open && reconnect_) reconnect_();
    if (connection_.open) return true;
    if (last_error_ == 0) last_error_ = QDX_LDAP_SERVER_DOWN;
    return false;
}

int SessionCore::error_from_session() {
    int code = LDAP_OTHER;
    if (connection_.ld) ldap_get_option(connection_.ld.get(), LDAP_OPT_RESULT_CODE, &code);
    return last_error_ = qdx_ldap_classic_code(code);
}

}  // namespace dirclient::ldapaccess
