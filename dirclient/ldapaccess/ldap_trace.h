#ifndef DIRCLIENT_LDAP_TRACE_H
#define DIRCLIENT_LDAP_TRACE_H

// Diagnostic traces of the LDAP access layer, written to standard error under the bits of
// ldap_debug (QDX_DEBUG): bit 1 for the response cache, 0x2000 for server-list sessions and
// their idle timers.

namespace dirclient::ldapaccess {

inline constexpr int kTraceCache = 0x1;
inline constexpr int kTraceSession = 0x2000;

// True when every bit of "bits" is set in ldap_debug.
bool trace_enabled(int bits);

// printf-style trace to standard error when trace_enabled(bits).
void trace(int bits, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Reads QDX_DEBUG, when set, into ldap_debug and into the debug levels of libldap and liblber
// (without their packet dumps, which would show passwords).
void apply_debug_environment();

// A pointer or thread handle printed with "%x", as the traces show them.
unsigned trace_id(const void* p);

}  // namespace dirclient::ldapaccess

#endif
