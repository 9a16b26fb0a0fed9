#include "ldap_cext_calls.h"

#include <cstdio>
#include <new>

#include "cext_session.h"
#include "ldap_result_codes.h"
#include "message_access.h"

using namespace dirclient::ldapaccess;

namespace {

// Runs "body" with the session mutex held; "failure" for a null session or when memory
// runs out (no exception leaves the API).
template <typename Body, typename Result>
Result serialized(LDAP_CEXT* s, Result failure, Body body) {
    if (s == nullptr) return failure;
    try {
        SessionCall call(s);
        return body(*s->core);
    } catch (...) {
        return failure;
    }
}

template <typename Body>
void serialized_void(LDAP_CEXT* s, Body body) {
    serialized(s, 0, [&](SessionCore& core) {
        body(core);
        return 0;
    });
}

struct UrlSearch {
    LDAPURLDesc* url = nullptr;
    ~UrlSearch() {
        if (url) ldap_free_urldesc(url);
    }
    bool parse(const char* text) {
        return text != nullptr && ldap_url_parse(text, &url) == LDAP_URL_SUCCESS;
    }
    // A URL without a scope asks for the base object (RFC 4516).
    int scope() const { return url->lud_scope == LDAP_SCOPE_DEFAULT ? 0 : url->lud_scope; }
    const char* filter() const { return url->lud_filter ? url->lud_filter : "(objectClass=*)"; }
    const char* base() const { return url->lud_dn ? url->lud_dn : ""; }
};

}  // namespace

