#include "tls_options.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>

#include "ldap_result_codes.h"

namespace dirclient::ldapaccess {

namespace {

thread_local std::string connect_failure;

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
        note_connect_failure("the server refused StartTLS: " + std::string(ldap_err2string(rc)) +
                             (diagnostic_text(ld).empty() ? "" : " (" + diagnostic_text(ld) + ")"));
        return QDX_LDAP_CONNECT_ERROR;
    }
    if (rc == LDAP_SUCCESS) rc = ldap_install_tls(ld);
    if (rc == LDAP_SUCCESS) return 0;
    note_tls_failure("StartTLS", ld, rc);
    return qdx_ldap_classic_code(rc);
}

void note_tls_failure(const std::string& what, LDAP* ld, int rc) {
    std::string why = diagnostic_text(ld);
    note_connect_failure(what + " failed: " + ldap_err2string(rc) +
                         (why.empty() ? "" : ": " + why) +
                         " (TLS handshake or certificate check; the CA comes from "
                         "LDAPTLS_CACERT or TLS_CACERT in ldap.conf)");
}

const std::string& last_connect_failure() {
    return connect_failure;
}

void note_connect_failure(std::string text) {
    connect_failure = std::move(text);
}

}  // namespace dirclient::ldapaccess
