#ifndef DIRCLIENT_DEXCEPTION_H
#define DIRCLIENT_DEXCEPTION_H

#include "dirclient_export.h"

#include <string>
#include <utility>
#include <vector>

#include "delement.h"

class DumpBuffer;

// Codes of the failed operations (DException::getErrorCode) and their info messages.
enum DExceptionCode {
    DEXC_ADD = 601,                 // "ERROR: can not add entry"
    DEXC_AUTHENTICATE = 602,        // "ERROR: can not authenticate"
    DEXC_COMPARE = 603,             // "ERROR: can not compare"
    DEXC_CONNECT = 604,             // "ERROR: can not connect"
    DEXC_REMOVE = 605,              // "ERROR: can not remove"
    DEXC_DISCONNECT = 606,          // "ERROR: can not disconnect"
    DEXC_MODIFY = 607,              // "ERROR: can not modify"
    DEXC_RENAME = 608,              // "ERROR: can not rename"
    DEXC_SEARCH = 609,              // "ERROR: can not search"
    DEXC_READ = 610,                // "ERROR: can not read"
    DEXC_MOVE = 611,                // "ERROR: can not move entry"
    DEXC_COMPARE_ATTR_NAMES = 612,  // "ERROR: can not construct a CompareAttrNames object"
    DEXC_GET_RESULT = 613,          // "ERROR: can not get result"
    DEXC_REMOVE_NOT_LEAF = 614,     // "ERROR: can not remove" (LDAP result 66)
    DEXC_ENABLE_CACHE = 615,        // "ERROR: can not enable the cache"
    DEXC_SET_TIMEOUT = 616          // "ERROR: can not enable the cache"
};

// The info message that goes with an error code above (a static text), null for others.
DIRCLIENT_API const char* dexception_info_message(int errorCode);

// The detail text of a mismatch between the requested and the collected result type.
extern DIRCLIENT_API const char* const
    DEXC_ASYNCHRONOUS_ERROR;  // "ERROR: asynchronous operation error"

// The error object of every operation, handed out through a DException** argument; the
// receiver owns it (ordinary new/delete). infoMsg says what failed, infoSMsg why; both are
// referred to, never copied or released, so they must outlive the exception (constants).
// ldapErrorCode is the LDAP result code behind the failure, 0 when none.
class DException : public DElement {
  public:
    DException() : DElement(DELEMENT_EXCEPTION) {}
    explicit DException(const char* info) : DException() { infoMsg_ = info; }
    DIRCLIENT_API DException(const char* info, int code, const char* sinfo)
        : DElement(DELEMENT_EXCEPTION), infoMsg_(info), infoSMsg_(sinfo), errorCode_(code) {}
    DIRCLIENT_API DException(const char* info, int code, int ldapCode)
        : DElement(DELEMENT_EXCEPTION),
          infoMsg_(info),
          errorCode_(code),
          ldapErrorCode_(ldapCode) {}
    // The last text is accepted and ignored.
    DIRCLIENT_API DException(const char* info, int code, const char* sinfo, const char*)
        : DException(info, code, sinfo) {}
    explicit DException(int code) : DException() { errorCode_ = code; }
    DException(int code, const char* info) : DException(info, code, nullptr) {}
    // The first number and the last text are accepted and ignored.
    DIRCLIENT_API DException(int, const char* info, int code, const char* sinfo)
        : DException(info, code, sinfo) {}
    DIRCLIENT_API DException(int, const char* info, int code, const char* sinfo, const char*)
        : DException(info, code, sinfo) {}

    // The texts, "" when not set.
    const char* getInfoMsg() const { return infoMsg_ != nullptr ? infoMsg_ : ""; }
    const char* getInfoSMsg() const { return infoSMsg_ != nullptr ? infoSMsg_ : ""; }
    const char* getErrorMessage() const { return infoMsg_; }  // may be null
    int getErrorCode() const { return errorCode_; }
    int getResultCode() const { return errorCode_; }
    int getLdapErrorCode() const { return ldapErrorCode_; }
    DIRCLIENT_API bool setInfoMsg(const char* info);
    DIRCLIENT_API bool setInfoSMsg(const char* sinfo);
    DIRCLIENT_API bool setErrorCode(int code);

    // What the server said beside its result code, kept as copies: its diagnostic message
    // ("" when none; for a failed connect, why no server could be reached), the matched DN
    // of a "no such object" ("" when none) and the referral URLs (empty when none). The
    // classic fields and the dump do not show them.
    const char* getDiagnosticMessage() const { return diagnostic_.c_str(); }
    const char* getMatchedDN() const { return matchedDn_.c_str(); }
    const std::vector<std::string>& getReferrals() const { return referrals_; }
    void setDiagnosticMessage(std::string message) { diagnostic_ = std::move(message); }
    void setMatchedDN(std::string dn) { matchedDn_ = std::move(dn); }
    void setReferrals(std::vector<std::string> urls) { referrals_ = std::move(urls); }

    // Text dumps; with an LDAP result code the LDAP library's text for it stands in place of
    // infoSMsg. The caller releases the result with check_free.
    DIRCLIENT_API char* ToString();
    DIRCLIENT_API char* ToString(int indent, bool compact);

  private:
    friend void dump(DumpBuffer& out, DException* object, int indent, bool compact);

    const char* infoMsg_ = nullptr;
    const char* infoSMsg_ = nullptr;
    int errorCode_ = 0;
    int ldapErrorCode_ = 0;
    std::string diagnostic_;
    std::string matchedDn_;
    std::vector<std::string> referrals_;
};

#endif
