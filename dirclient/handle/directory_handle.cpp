#include "backend_kind.h"

#include <strings.h>

#include <cstring>
#include <memory>

#include "call_activity.h"
#include "cext_session.h"
#include "connect_failure.h"
#include "dexception.h"
#include "dns_lookup.h"
#include "dns_srv.h"
#include "ffconnection.h"
#include "ldap_result_codes.h"
#include "object_memory.h"
#include "plain_session.h"

namespace dirclient::ldapaccess {

namespace {

constexpr const char* kSrvPrefix = "DNS-SRV:";

bool has_prefix(const char* host, const char* prefix) {
    return host != nullptr && strncasecmp(host, prefix, std::strlen(prefix)) == 0;
}

// A flat-file directory connected to "host"; null when it cannot be loaded.
FFConnection* open_flat_file(const char* host, int port) {
    std::unique_ptr<FFConnection> directory(new FFConnection);
    DException* failure = nullptr;
    directory->connect(host, port, &failure);
    if (failure != nullptr) {
        delete failure;
        return nullptr;
    }
    return directory.release();
}

// A server list from the SRV records of the domain in "host"; it is kept in the order
// chosen now, so that fail-over walks it as it would a URL list. When TLS is demanded, the
// servers published for LDAPS (_ldaps._tcp) come first; without them, those of _ldap._tcp
// with StartTLS.
LDAP_CEXT* open_srv_list(const char* host, StartTls starttls) {
    std::optional<std::string> domain = dns_name_of_host(host);
    if (!domain) return nullptr;
    std::optional<std::string> list;
    if (starttls == StartTls::kDemand) list = lookup_srv_server_list(*domain, true);
    if (!list) list = lookup_srv_server_list(*domain, false);
    return list ? open_server_list(list->c_str(), "", LDAP_CEXT_FAILOVER, starttls) : nullptr;
}

// The back end of "host", or null.
void* open_backend(int kind, const char* host, int port, StartTls starttls) {
    switch (kind) {
        case QDX_LDAP_SERVER_LIST:
            if (has_prefix(host, kSrvPrefix)) return open_srv_list(host, starttls);
            if (!has_prefix(host, "DNS:"))
                return open_server_list(host, dns_name(), LDAP_CEXT_FAILOVER, starttls);
            {
                // The name goes to the session directly as well: another thread may set or
                // clear the process-wide one before the session reads it.
                std::optional<std::string> name = dns_name_of_host(host);
                setDNSName(name ? name->c_str() : nullptr);
                return open_server_list(nullptr, name.value_or(kDefaultDnsName), LDAP_CEXT_FAILOVER,
                                        starttls);
            }
        case QDX_LDAP_FLAT_FILE:
            return open_flat_file(host, port);
        default:
            return plain::open(host, port, starttls);
    }
}

// 1 when the flat-file directory could not write itself back. It is released either way.
int close_flat_file(FFConnection* directory) {
    std::unique_ptr<FFConnection> owned(directory);
    DException* failure = nullptr;
    bool failed = false;
    try {
        owned->disconnect(&failure);
    } catch (...) {
        failed = true;
    }
    failed = failed || failure != nullptr;
    delete failure;
    return failed ? 1 : 0;
}

}  // namespace

int backend_kind(const char* host) {
    if (has_prefix(host, "DNS:") || has_prefix(host, kSrvPrefix) || has_prefix(host, "LDAP://") ||
        has_prefix(host, "LDAPS://"))
        return QDX_LDAP_SERVER_LIST;
    if (has_prefix(host, "FILE:///")) return QDX_LDAP_FLAT_FILE;
    return QDX_LDAP_PLAIN;
}

std::optional<std::string> dns_name_of_host(const char* host) {
    const char* colon = host ? std::strchr(host, ':') : nullptr;
    if (colon == nullptr) return std::nullopt;
    // The first '/' of the whole string ends the name; "DNS:" holds none.
    const char* slash = std::strchr(host, '/');
    const char* end = slash ? slash : colon + std::strlen(colon);
    if (end <= colon + 1) return std::nullopt;
    return std::string(colon + 1, end);
}

}  // namespace dirclient::ldapaccess

using namespace dirclient::ldapaccess;

extern "C" DS_LDAP* qdx_ldap_open(const char* host, int port) {
    return qdx_ldap_open_tls(host, port, -1);
}

extern "C" const char* qdx_ldap_open_failure(void) {
    return last_connect_failure().c_str();
}

