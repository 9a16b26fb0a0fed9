#ifndef DIRCLIENT_MODERN_ERROR_H
#define DIRCLIENT_MODERN_ERROR_H

// dirclient::Error: the one exception of the modern interface. Every failure of a call
// (connect, bind, search, add, ...) is thrown as an Error carrying what the classic
// interface reports in a DException: the operation's code and info text, the LDAP result
// code, and what the server said beside it (its diagnostic message, the matched DN of a
// "no such object", referral URLs).
//
// Threads: an Error is a value; copies are independent.

#include <stdexcept>
#include <string>
#include <vector>

#include "dirclient_export.h"

class DException;

namespace dirclient {

class DIRCLIENT_API Error : public std::runtime_error {
  public:
    // The fields of a classic exception (which stays the caller's).
    explicit Error(const DException& classic);
    // An error of the modern layer itself (no server involved).
    Error(int code, int ldapCode, std::string info, std::string detail);

    // The classic operation code (601 "can not add entry", 609 "can not search", ...), 0
    // for an error of the modern layer itself.
    int code() const noexcept { return code_; }
    // The LDAP result code behind the failure (32 no such object, 49 invalid credentials,
    // 81 server down, 85 time-out, ...), 0 when none.
    int ldapCode() const noexcept { return ldapCode_; }
    // What failed ("ERROR: can not add entry") and why, as the classic texts say it.
    const std::string& info() const noexcept { return info_; }
    const std::string& detail() const noexcept { return detail_; }
    // The server's words: "" / empty when it said nothing.
    const std::string& diagnostic() const noexcept { return diagnostic_; }
    const std::string& matchedDn() const noexcept { return matchedDn_; }
    const std::vector<std::string>& referrals() const noexcept { return referrals_; }

  private:
    int code_ = 0;
    int ldapCode_ = 0;
    std::string info_;
    std::string detail_;
    std::string diagnostic_;
    std::string matchedDn_;
    std::vector<std::string> referrals_;
};

}  // namespace dirclient

#endif
