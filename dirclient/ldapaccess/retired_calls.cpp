// Classic calls that the installed OpenLDAP no longer offers: the DNS-style name helpers are
// small enough to keep; user-friendly-name searches, filter configuration, T.61 translation
// and friendly names answer "not supported" (92) or null and leave the session alone.

#include <cstring>
#include <string>
#include <vector>

#include <lber.h>

#include "ldap_cext_calls.h"
#include "ldap_result_codes.h"

namespace {}  // namespace

extern "C" {

int ldap_cext_is_dns_dn(const char* dn) {
    return dn != nullptr && dn[0] != '\0' && std::strchr(dn, '=') == nullptr &&
           std::strchr(dn, ',') == nullptr;
}

char** ldap_cext_explode_dns(const char* dn) {
    if (dn == nullptr) return nullptr;
    std::vector<std::string> parts;
    std::string current;
    for (const char* p = dn;; ++p) {
        if (*p == '.' || *p == '@' || *p == '\0') {
            if (!current.empty()) parts.push_back(current);
            current.clear();
            if (*p == '\0') break;
        } else {
            current.push_back(*p);
        }
    }
    auto** out = static_cast<char**>(ber_memcalloc(parts.size() + 1, sizeof(char*)));
    if (out == nullptr) return nullptr;
    for (size_t i = 0; i < parts.size(); ++i) {
        out[i] = ber_strdup(parts[i].c_str());
        if (out[i] == nullptr) {
            ber_memvfree(reinterpret_cast<void**>(out));
            return nullptr;
        }
    }
    return out;
}

int ldap_cext_ufn_search_c(LDAP_CEXT*, char*, char**, int, LDAPMessage** result,
                           LDAP_CEXT_CANCEL_PROC, void*) {
    if (result) *result = nullptr;
    return QDX_LDAP_NOT_SUPPORTED;
}

int ldap_cext_ufn_search_ct(LDAP_CEXT*, char*, char**, int, LDAPMessage** result,
                            LDAP_CEXT_CANCEL_PROC, void*, char*, char*, char*) {
    if (result) *result = nullptr;
    return QDX_LDAP_NOT_SUPPORTED;
}

int ldap_cext_ufn_search_s(LDAP_CEXT*, char*, char**, int, LDAPMessage** result) {
    if (result) *result = nullptr;
    return QDX_LDAP_NOT_SUPPORTED;
}

LDAP_CEXT_FILTER_DESC* ldap_cext_ufn_setfilter(LDAP_CEXT*, char*) {
    return nullptr;
}

void ldap_cext_ufn_setprefix(LDAP_CEXT*, char*) {}

void ldap_cext_ufn_timeout(void*) {}

void ldap_cext_set_string_translators(LDAP_CEXT*, LDAP_CEXT_TRANSLATE_PROC,
                                      LDAP_CEXT_TRANSLATE_PROC) {}

int ldap_cext_translate_from_t61(LDAP_CEXT*, char**, unsigned long*, int) {
    return QDX_LDAP_NOT_SUPPORTED;
}

int ldap_cext_translate_to_t61(LDAP_CEXT*, char**, unsigned long*, int) {
    return QDX_LDAP_NOT_SUPPORTED;
}

void ldap_cext_enable_translation(LDAP_CEXT*, LDAPMessage*, int) {}

LDAP_CEXT_FILTER_DESC* ldap_cext_init_getfilter(char*) {
    return nullptr;
}

LDAP_CEXT_FILTER_DESC* ldap_cext_init_getfilter_buf(char*, long) {
    return nullptr;
}

LDAP_CEXT_FILTER_INFO* ldap_cext_getfirstfilter(LDAP_CEXT_FILTER_DESC*, char*, char*) {
    return nullptr;
}

LDAP_CEXT_FILTER_INFO* ldap_cext_getnextfilter(LDAP_CEXT_FILTER_DESC*) {
    return nullptr;
}

void ldap_cext_setfilteraffixes(LDAP_CEXT_FILTER_DESC*, char*, char*) {}

void ldap_cext_build_filter(char* buf, unsigned long buflen, char*, char*, char*, char*, char*,
                            char**) {
    if (buf != nullptr && buflen > 0) buf[0] = '\0';
}

void ldap_cext_getfilter_free(LDAP_CEXT_FILTER_DESC*) {}

char* ldap_cext_friendly_name(char*, char*, LDAP_CEXT_FRIENDLY_MAP**) {
    return nullptr;
}

void ldap_cext_free_friendlymap(LDAP_CEXT_FRIENDLY_MAP**) {}

}  // extern "C"
