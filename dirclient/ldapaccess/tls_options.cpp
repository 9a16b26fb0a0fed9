#include "tls_options.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include <lber.h>

#include "connect_failure.h"
#include "ldap_result_codes.h"
#include "server_connect.h"

namespace dirclient::ldapaccess {

namespace {

void set_socket_timeouts(ber_socket_t fd, const timeval& limit) {
    if (fd < 0) return;
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

// A layer under libldap's TLS layer for the time of a handshake: a read or write that the
// socket time-out ended (EAGAIN) becomes a hard error, which ends the handshake; libldap
// would otherwise try again without end.
constexpr int kHandshakeLevel = LBER_SBIOD_LEVEL_PROVIDER + 5;

// Handshakes run synchronously on the thread that opens the connection.
thread_local std::chrono::steady_clock::time_point handshake_deadline;

ber_slen_t past_deadline(ber_slen_t n) {
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) &&
        std::chrono::steady_clock::now() >= handshake_deadline)
        errno = ETIMEDOUT;
    return n;
}

ber_slen_t timed_read(Sockbuf_IO_Desc* sbiod, void* buffer, ber_len_t length) {
    return past_deadline(LBER_SBIOD_READ_NEXT(sbiod, buffer, length));
}

ber_slen_t timed_write(Sockbuf_IO_Desc* sbiod, void* buffer, ber_len_t length) {
    return past_deadline(LBER_SBIOD_WRITE_NEXT(sbiod, buffer, length));
}

int pass_ctrl(Sockbuf_IO_Desc* sbiod, int option, void* arg) {
    return LBER_SBIOD_CTRL_NEXT(sbiod, option, arg);
}

Sockbuf_IO handshake_io = {nullptr, nullptr, pass_ctrl, timed_read, timed_write, nullptr};

// Puts the socket in blocking mode with the network time-out for the handshake; the
// socket's previous flags.
int begin_bound(Sockbuf* sb, bool blocking = true) {
    ber_socket_t fd = -1;
    ber_sockbuf_ctrl(sb, LBER_SB_OPT_GET_FD, &fd);
    if (fd < 0) return -1;
    int flags = fcntl(fd, F_GETFL);
    if (blocking && flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    timeval limit = network_timeout();
    set_socket_timeouts(fd, limit);
    handshake_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limit.tv_sec) +
                         std::chrono::microseconds(limit.tv_usec);
    if (ber_sockbuf_ctrl(sb, LBER_SB_OPT_HAS_IO, &handshake_io) != 1)
        ber_sockbuf_add_io(sb, &handshake_io, kHandshakeLevel, nullptr);
    return flags;
}

// Undoes begin_bound; "flags" (when not negative) are given back to the socket.
void end_bound(Sockbuf* sb, int flags) {
    ber_socket_t fd = -1;
    ber_sockbuf_ctrl(sb, LBER_SB_OPT_GET_FD, &fd);
    if (ber_sockbuf_ctrl(sb, LBER_SB_OPT_HAS_IO, &handshake_io) == 1)
        ber_sockbuf_remove_io(sb, &handshake_io, kHandshakeLevel);
    if (fd < 0) return;
    set_socket_timeouts(fd, {0, 0});
    if (flags >= 0) fcntl(fd, F_SETFL, flags);
}

Sockbuf* sockbuf_of(LDAP* ld) {
    Sockbuf* sb = nullptr;
    ldap_get_option(ld, LDAP_OPT_SOCKBUF, &sb);
    return sb;
}

int bound_new_socket(LDAP*, Sockbuf* sb, LDAPURLDesc*, sockaddr*, ldap_conncb*) {
    begin_bound(sb, false);
    return 0;
}

void forget_socket(LDAP*, Sockbuf*, ldap_conncb*) {}

}  // namespace

StartTls starttls_from_environment() {
    const char* text = std::getenv("QDX_STARTTLS");
    if (text == nullptr) return StartTls::kOff;
    if (strcasecmp(text, "try") == 0 || std::strcmp(text, "1") == 0) return StartTls::kTry;
    if (strcasecmp(text, "demand") == 0 || std::strcmp(text, "2") == 0) return StartTls::kDemand;
    return StartTls::kOff;
}

StartTls starttls_mode(int requested) {
    switch (requested) {
        case 0:
            return StartTls::kOff;
        case 1:
            return StartTls::kTry;
        case 2:
            return StartTls::kDemand;
        default:
            return starttls_from_environment();
    }
}

void bound_handshakes(LDAP* ld) {
    // libldap keeps the record by address for the life of the session.
    static ldap_conncb callbacks{bound_new_socket, forget_socket, nullptr};
    ldap_set_option(ld, LDAP_OPT_CONNECT_CB, &callbacks);
}

void end_handshake_bound(LDAP* ld) {
    // libldap leaves the socket of a new connection blocking: nothing to give back.
    if (Sockbuf* sb = sockbuf_of(ld)) end_bound(sb, -1);
}

bool tls_active(LDAP* ld) {
    return ld != nullptr && ldap_tls_inplace(ld) != 0;
}

std::string diagnostic_text(LDAP* ld) {
    char* text = nullptr;
    if (ld == nullptr || ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &text) != 0 ||
        text == nullptr)
        return {};
    std::string copy(text);
    ldap_memfree(text);
    return copy;
}

int start_tls(LDAP* ld, StartTls mode, const timeval& limit) {
    if (mode == StartTls::kOff || tls_active(ld)) return 0;
    // The request is sent and awaited here rather than with ldap_start_tls_s, whose wait
    // has no bound.
    int msgid = -1;
    int rc = ldap_start_tls(ld, nullptr, nullptr, &msgid);
    LDAPMessage* answer = nullptr;
    if (rc == LDAP_SUCCESS) {
        timeval wait = limit;
        int type = ldap_result(ld, msgid, LDAP_MSG_ALL, &wait, &answer);
        if (type == 0) rc = LDAP_TIMEOUT;
        if (type < 0) ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &rc);
        if (type > 0) rc = ldap_result2error(ld, answer, 1);
    }
    if (rc > 0) {
        // The server refused: "try" goes on in clear.
        if (mode == StartTls::kTry) return 0;
        note_connect_failure(
            "the server refused StartTLS: " + std::string(ldap_err2string(rc)) +
                (diagnostic_text(ld).empty() ? "" : " (" + diagnostic_text(ld) + ")"),
            true);
        return QDX_LDAP_CONNECT_ERROR;
    }
    if (rc == LDAP_SUCCESS) {
        Sockbuf* sb = sockbuf_of(ld);
        int flags = sb ? begin_bound(sb) : -1;
        rc = ldap_install_tls(ld);
        if (sb) end_bound(sb, flags);
    }
    if (rc == LDAP_SUCCESS) return 0;
    note_tls_failure("StartTLS", ld, rc);
    return qdx_ldap_classic_code(rc);
}

void note_tls_failure(const std::string& what, LDAP* ld, int rc) {
    std::string why = diagnostic_text(ld);
    note_connect_failure(what + " failed: " + ldap_err2string(rc) +
                             (why.empty() ? "" : ": " + why) +
                             " (TLS handshake or certificate check; the CA comes from "
                             "LDAPTLS_CACERT or TLS_CACERT in ldap.conf)",
                         true);
}

}  // namespace dirclient::ldapaccess
