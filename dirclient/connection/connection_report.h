#ifndef DIRCLIENT_CONNECTION_REPORT_H
#define DIRCLIENT_CONNECTION_REPORT_H

// Internal: the detail texts of DConnection's failures and the helpers that hand a failure
// to the caller's DException** (a null holder leaves it unreported).

#include <new>
#include <utility>

#include "dexception.h"
#include "session_access.h"
#include "status.h"

namespace dirclient::connection {

inline constexpr const char* kNoOpenConnection = "ERROR: no open connection";
inline constexpr const char* kInvalidEntry = "ERROR: invalid entry";
inline constexpr const char* kInvalidDn = "ERROR: invalid DN";
inline constexpr const char* kInvalidRdn = "ERROR: invalid RDN";
inline constexpr const char* kInvalidAttribute = "ERROR: invalid attribute";
inline constexpr const char* kInvalidAttributeName = "ERROR: invalid attribute name";
inline constexpr const char* kInvalidAttributeValue = "ERROR: invalid attribute value";
inline constexpr const char* kInvalidModification = "ERROR: invalid modification";
inline constexpr const char* kInvalidModificationSet = "ERROR: invalid modification set";
inline constexpr const char* kInvalidModificationOption = "ERROR: invalid modification option";
inline constexpr const char* kInvalidFilter = "ERROR: invalid filter";
inline constexpr const char* kInvalidSearchOption = "ERROR: invalid search option";
inline constexpr const char* kNoSuchObject = "ERROR: no such object";
inline constexpr const char* kOnlyStringValues = "ERROR: only string values supported";
inline constexpr const char* kCanNotSetTimer = "ERROR: can not set timer";
inline constexpr const char* kCanNotAllocate = "ERROR: can not allocate memory";
inline constexpr const char* kNoChildFound = "ERROR: no child found";
inline constexpr const char* kNotALeaf = "ERROR: entry is not a leaf";
// What a text dump shows in place of a password.
inline constexpr const char* kPasswordMask = "********";
// The "infoSMsg" with which a directory server's "no such object" reaches a leaf test.
inline constexpr const char* kNoSuchObjectText = "No such object";

// A failure of operation code with a detail text.
inline void fail(DException** out, int code, const char* detail) {
    if (out != nullptr)
        *out = new (std::nothrow) DException(dexception_info_message(code), code, detail);
}

// A failure of operation code carrying an LDAP result code.
inline void fail_ldap(DException** out, int code, int ldapCode) {
    if (out != nullptr)
        *out = new (std::nothrow) DException(dexception_info_message(code), code, ldapCode);
}

// Hands what the server said over to a failure; a null failure stays null.
inline DException* with_said(DException* failure, ldapaccess::ServerDiagnostics said) {
    if (failure == nullptr) return nullptr;
    failure->setDiagnosticMessage(std::move(said.message));
    failure->setMatchedDN(std::move(said.matched_dn));
    failure->setReferrals(std::move(said.referrals));
    return failure;
}

// fail_ldap with what the server said beside the code.
inline void fail_said(DException** out, int code, int ldapCode,
                      ldapaccess::ServerDiagnostics said) {
    fail_ldap(out, code, ldapCode);
    if (out != nullptr) with_said(*out, std::move(said));
}

// What the server said with the last answer on handle, or nothing after a success; the
// caller holds the connection's lock.
inline ldapaccess::ServerDiagnostics said_after(DS_LDAP* handle, int rc) {
    return rc != 0 && handle != nullptr ? ldapaccess::handle_diagnostics(handle)
                                        : ldapaccess::ServerDiagnostics{};
}

// A failed open. A failed TLS handshake, certificate check or StartTLS says so in the
// detail text, in OpenLDAP's words; any other failure keeps "no open connection" there and
// carries why (refused, host not found, timed out, the flat file's reason) as the
// diagnostic message. flatFileReason: the flat file's own reason, null for servers.
void fail_open(DException** out, const char* flatFileReason);

inline void succeed(DException** out) {
    if (out != nullptr) *out = nullptr;
}

// The same failures as the outcome of an internal step, reported once by the public method.
inline Status failed(int code, const char* detail) {
    return Status::failure(dexception_info_message(code), code, detail);
}

inline Status failed_ldap(int code, int ldapCode) {
    return Status::failure(dexception_info_message(code), code, ldapCode);
}

inline Status failed_said(int code, int ldapCode, ldapaccess::ServerDiagnostics said) {
    Status status = failed_ldap(code, ldapCode);
    with_said(status.exception(), std::move(said));
    return status;
}

// Hands status to the caller of a public method: null on success, the failure otherwise;
// returns whether it was a success.
inline bool report_to(DException** out, Status status) {
    succeed(out);
    return status.report(out);
}

// A holder for callers that pass no DException**: the inner steps always get one, and what
// lands in it is released when the call ends.
class PrivateHolder {
  public:
    explicit PrivateHolder(DException** out) : out_(out != nullptr ? out : &own_) {}
    ~PrivateHolder() { delete own_; }
    PrivateHolder(const PrivateHolder&) = delete;
    PrivateHolder& operator=(const PrivateHolder&) = delete;

    DException** get() const { return out_; }
    DException* failure() const { return *out_; }

  private:
    DException* own_ = nullptr;
    DException** out_;
};

}  // namespace dirclient::connection

#endif
