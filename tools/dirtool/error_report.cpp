#include "error_report.h"

#include <cstdio>

#include <dirclient/dexception.h>
#include <dirclient/ldap_result_codes.h>

namespace dirtool {

std::string describe_exception(const DException& exception) {
    std::string text = exception.getInfoMsg();
    if (text.empty()) text = "ERROR";
    if (exception.getErrorCode() != 0)
        text += " [" + std::to_string(exception.getErrorCode()) + "]";
    std::string detail = exception.getInfoSMsg();
    if (!detail.empty()) text += ": " + detail;
    if (int code = exception.getLdapErrorCode(); code != 0) {
        text += detail.empty() ? ": " : "; ";
        text += "LDAP result " + std::to_string(code) + ", " + qdx_ldap_err2string(code);
    }
    return text + server_words(exception);
}

std::string server_words(const DException& exception) {
    // Laid out as OpenLDAP's tools print them, one tab-indented line each.
    std::string text;
    if (*exception.getDiagnosticMessage() != '\0')
        text += std::string("\n\tadditional info: ") + exception.getDiagnosticMessage();
    if (*exception.getMatchedDN() != '\0')
        text += std::string("\n\tmatched DN: ") + exception.getMatchedDN();
    for (const std::string& url : exception.getReferrals())
        text += "\n\treferral: " + url;
    return text;
}

int failure_status(const DException& exception) {
    return status_of_code(exception.getLdapErrorCode());
}

int status_of_code(int code) {
    return code > 0 && code < 256 ? code : kExitFailed;
}

void message(const std::string& text) {
    fprintf(stderr, "dirtool: %s\n", text.c_str());
}

}  // namespace dirtool
