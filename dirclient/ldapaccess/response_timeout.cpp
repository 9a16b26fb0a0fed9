#include "response_timeout.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include <lber.h>

namespace dirclient::ldapaccess {

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr double kDefaultResponseSeconds = 30.0;
// A private control option of our sockbuf layer: hands out the byte count.
constexpr int kReadCountOption = LBER_SB_OPT_OPT_MAX + 0x5d1;

// A sockbuf layer on top of libldap's that counts what it reads.
int counter_setup(Sockbuf_IO_Desc* sbiod, void*) {
    sbiod->sbiod_pvt = new unsigned long(0);
    return 0;
}

int counter_remove(Sockbuf_IO_Desc* sbiod) {
    delete static_cast<unsigned long*>(sbiod->sbiod_pvt);
    sbiod->sbiod_pvt = nullptr;
    return 0;
}

int counter_ctrl(Sockbuf_IO_Desc* sbiod, int option, void* arg) {
    if (option == kReadCountOption) {
        *static_cast<unsigned long*>(arg) = *static_cast<unsigned long*>(sbiod->sbiod_pvt);
        return 1;
    }
    return LBER_SBIOD_CTRL_NEXT(sbiod, option, arg);
}

ber_slen_t counter_read(Sockbuf_IO_Desc* sbiod, void* buffer, ber_len_t length) {
    ber_slen_t n = LBER_SBIOD_READ_NEXT(sbiod, buffer, length);
    if (n > 0) *static_cast<unsigned long*>(sbiod->sbiod_pvt) += static_cast<unsigned long>(n);
    return n;
}

ber_slen_t counter_write(Sockbuf_IO_Desc* sbiod, void* buffer, ber_len_t length) {
    return LBER_SBIOD_WRITE_NEXT(sbiod, buffer, length);
}

int counter_close(Sockbuf_IO_Desc*) {
    return 0;
}

Sockbuf_IO counter_io = {counter_setup, counter_remove, counter_ctrl,
                         counter_read,  counter_write,  counter_close};

Sockbuf* sockbuf_of(LDAP* ld) {
    Sockbuf* sb = nullptr;
    if (ld == nullptr || ldap_get_option(ld, LDAP_OPT_SOCKBUF, &sb) != LDAP_OPT_SUCCESS)
        return nullptr;
    return sb;
}

timeval to_timeval(Seconds span) {
    double seconds = std::max(span.count(), 0.0);
    timeval tv;
    tv.tv_sec = static_cast<time_t>(seconds);
    tv.tv_usec = static_cast<suseconds_t>((seconds - static_cast<double>(tv.tv_sec)) * 1e6);
    return tv;
}

Seconds to_seconds(const timeval& tv) {
    return Seconds(static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6);
}

}  // namespace

std::optional<double> parse_seconds(const char* text) {
    if (text == nullptr) return std::nullopt;
    char* end = nullptr;
    double parsed = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(parsed > 0) || parsed >= 86400) return std::nullopt;
    return parsed;
}

double response_timeout_from_environment() {
    return parse_seconds(std::getenv("QDX_RESPONSE_TIMEOUT")).value_or(kDefaultResponseSeconds);
}

bool watch_received_bytes(LDAP* ld) {
    Sockbuf* sb = sockbuf_of(ld);
    if (sb == nullptr) return false;
    ber_socket_t fd = -1;
    if (ber_sockbuf_ctrl(sb, LBER_SB_OPT_GET_FD, &fd) != 1 || fd < 0) return false;
    if (ber_sockbuf_ctrl(sb, LBER_SB_OPT_HAS_IO, &counter_io) == 1) return true;
    return ber_sockbuf_add_io(sb, &counter_io, LBER_SBIOD_LEVEL_APPLICATION, nullptr) == 0;
}

unsigned long received_bytes(LDAP* ld) {
    Sockbuf* sb = sockbuf_of(ld);
    unsigned long count = 0;
    if (sb == nullptr || ber_sockbuf_ctrl(sb, LBER_SB_OPT_HAS_IO, &counter_io) != 1) return 0;
    ber_sockbuf_ctrl(sb, kReadCountOption, &count);
    return count;
}

int await_response(LDAP* ld, int msgid, int all, const timeval* limit, double response_seconds,
                   LDAPMessage** res, bool* silent) {
    *silent = false;
    const Seconds response(response_seconds);
    if (limit != nullptr && to_seconds(*limit) <= response) {
        timeval wait = *limit;
        return ldap_result(ld, msgid, all, &wait, res);
    }
    watch_received_bytes(ld);
    const Clock::time_point start = Clock::now();
    std::optional<Clock::time_point> deadline;
    if (limit != nullptr)
        deadline = start + std::chrono::duration_cast<Clock::duration>(to_seconds(*limit));
    // Short slices, so that a server falling silent is noticed about one time-out after
    // its last byte.
    const Seconds slice = std::max(response / 4, Seconds(0.01));
    Clock::time_point last_progress = start;
    unsigned long seen = received_bytes(ld);
    for (;;) {
        Clock::time_point until =
            last_progress + std::chrono::duration_cast<Clock::duration>(response);
        if (deadline) until = std::min(until, *deadline);
        timeval wait = to_timeval(std::min(Seconds(until - Clock::now()), slice));
        if (wait.tv_sec == 0 && wait.tv_usec == 0) wait.tv_usec = 1000;
        int type = ldap_result(ld, msgid, all, &wait, res);
        if (type != 0) return type;
        Clock::time_point now = Clock::now();
        unsigned long count = received_bytes(ld);
        if (count != seen) {
            seen = count;
            last_progress = now;
        }
        if (deadline && now >= *deadline) return 0;
        if (now - last_progress >= response) {
            *silent = true;
            return 0;
        }
    }
}

}  // namespace dirclient::ldapaccess
