#include "connect_failure.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

namespace dirclient::ldapaccess {

namespace {

thread_local std::string last_failure;
thread_local bool last_failure_tls = false;

std::string where(const ServerAddress& server) {
    std::string host = server.host.empty() ? "localhost" : server.host;
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    return host + ":" + std::to_string(server.port);
}

bool host_resolves(const std::string& host) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int rc = getaddrinfo(host.empty() ? "localhost" : host.c_str(), nullptr, &hints, &found);
    if (found != nullptr) freeaddrinfo(found);
    return rc == 0;
}

// libldap's non-blocking connect leaves ENOTCONN whatever happened; one blocking connect
// to the first address, bounded by a second, tells a refusal apart.
int connect_errno(const ServerAddress& server) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(server.port);
    const char* host = server.host.empty() ? "localhost" : server.host.c_str();
    if (getaddrinfo(host, port.c_str(), &hints, &found) != 0 || found == nullptr) return 0;
    int seen = 0;
    int fd = socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
    if (fd >= 0) {
        timeval limit{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        if (connect(fd, found->ai_addr, found->ai_addrlen) != 0) seen = errno;
        close(fd);
    }
    freeaddrinfo(found);
    return seen;
}

std::string session_text(LDAP* ld) {
    char* text = nullptr;
    if (ld == nullptr || ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &text) != 0 ||
        text == nullptr)
        return "";
    std::string copy = text;
    ldap_memfree(text);
    return copy;
}

}  // namespace

const std::string& last_connect_failure() {
    return last_failure;
}

bool last_connect_failure_is_tls() {
    return last_failure_tls;
}

void clear_connect_failure() {
    last_failure.clear();
    last_failure_tls = false;
}

void note_connect_failure(std::string reason, bool tls) {
    last_failure = std::move(reason);
    last_failure_tls = tls;
}

void note_failed_attempt(const ServerAddress& server, LDAP* ld, int code, int errno_seen) {
    const std::string place = where(server);
    std::string reason;
    if (errno_seen == ENOTCONN && code == LDAP_SERVER_DOWN) errno_seen = connect_errno(server);
    if (errno_seen == ECONNREFUSED) {
        reason = "connection refused by " + place;
    } else if (!host_resolves(server.host)) {
        reason = "host not found: " + (server.host.empty() ? "localhost" : server.host);
    } else if (code == LDAP_TIMEOUT || errno_seen == ETIMEDOUT || errno_seen == EINPROGRESS) {
        reason = "connection to " + place + " timed out";
    } else if (code == LDAP_CONNECT_ERROR) {
        std::string said = session_text(ld);
        reason = "TLS failure with " + place + (said.empty() ? "" : ": " + said);
    } else {
        reason = "cannot reach " + place + ": " + ldap_err2string(code);
        if (errno_seen != 0) reason += std::string(" (") + std::strerror(errno_seen) + ")";
    }
    note_connect_failure(std::move(reason));
}

std::string scheme_of(const char* host) {
    if (host == nullptr) return "";
    const char* end = std::strstr(host, "://");
    if (end == nullptr || end == host) return "";
    for (const char* c = host; c != end; ++c)
        if (!std::isalnum(static_cast<unsigned char>(*c)) && *c != '+' && *c != '-' && *c != '.')
            return "";
    return std::string(host, end);
}

}  // namespace dirclient::ldapaccess