extern "C" DS_LDAP* qdx_ldap_open_tls(const char* host, int port, int starttls) {
    int kind = backend_kind(host);
    clear_connect_failure();
    if (std::string scheme = scheme_of(host); kind == QDX_LDAP_PLAIN && !scheme.empty()) {
        // A plain session takes host names, never URLs: "x://" would be looked up as a host.
        note_connect_failure("scheme not supported: " + scheme + "://");
        return nullptr;
    }
    void* session = nullptr;
    try {
        session = open_backend(kind, host, port, starttls_mode(starttls));
    } catch (...) {
        return nullptr;
    }
    if (session == nullptr) return nullptr;
    // Allocated last, so that no handle exists for a back end that did not open.
    auto* handle = reinterpret_cast<DS_LDAP*>(check_malloc(sizeof(DS_LDAP)));
    handle->kind = kind;
    handle->session = session;
    return handle;
}

extern "C" int qdx_ldap_unbind(DS_LDAP* handle) {
    if (handle == nullptr || handle->session == nullptr) return QDX_LDAP_PARAM_ERROR;
    void* session = handle->session;
    handle->session = nullptr;
    switch (handle->kind) {
        case QDX_LDAP_FLAT_FILE:
            return close_flat_file(static_cast<FFConnection*>(session));
        case QDX_LDAP_SERVER_LIST:
            return ldap_cext_unbind(static_cast<LDAP_CEXT*>(session));
        case QDX_LDAP_PLAIN:
            return plain::unbind(static_cast<LDAP*>(session));
        default:
            handle->session = session;  // not ours to release
            return QDX_LDAP_PARAM_ERROR;
    }
}

extern "C" int qdx_ldap_set_timeout(DS_LDAP* handle, long timeout) {
    CallActivity activity("ldap_set_timeout");
    if (handle == nullptr || handle->session == nullptr || handle->kind != QDX_LDAP_SERVER_LIST)
        return 0;
    return ldap_cext_set_timeout(static_cast<LDAP_CEXT*>(handle->session), timeout);
}

extern "C" int qdx_ldap_get_lderrno(DS_LDAP* handle) {
    CallActivity activity("ldap_get_lderrno");
    if (handle == nullptr || handle->session == nullptr) return QDX_LDAP_PARAM_ERROR;
    if (handle->kind == QDX_LDAP_SERVER_LIST)
        return ldap_cext_get_lderrno(static_cast<LDAP_CEXT*>(handle->session));
    if (handle->kind != QDX_LDAP_PLAIN) return QDX_LDAP_PARAM_ERROR;
    LDAP* ld = static_cast<LDAP*>(handle->session);
    if (SessionCore* core = plain::find(ld)) return core->last_error();
    int code = LDAP_SUCCESS;
    ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &code);
    return qdx_ldap_classic_code(code);
}

extern "C" int qdx_ldap_set_limits(DS_LDAP* handle, int timelimit, int sizelimit) {
    CallActivity activity("ldap_set_option");
    if (handle == nullptr || handle->session == nullptr) return QDX_LDAP_PARAM_ERROR;
    if (handle->kind == QDX_LDAP_SERVER_LIST)
        return ldap_cext_set_limits(static_cast<LDAP_CEXT*>(handle->session), timelimit, sizelimit);
    if (handle->kind != QDX_LDAP_PLAIN) return QDX_LDAP_PARAM_ERROR;
    try {
        plain::core(static_cast<LDAP*>(handle->session)).set_limits(timelimit, sizelimit);
    } catch (...) {
        return QDX_LDAP_NO_MEMORY;
    }
    return 0;
}

extern "C" int qdx_ldap_set_starttls(DS_LDAP* handle, int starttls) {
    CallActivity activity("ldap_start_tls_s");
    if (handle == nullptr || handle->session == nullptr || starttls < 0 || starttls > 2)
        return QDX_LDAP_PARAM_ERROR;
    if (handle->kind == QDX_LDAP_SERVER_LIST)
        return ldap_cext_set_starttls(static_cast<LDAP_CEXT*>(handle->session), starttls);
    if (handle->kind != QDX_LDAP_PLAIN) return 0;
    LDAP* ld = static_cast<LDAP*>(handle->session);
    return start_tls(ld, starttls_mode(starttls), network_timeout());
}

extern "C" int qdx_ldap_set_response_timeout(DS_LDAP* handle, double seconds) {
    CallActivity activity("ldap_set_option");
    if (handle == nullptr || handle->session == nullptr || !(seconds > 0) || seconds >= 86400)
        return QDX_LDAP_PARAM_ERROR;
    if (handle->kind == QDX_LDAP_SERVER_LIST)
        return ldap_cext_set_response_timeout(static_cast<LDAP_CEXT*>(handle->session), seconds);
    if (handle->kind != QDX_LDAP_PLAIN) return 0;
    try {
        plain::core(static_cast<LDAP*>(handle->session)).set_response_timeout(seconds);
    } catch (...) {
        return QDX_LDAP_NO_MEMORY;
    }
    return 0;
}
