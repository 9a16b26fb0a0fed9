#include "server_connect.h"

#include <strings.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>

#include "connect_failure.h"
#include "ldap_result_codes.h"
#include "ldap_session_ptr.h"
#include "response_timeout.h"

namespace dirclient::ldapaccess {

namespace {

constexpr double kDefaultNetworkTimeoutSeconds = 5.0;

int session_error(LDAP* ld) {
    int code = LDAP_OTHER;
    ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &code);
    return qdx_ldap_classic_code(code);
}

// Waits for the answer to "msgid" within the network time-out; a silent server reads as
// server down, since nothing else can be told about it.
int await_bind_answer(LDAP* ld, int msgid) {
    if (msgid < 0) return session_error(ld);
    timeval limit = network_timeout();
    LDAPMessage* answer = nullptr;
    int type = ldap_result(ld, msgid, LDAP_MSG_ALL, &limit, &answer);
    if (type == 0) {
        ldap_abandon_ext(ld, msgid, nullptr, nullptr);
        return qdx_ldap_classic_code(LDAP_SERVER_DOWN);
    }
    if (type < 0) return session_error(ld);
    return qdx_ldap_classic_code(ldap_result2error(ld, answer, 1));
}

}  // namespace

std::string server_url(const ServerAddress& server) {
    std::string host = server.host.empty() ? "localhost" : server.host;
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    return (server.tls ? "ldaps://" : "ldap://") + host + ":" + std::to_string(server.port);
}

bool same_server(const ServerAddress& a, const ServerAddress& b) {
    return a.port == b.port && a.tls == b.tls && strcasecmp(a.host.c_str(), b.host.c_str()) == 0;
}

timeval network_timeout() {
    double seconds = kDefaultNetworkTimeoutSeconds;
    if (const char* text = std::getenv("QDX_NETWORK_TIMEOUT")) {
        char* end = nullptr;
        double parsed = std::strtod(text, &end);
        if (end != text && *end == '\0' && parsed > 0 && parsed < 86400) seconds = parsed;
    }
    timeval tv;
    tv.tv_sec = static_cast<time_t>(seconds);
    tv.tv_usec = static_cast<suseconds_t>(std::lround((seconds - tv.tv_sec) * 1e6));
    if (tv.tv_usec >= 1000000) {
        tv.tv_sec += 1;
        tv.tv_usec -= 1000000;
    }
    return tv;
}

Connected connect_server(const ServerAddress& server, bool probe, StartTls starttls) {
    Connected result;
    LDAP* opened = nullptr;
    int rc = ldap_initialize(&opened, server_url(server).c_str());
    LdapSessionPtr session(opened);
    if (rc != LDAP_SUCCESS || !session) {
        result.code = qdx_ldap_classic_code(rc == LDAP_SUCCESS ? LDAP_NO_MEMORY : rc);
        return result;
    }
    LDAP* ld = session.get();
    int version = LDAP_VERSION3;
    timeval limit = network_timeout();
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &limit);
    const auto started = std::chrono::steady_clock::now();
    if (server.tls) bound_handshakes(ld);
    errno = 0;
    rc = ldap_connect(ld);
    const int connect_errno = errno;
    if (server.tls) end_handshake_bound(ld);
    // Only the TLS layer leaves a diagnostic text when the connection fails; a server that
    // is not there leaves none.
    bool tls_failed = rc != LDAP_SUCCESS && server.tls && !diagnostic_text(ld).empty();
    if (tls_failed) note_tls_failure("TLS connection to " + server_url(server), ld, rc);
    if (rc == LDAP_SUCCESS && !server.tls) {
        rc = qdx_ldap_openldap_code(start_tls(ld, starttls, limit));
        tls_failed = rc != LDAP_SUCCESS;
    }
    if (rc == LDAP_SUCCESS) watch_received_bytes(ld);
    if (rc == LDAP_SUCCESS && probe) {
        rc = qdx_ldap_openldap_code(await_bind_answer(ld, ldap_simple_bind(ld, nullptr, nullptr)));
        // Any answer from the server, a refusal included, shows that it is there.
        if (rc > 0) rc = LDAP_SUCCESS;
    }
    if (rc != LDAP_SUCCESS) {
        // A server that never answers leaves nothing but the time spent to tell.
        const bool waited = std::chrono::steady_clock::now() - started >=
                            std::chrono::microseconds(limit.tv_sec * 1000000L + limit.tv_usec);
        // A TLS failure has been told with OpenLDAP's own words already.
        if (!tls_failed) note_failed_attempt(server, ld, waited ? LDAP_TIMEOUT : rc, connect_errno);
        result.code = qdx_ldap_classic_code(rc);
        return result;
    }
    result.ld = session.release();
    return result;
}

int bind_within_timeout(LDAP* ld, const char* who, const char* credentials, int method) {
    if (method != LDAP_AUTH_SIMPLE) return qdx_ldap_classic_code(LDAP_AUTH_METHOD_NOT_SUPPORTED);
    return await_bind_answer(ld, ldap_simple_bind(ld, who, credentials));
}

}  // namespace dirclient::ldapaccess
