#include "session_access.h"

#include "cext_session.h"
#include "ldap_result_codes.h"
#include "plain_session.h"

namespace dirclient::ldapaccess {

namespace {

int run_connected(SessionCore& core, const SessionBody& body) {
    if (!core.ensure_open()) return QDX_LDAP_SERVER_DOWN;
    return body(core);
}

// Runs body under the handle's serialisation, on its session connected (with fail-over
// on request) or as it is.
int run_serialised(DS_LDAP* handle, bool connect, bool failover, const SessionBody& body) {
    if (handle == nullptr || handle->session == nullptr) return QDX_LDAP_PARAM_ERROR;
    auto run = [&](SessionCore& core) { return connect ? run_connected(core, body) : body(core); };
    try {
        if (handle->kind == QDX_LDAP_PLAIN)
            return run(plain::core(static_cast<LDAP*>(handle->session)));
        if (handle->kind != QDX_LDAP_SERVER_LIST) return QDX_LDAP_PARAM_ERROR;
        auto* session = static_cast<LDAP_CEXT*>(handle->session);
        SessionCall call(session);
        if (!connect) return body(*session->core);
        return session->with_failover(failover, run);
    } catch (...) {
        return QDX_LDAP_NO_MEMORY;
    }
}

std::string take_text(char* text) {
    std::string copy = text != nullptr ? text : "";
    if (text != nullptr) ldap_memfree(text);
    return copy;
}

}  // namespace

int run_on_session(DS_LDAP* handle, bool failover, const SessionBody& body) {
    return run_serialised(handle, true, failover, body);
}

int run_on_session_as_is(DS_LDAP* handle, const SessionBody& body) {
    return run_serialised(handle, false, false, body);
}

int modify_dn_s(DS_LDAP* handle, const char* dn, const char* newrdn, const char* new_superior,
                bool delete_old_rdn) {
    if (dn == nullptr || newrdn == nullptr) return QDX_LDAP_PARAM_ERROR;
    return run_on_session(handle, false, [&](SessionCore& core) {
        return qdx_ldap_classic_code(ldap_rename_s(core.ld(), dn, newrdn, new_superior,
                                                   delete_old_rdn ? 1 : 0, nullptr, nullptr));
    });
}

ServerDiagnostics session_diagnostics(LDAP* ld) {
    ServerDiagnostics said;
    if (ld == nullptr) return said;
    char* text = nullptr;
    if (ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &text) == LDAP_OPT_SUCCESS)
        said.message = take_text(text);
    text = nullptr;
    if (ldap_get_option(ld, LDAP_OPT_MATCHED_DN, &text) == LDAP_OPT_SUCCESS)
        said.matched_dn = take_text(text);
    char** urls = nullptr;
    if (ldap_get_option(ld, LDAP_OPT_REFERRAL_URLS, &urls) == LDAP_OPT_SUCCESS && urls) {
        for (char** url = urls; *url != nullptr; ++url)
            said.referrals.emplace_back(*url);
        ldap_memvfree(reinterpret_cast<void**>(urls));
    }
    return said;
}

ServerDiagnostics handle_diagnostics(DS_LDAP* handle) {
    ServerDiagnostics said;
    if (handle == nullptr || handle->session == nullptr) return said;
    if (handle->kind == QDX_LDAP_PLAIN)
        return session_diagnostics(static_cast<LDAP*>(handle->session));
    if (handle->kind != QDX_LDAP_SERVER_LIST) return said;
    auto* session = static_cast<LDAP_CEXT*>(handle->session);
    SessionCall call(session);
    return session_diagnostics(session->core->ld());
}

}  // namespace dirclient::ldapaccess
