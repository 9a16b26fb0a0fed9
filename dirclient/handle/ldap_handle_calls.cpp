#include "ldap_handle_calls.h"

#include "call_activity.h"
#include "ldap_cext.h"
#include "ldap_cext_calls.h"
#include "ldap_response_cache.h"
#include "ldap_result_codes.h"
#include "message_access.h"
#include "plain_session.h"

using namespace dirclient::ldapaccess;

namespace {

// What a call returns when it is refused (not an LDAP handle) and when memory runs out.
template <typename R>
struct Failure {
    R refused;
    R exhausted;
};
constexpr Failure<int> kId{-1, -1};
constexpr Failure<int> kCode{QDX_LDAP_PARAM_ERROR, QDX_LDAP_NO_MEMORY};
template <typename P>
constexpr Failure<P*> kNone{nullptr, nullptr};

// Runs "on_list" for a server-list handle and "on_plain" for a plain one. Flat-file handles
// never reach the LDAP calls: their session is no LDAP*, so they are refused untouched.
template <typename R, typename Plain, typename List>
R dispatch(DS_LDAP* handle, Failure<R> failure, Plain on_plain, List on_list) {
    if (handle == nullptr || handle->session == nullptr) return failure.refused;
    if (handle->kind == QDX_LDAP_SERVER_LIST)
        return on_list(static_cast<LDAP_CEXT*>(handle->session));
    if (handle->kind != QDX_LDAP_PLAIN) return failure.refused;
    try {
        return on_plain(static_cast<LDAP*>(handle->session));
    } catch (...) {
        return failure.exhausted;
    }
}

// The same for calls served by our plain session's request and result layer.
template <typename R, typename Core, typename List>
R dispatch_core(DS_LDAP* handle, Failure<R> failure, Core on_core, List on_list) {
    return dispatch(
        handle, failure, [&](LDAP* ld) { return on_core(plain::core(ld)); }, on_list);
}

}  // namespace