extern "C" {

int ldap_cext_add(LDAP_CEXT* s, const char* dn, LDAPMod** attrs) {
    return serialized(s, -1, [&](SessionCore& core) { return core.add(dn, attrs); });
}

int ldap_cext_add_s(LDAP_CEXT* s, const char* dn, LDAPMod** attrs) {
    return serialized(s, QDX_LDAP_PARAM_ERROR,
                      [&](SessionCore& core) { return core.add_s(dn, attrs); });
}

int ldap_cext_compare(LDAP_CEXT* s, const char* dn, const char* attr, const char* value) {
    return serialized(s, -1, [&](SessionCore& core) { return core.compare(dn, attr, value); });
}

int ldap_cext_delete(LDAP_CEXT* s, const char* dn) {
    return serialized(s, -1, [&](SessionCore& core) { return core.remove(dn); });
}

int ldap_cext_delete_s(LDAP_CEXT* s, const char* dn) {
    return serialized(s, QDX_LDAP_PARAM_ERROR,
                      [&](SessionCore& core) { return core.remove_s(dn); });
}

int ldap_cext_modify(LDAP_CEXT* s, const char* dn, LDAPMod** mods) {
    return serialized(s, -1, [&](SessionCore& core) { return core.modify(dn, mods); });
}

int ldap_cext_modify_s(LDAP_CEXT* s, const char* dn, LDAPMod** mods) {
    return serialized(s, QDX_LDAP_PARAM_ERROR,
                      [&](SessionCore& core) { return core.modify_s(dn, mods); });
}

int ldap_cext_modrdn(LDAP_CEXT* s, const char* dn, const char* newrdn) {
    return ldap_cext_modrdn2(s, dn, newrdn, 1);
}

int ldap_cext_modrdn_s(LDAP_CEXT* s, const char* dn, const char* newrdn) {
    return ldap_cext_modrdn2_s(s, dn, newrdn, 1);
}

int ldap_cext_modrdn2(LDAP_CEXT* s, const char* dn, const char* newrdn, int deleteoldrdn) {
    return serialized(s, -1,
                      [&](SessionCore& core) { return core.modrdn(dn, newrdn, deleteoldrdn); });
}

int ldap_cext_modrdn2_s(LDAP_CEXT* s, const char* dn, const char* newrdn, int deleteoldrdn) {
    return serialized(s, QDX_LDAP_PARAM_ERROR,
                      [&](SessionCore& core) { return core.modrdn_s(dn, newrdn, deleteoldrdn); });
}

int ldap_cext_result2error(LDAP_CEXT* s, LDAPMessage* result, int freeit) {
    return serialized(s, QDX_LDAP_PARAM_ERROR, [&](SessionCore& core) {
        int code = message::result2error(core.ld(), result, freeit);
        core.set_last_error(code);
        return code;
    });
}

int ldap_cext_msgdelete(LDAP_CEXT* s, int msgid) {
    return serialized(s, -1, [&](SessionCore& core) { return core.msgdelete(msgid); });
}

void ldap_cext_perror(LDAP_CEXT* s, const char* text) {
    serialized_void(s, [&](SessionCore& core) {
        std::fprintf(stderr, "%s: %s\n", text ? text : "ldap_cext_perror",
                     qdx_ldap_err2string(core.last_error()));
    });
}

LDAPMessage* ldap_cext_first_entry(LDAP_CEXT* s, LDAPMessage* chain) {
    return serialized(s, static_cast<LDAPMessage*>(nullptr),
                      [&](SessionCore& core) { return message::first_entry(core.ld(), chain); });
}

LDAPMessage* ldap_cext_next_entry(LDAP_CEXT* s, LDAPMessage* entry) {
    return serialized(s, static_cast<LDAPMessage*>(nullptr),
                      [&](SessionCore& core) { return message::next_entry(core.ld(), entry); });
}

int ldap_cext_count_entries(LDAP_CEXT* s, LDAPMessage* chain) {
    return serialized(s, -1,
                      [&](SessionCore& core) { return message::count_entries(core.ld(), chain); });
}

char* ldap_cext_get_dn(LDAP_CEXT* s, LDAPMessage* entry) {
    return serialized(s, static_cast<char*>(nullptr),
                      [&](SessionCore& core) { return message::get_dn(core.ld(), entry); });
}

char* ldap_cext_first_attribute(LDAP_CEXT* s, LDAPMessage* entry, BerElement** ber) {
    return serialized(s, static_cast<char*>(nullptr), [&](SessionCore& core) {
        return message::first_attribute(core.ld(), entry, ber);
    });
}

char* ldap_cext_next_attribute(LDAP_CEXT* s, LDAPMessage* entry, BerElement* ber) {
    return serialized(s, static_cast<char*>(nullptr), [&](SessionCore& core) {
        return message::next_attribute(core.ld(), entry, ber);
    });
}

char** ldap_cext_get_values(LDAP_CEXT* s, LDAPMessage* entry, const char* attr) {
    return serialized(s, static_cast<char**>(nullptr), [&](SessionCore& core) {
        return message::get_values(core.ld(), entry, attr);
    });
}

struct berval** ldap_cext_get_values_len(LDAP_CEXT* s, LDAPMessage* entry, const char* attr) {
    return serialized(s, static_cast<struct berval**>(nullptr), [&](SessionCore& core) {
        return message::get_values_len(core.ld(), entry, attr);
    });
}

int ldap_cext_sort_entries(LDAP_CEXT* s, LDAPMessage** chain, const char* attr,
                           LDAP_CEXT_ENTRY_CMP cmp) {
    return serialized(s, QDX_LDAP_PARAM_ERROR, [&](SessionCore& core) {
        return message::sort_entries(core.ld(), chain, attr, cmp);
    });
}

int ldap_cext_sort_values(LDAP_CEXT* s, char** values, LDAP_CEXT_VALUE_CMP cmp) {
    return serialized(s, QDX_LDAP_PARAM_ERROR, [&](SessionCore& core) {
        return qdx_ldap_classic_code(ldap_sort_values(core.ld(), values, cmp));
    });
}

int ldap_cext_enable_cache(LDAP_CEXT* s, long timeout, long maxmem) {
    return serialized(s, -1, [&](SessionCore& core) { return core.enable_cache(timeout, maxmem); });
}

void ldap_cext_disable_cache(LDAP_CEXT* s) {
    serialized_void(s, [](SessionCore& core) {
        if (core.cache()) core.cache()->disable();
    });
}

void ldap_cext_set_cache_options(LDAP_CEXT* s, unsigned long options) {
    serialized_void(s, [&](SessionCore& core) {
        if (core.cache()) core.cache()->set_options(options);
    });
}

void ldap_cext_destroy_cache(LDAP_CEXT* s) {
    serialized_void(s, [](SessionCore& core) { core.destroy_cache(); });
}

void ldap_cext_flush_cache(LDAP_CEXT* s) {
    serialized_void(s, [](SessionCore& core) {
        if (core.cache()) core.cache()->flush();
    });
}

void ldap_cext_uncache_entry(LDAP_CEXT* s, const char* dn) {
    serialized_void(s, [&](SessionCore& core) {
        if (core.cache()) core.cache()->uncache_entry(dn);
    });
}

void ldap_cext_uncache_request(LDAP_CEXT* s, int msgid) {
    serialized_void(s, [&](SessionCore& core) {
        if (core.cache()) core.cache()->uncache_request(msgid);
    });
}

int ldap_cext_url_search(LDAP_CEXT* s, const char* url, int attrsonly) {
    return serialized(s, -1, [&](SessionCore& core) {
        UrlSearch search;
        if (!search.parse(url)) {
            core.set_last_error(qdx_ldap_classic_code(LDAP_PARAM_ERROR));
            return -1;
        }
        return core.search(search.base(), search.scope(), search.filter(), search.url->lud_attrs,
                           attrsonly);
    });
}

int ldap_cext_url_search_st(LDAP_CEXT* s, const char* url, int attrsonly, struct timeval* timeout,
                            LDAPMessage** result) {
    if (result != nullptr) *result = nullptr;
    return serialized(s, QDX_LDAP_PARAM_ERROR, [&](SessionCore& core) {
        UrlSearch search;
        if (result == nullptr || !search.parse(url)) return QDX_LDAP_PARAM_ERROR;
        return core.search_s(search.base(), search.scope(), search.filter(), search.url->lud_attrs,
                             attrsonly, timeout, result);
    });
}

int ldap_cext_url_search_s(LDAP_CEXT* s, const char* url, int attrsonly, LDAPMessage** result) {
    return ldap_cext_url_search_st(s, url, attrsonly, nullptr, result);
}

char* ldap_cext_err2string(int code) {
    return qdx_ldap_err2string(code);
}

int ldap_cext_msgfree(LDAPMessage* message) {
    return message::msgfree(message);
}

LDAPMessage* ldap_cext_delete_result_entry(LDAPMessage** list, LDAPMessage* entry) {
    return message::delete_result_entry(list, entry);
}

void ldap_cext_add_result_entry(LDAPMessage** list, LDAPMessage* entry) {
    message::add_result_entry(list, entry);
}

char* ldap_cext_dn2ufn(const char* dn) {
    return dn ? ldap_dn2ufn(dn) : nullptr;
}

char** ldap_cext_explode_dn(const char* dn, int notypes) {
    return dn ? ldap_explode_dn(dn, notypes) : nullptr;
}

int ldap_cext_count_values(char** values) {
    return ldap_count_values(values);
}

int ldap_cext_count_values_len(struct berval** values) {
    return ldap_count_values_len(values);
}

void ldap_cext_value_free(char** values) {
    ldap_value_free(values);
}

void ldap_cext_value_free_len(struct berval** values) {
    ldap_value_free_len(values);
}

void ldap_cext_memfree(void* p) {
    ldap_memfree(p);
}

void ldap_cext_mods_free(LDAPMod** mods, int freemods) {
    if (mods) ldap_mods_free(mods, freemods);
}

int ldap_cext_sort_strcasecmp(const void* a, const void* b) {
    return ldap_sort_strcasecmp(a, b);
}

int ldap_cext_is_ldap_url(const char* url) {
    return url ? ldap_is_ldap_url(url) : 0;
}

int ldap_cext_url_parse(const char* url, LDAPURLDesc** description) {
    if (url == nullptr || description == nullptr) return LDAP_URL_ERR_PARAM;
    return ldap_url_parse(url, description);
}

void ldap_cext_free_urldesc(LDAPURLDesc* description) {
    if (description) ldap_free_urldesc(description);
}

}  // extern "C"
