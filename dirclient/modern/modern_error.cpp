// dirclient::Error: the classic exception's fields, and one text that says it all.

#include "modern_error.h"

#include <ldap.h>

#include "dexception.h"
#include "ldap_result_codes.h"
#include "modern_core.h"

namespace dirclient {

namespace {

// "info: detail (LDAP result N, text); additional info: ...; matched DN: ...", the parts
// that are empty left out.
std::string describe(int ldapCode, const std::string& info, const std::string& detail,
                     const std::string& diagnostic, const std::string& matchedDn) {
    std::string text = info.empty() ? "ERROR" : info;
    if (!detail.empty()) text += ": " + detail;
    if (ldapCode != LDAP_SUCCESS)
        text += " (LDAP result " + std::to_string(ldapCode) + ", " + qdx_ldap_err2string(ldapCode) +
                ")";
    if (!diagnostic.empty()) text += "; additional info: " + diagnostic;
    if (!matchedDn.empty()) text += "; matched DN: " + matchedDn;
    return text;
}

}  // namespace

std::string classic_text(std::string_view view) {
    if (view.find('\0') != std::string_view::npos)
        throw Error(0, LDAP_PARAM_ERROR, "ERROR: invalid argument",
                    "a DN, filter, name or password holds a NUL byte");
    return std::string(view);
}

Error::Error(const DException& classic)
    : std::runtime_error(describe(classic.getLdapErrorCode(), classic.getInfoMsg(),
                                  classic.getInfoSMsg(), classic.getDiagnosticMessage(),
                                  classic.getMatchedDN())),
      code_(classic.getErrorCode()),
      ldapCode_(classic.getLdapErrorCode()),
      info_(classic.getInfoMsg()),
      detail_(classic.getInfoSMsg()),
      diagnostic_(classic.getDiagnosticMessage()),
      matchedDn_(classic.getMatchedDN()),
      referrals_(classic.getReferrals()) {}

Error::Error(int code, int ldapCode, std::string info, std::string detail)
    : std::runtime_error(describe(ldapCode, info, detail, {}, {})),
      code_(code),
      ldapCode_(ldapCode),
      info_(std::move(info)),
      detail_(std::move(detail)) {}

}  // namespace dirclient