extern "C" {

int qdx_ldap_add(DS_LDAP* handle, const char* dn, LDAPMod** mods) {
    CallActivity activity("ldap_add");
    return dispatch_core(
        handle, kId, [&](SessionCore& core) { return core.add(dn, mods); },
        [&](LDAP_CEXT* s) { return ldap_cext_add(s, dn, mods); });
}

int qdx_ldap_add_s(DS_LDAP* handle, const char* dn, LDAPMod** mods) {
    CallActivity activity("ldap_add_s");
    return dispatch_core(
        handle, kCode, [&](SessionCore& core) { return core.add_s(dn, mods); },
        [&](LDAP_CEXT* s) { return ldap_cext_add_s(s, dn, mods); });
}

int qdx_ldap_delete(DS_LDAP* handle, const char* dn) {
    CallActivity activity("ldap_delete");
    return dispatch_core(
        handle, kId, [&](SessionCore& core) { return core.remove(dn); },
        [&](LDAP_CEXT* s) { return ldap_cext_delete(s, dn); });
}

int qdx_ldap_delete_s(DS_LDAP* handle, const char* dn) {
    CallActivity activity("ldap_delete_s");
    return dispatch_core(
        handle, kCode, [&](SessionCore& core) { return core.remove_s(dn); },
        [&](LDAP_CEXT* s) { return ldap_cext_delete_s(s, dn); });
}

int qdx_ldap_modify(DS_LDAP* handle, const char* dn, LDAPMod** mods) {
    CallActivity activity("ldap_modify");
    return dispatch_core(
        handle, kId, [&](SessionCore& core) { return core.modify(dn, mods); },
        [&](LDAP_CEXT* s) { return ldap_cext_modify(s, dn, mods); });
}

int qdx_ldap_modify_s(DS_LDAP* handle, const char* dn, LDAPMod** mods) {
    CallActivity activity("ldap_modify_s");
    return dispatch_core(
        handle, kCode, [&](SessionCore& core) { return core.modify_s(dn, mods); },
        [&](LDAP_CEXT* s) { return ldap_cext_modify_s(s, dn, mods); });
}

int qdx_ldap_modrdn2(DS_LDAP* handle, const char* dn, const char* newrdn, int deleteoldrdn) {
    CallActivity activity("ldap_modrdn2");
    return dispatch_core(
        handle, kId, [&](SessionCore& core) { return core.modrdn(dn, newrdn, deleteoldrdn); },
        [&](LDAP_CEXT* s) { return ldap_cext_modrdn2(s, dn, newrdn, deleteoldrdn); });
}

int qdx_ldap_modrdn2_s(DS_LDAP* handle, const char* dn, const char* newrdn, int deleteoldrdn) {
    CallActivity activity("ldap_modrdn2_s");
    return dispatch_core(
        handle, kCode, [&](SessionCore& core) { return core.modrdn_s(dn, newrdn, deleteoldrdn); },
        [&](LDAP_CEXT* s) { return ldap_cext_modrdn2_s(s, dn, newrdn, deleteoldrdn); });
}

int qdx_ldap_simple_bind(DS_LDAP* handle, const char* dn, const char* password) {
    CallActivity activity("ldap_simple_bind");
    return dispatch_core(
        handle, kId, [&](SessionCore& core) { return core.bind(dn, password, LDAP_AUTH_SIMPLE); },
        [&](LDAP_CEXT* s) { return ldap_cext_simple_bind(s, dn, password); });
}

int qdx_ldap_simple_bind_s(DS_LDAP* handle, const char* dn, const char* password) {
    CallActivity activity("ldap_simple_bind_s");
    return dispatch_core(
        handle, kCode,
        [&](SessionCore& core) { return core.bind_s(dn, password, LDAP_AUTH_SIMPLE); },
        [&](LDAP_CEXT* s) { return ldap_cext_simple_bind_s(s, dn, password, LDAP_CEXT_FAILOVER); });
}

int qdx_ldap_compare_s(DS_LDAP* handle, const char* dn, const char* attribute, const char* value) {
    CallActivity activity("ldap_compare_s");
    return dispatch_core(
        handle, kCode, [&](SessionCore& core) { return core.compare_s(dn, attribute, value); },
        [&](LDAP_CEXT* s) {
            return ldap_cext_compare_s(s, dn, attribute, value, LDAP_CEXT_FAILOVER);
        });
}

int qdx_ldap_search(DS_LDAP* handle, const char* base, int scope, const char* filter, char** attrs,
                    int attrsonly) {
    CallActivity activity("ldap_search");
    return dispatch_core(
        handle, kId,
        [&](SessionCore& core) { return core.search(base, scope, filter, attrs, attrsonly); },
        [&](LDAP_CEXT* s) {
            // Flag 1 alone: a plain search on the current server, neither recorded nor
            // failed over.
            return ldap_cext_search(s, base, scope, filter, attrs, attrsonly, LDAP_CEXT_FAILOVER);
        });
}

int qdx_ldap_search_s(DS_LDAP* handle, const char* base, int scope, const char* filter,
                      char** attrs, int attrsonly, LDAPMessage** result) {
    CallActivity activity("ldap_search_s");
    if (result == nullptr) return QDX_LDAP_PARAM_ERROR;
    *result = nullptr;
    return dispatch_core(
        handle, kCode,
        [&](SessionCore& core) {
            return core.search_s(base, scope, filter, attrs, attrsonly, nullptr, result);
        },
        [&](LDAP_CEXT* s) {
            return ldap_cext_search_s(s, base, scope, filter, attrs, attrsonly, result,
                                      LDAP_CEXT_FAILOVER);
        });
}

int qdx_ldap_enable_cache(DS_LDAP* handle, long timeout, long maxmem) {
    CallActivity activity("ldap_enable_cache");
    return dispatch(
        handle, Failure<int>{-1, -1},
        [&](LDAP* ld) { return ldap_enable_cache(ld, timeout, maxmem); },
        [&](LDAP_CEXT* s) { return ldap_cext_enable_cache(s, timeout, maxmem); });
}

void qdx_ldap_disable_cache(DS_LDAP* handle) {
    // Not measured: applications switch the cache off around measured work.
    dispatch(
        handle, Failure<int>{0, 0},
        [&](LDAP* ld) {
            ldap_disable_cache(ld);
            return 0;
        },
        [&](LDAP_CEXT* s) {
            ldap_cext_disable_cache(s);
            return 0;
        });
}

int qdx_ldap_result(DS_LDAP* handle, int msgid, int all, struct timeval* timeout,
                    LDAPMessage** result) {
    CallActivity activity("ldap_result");
    if (result == nullptr) return -1;
    *result = nullptr;
    return dispatch_core(
        handle, kId, [&](SessionCore& core) { return core.result(msgid, all, timeout, result); },
        [&](LDAP_CEXT* s) { return ldap_cext_result(s, msgid, all, timeout, result); });
}

int qdx_ldap_result2error(DS_LDAP* handle, LDAPMessage* msg, int freeit) {
    CallActivity activity("ldap_result2error");
    return dispatch(
        handle, kCode,
        [&](LDAP* ld) {
            int code = message::result2error(ld, msg, freeit);
            if (SessionCore* core = plain::find(ld)) core->set_last_error(code);
            return code;
        },
        [&](LDAP_CEXT* s) { return ldap_cext_result2error(s, msg, freeit); });
}

int qdx_ldap_count_entries(DS_LDAP* handle, LDAPMessage* result) {
    CallActivity activity("ldap_count_entries");
    return dispatch(
        handle, kId, [&](LDAP* ld) { return message::count_entries(ld, result); },
        [&](LDAP_CEXT* s) { return ldap_cext_count_entries(s, result); });
}

LDAPMessage* qdx_ldap_first_entry(DS_LDAP* handle, LDAPMessage* result) {
    CallActivity activity("ldap_first_entry");
    return dispatch(
        handle, kNone<LDAPMessage>, [&](LDAP* ld) { return message::first_entry(ld, result); },
        [&](LDAP_CEXT* s) { return ldap_cext_first_entry(s, result); });
}

LDAPMessage* qdx_ldap_next_entry(DS_LDAP* handle, LDAPMessage* entry) {
    CallActivity activity("ldap_next_entry");
    return dispatch(
        handle, kNone<LDAPMessage>, [&](LDAP* ld) { return message::next_entry(ld, entry); },
        [&](LDAP_CEXT* s) { return ldap_cext_next_entry(s, entry); });
}

char* qdx_ldap_get_dn(DS_LDAP* handle, LDAPMessage* entry) {
    CallActivity activity("ldap_get_dn");
    return dispatch(
        handle, kNone<char>, [&](LDAP* ld) { return message::get_dn(ld, entry); },
        [&](LDAP_CEXT* s) { return ldap_cext_get_dn(s, entry); });
}

char* qdx_ldap_first_attribute(DS_LDAP* handle, LDAPMessage* entry, BerElement** ber) {
    CallActivity activity("ldap_first_attribute");
    return dispatch(
        handle, kNone<char>, [&](LDAP* ld) { return message::first_attribute(ld, entry, ber); },
        [&](LDAP_CEXT* s) { return ldap_cext_first_attribute(s, entry, ber); });
}

char* qdx_ldap_next_attribute(DS_LDAP* handle, LDAPMessage* entry, BerElement* ber) {
    CallActivity activity("ldap_next_attribute");
    return dispatch(
        handle, kNone<char>, [&](LDAP* ld) { return message::next_attribute(ld, entry, ber); },
        [&](LDAP_CEXT* s) { return ldap_cext_next_attribute(s, entry, ber); });
}

struct berval** qdx_ldap_get_values_len(DS_LDAP* handle, LDAPMessage* entry,
                                        const char* attribute) {
    CallActivity activity("ldap_get_values_len");
    return dispatch(
        handle, kNone<struct berval*>,
        [&](LDAP* ld) { return message::get_values_len(ld, entry, attribute); },
        [&](LDAP_CEXT* s) { return ldap_cext_get_values_len(s, entry, attribute); });
}

int qdx_ldap_msgid(LDAPMessage* msg) {
    CallActivity activity("ldap_msgid");
    return message::msgid(msg);
}

}  // extern "C"
