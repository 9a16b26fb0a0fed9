#include "ldap_trace.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <lber.h>
#include <ldap.h>

#include "debug_mask.h"

namespace dirclient::ldapaccess {

namespace {

// libldap's LDAP_DEBUG_PACKETS and LDAP_DEBUG_BER (private to its sources).
constexpr int kLibraryPacketDump = 0x2;
constexpr int kLibraryBerDump = 0x10;

}  // namespace

// ldap_debug is a plain int shared with the runtime; sessions opened from several threads
// write it, so every access here is atomic.
bool trace_enabled(int bits) {
    return (__atomic_load_n(&ldap_debug, __ATOMIC_RELAXED) & bits) == bits;
}

void trace(int bits, const char* format, ...) {
    if (!trace_enabled(bits)) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

void apply_debug_environment() {
    const char* value = std::getenv("QDX_DEBUG");
    if (value == nullptr) return;
    int level = std::atoi(value);
    __atomic_store_n(&ldap_debug, level, __ATOMIC_RELAXED);
    // The libraries' packet and BER dumps would show bind passwords: never ask for them.
    int library_level = level & ~(kLibraryPacketDump | kLibraryBerDump);
    ldap_set_option(nullptr, LDAP_OPT_DEBUG_LEVEL, &library_level);
    ber_set_option(nullptr, LBER_OPT_DEBUG_LEVEL, &library_level);
}

unsigned trace_id(const void* p) {
    return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(p));
}

}  // namespace dirclient::ldapaccess
