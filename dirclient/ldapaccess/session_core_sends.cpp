// SessionCore: sending requests, asynchronous and synchronous, through the cache when one
// is enabled.

#include "session_core.h"

#include <initializer_list>
#include <optional>
#include <string_view>

#include "filter_limits.h"
#include "ldap_message_codec.h"
#include "ldap_message_ptr.h"
#include "ldap_result_codes.h"
#include "message_access.h"

namespace dirclient::ldapaccess {

namespace {

// libldap aborts the process on a null DN, RDN, attribute type or value; such a request is
// refused instead.
bool any_missing(std::initializer_list<const char*> texts) {
    for (const char* text : texts)
        if (text == nullptr) return true;
    return false;
}

bool mods_incomplete(LDAPMod** mods) {
    for (LDAPMod** mod = mods; mod && *mod; ++mod)
        if ((*mod)->mod_type == nullptr) return true;
    return false;
}

}  // namespace

template <typename Send>
int SessionCore::send(Send send_request) {
    if (!ensure_connected()) return -1;
    ++server_calls_;
    int library_id = send_request(connection_.ld.get());
    if (library_id < 0) {
        error_from_session();
        return -1;
    }
    last_error_ = 0;
    return track(library_id);
}

template <typename Send>
int SessionCore::exchange(Send send_request) {
    int id = send(send_request);
    if (id < 0) return last_error_;
    MessagePtr answer;
    return await_final(id, nullptr, out_message(answer));
}

template <typename Send>
int SessionCore::send_through_cache(int type, std::optional<EncodedRequest>& request,
                                    Send send_request) {
    if (!request) return send(send_request);
    MessageCopies copies;
    std::string_view body = std::string_view(request->bytes).substr(request->body_offset);
    if (cache_->check(type, body, &copies)) return queue_local(copies);
    int id = send(send_request);
    if (id >= 0)
        cache_->add_request(id, type, std::move(request->bytes), request->body_offset,
                            std::move(request->dn));
    return id;
}

int SessionCore::search(const char* base, int scope, const char* filter, char** attrs,
                        int attrsonly) {
    if (!filter_within_limits(filter)) return refuse_filter(-1);
    auto send_search = [&](LDAP* ld) {
        return ldap_search(ld, base, scope, filter, attrs, attrsonly);
    };
    if (!cache_enabled()) return send(send_search);
    std::optional<EncodedRequest> request =
        encode_search_request(connection_.ld.get(), base, scope, filter, attrs, attrsonly);
    return send_through_cache(LDAP_REQ_SEARCH, request, send_search);
}

int SessionCore::compare(const char* dn, const char* attr, const char* value) {
    if (any_missing({dn, attr, value})) return refuse(-1);
    auto send_compare = [&](LDAP* ld) { return ldap_compare(ld, dn, attr, value); };
    if (!cache_enabled()) return send(send_compare);
    std::optional<EncodedRequest> request = encode_compare_request(dn, attr, value);
    return send_through_cache(LDAP_REQ_COMPARE, request, send_compare);
}

int SessionCore::add(const char* dn, LDAPMod** mods) {
    if (dn == nullptr || mods_incomplete(mods)) return refuse(-1);
    return send([&](LDAP* ld) { return ldap_add(ld, dn, mods); });
}

int SessionCore::remove(const char* dn) {
    if (dn == nullptr) return refuse(-1);
    return send([&](LDAP* ld) { return ldap_delete(ld, dn); });
}

int SessionCore::modify(const char* dn, LDAPMod** mods) {
    if (dn == nullptr || mods_incomplete(mods)) return refuse(-1);
    return send([&](LDAP* ld) { return ldap_modify(ld, dn, mods); });
}

int SessionCore::modrdn(const char* dn, const char* newrdn, int deleteoldrdn) {
    if (any_missing({dn, newrdn})) return refuse(-1);
    return send([&](LDAP* ld) { return ldap_modrdn2(ld, dn, newrdn, deleteoldrdn); });
}

int SessionCore::bind(const char* who, const char* credentials, int method) {
    return send([&](LDAP* ld) { return ldap_bind(ld, who, credentials, method); });
}

int SessionCore::await_final(int msgid, const timeval* timeout, LDAPMessage** res) {
    int type = result(msgid, LDAP_MSG_ALL, timeout, res);
    if (type == 0) {
        abandon(msgid);
        return finish(QDX_LDAP_TIMEOUT);
    }
    if (type < 0) return last_error_;
    return finish(message::result2error(connection_.ld.get(), *res, 0));
}

int SessionCore::search_s(const char* base, int scope, const char* filter, char** attrs,
                          int attrsonly, const timeval* timeout, LDAPMessage** res, bool use_cache,
                          bool* from_cache) {
    *res = nullptr;
    if (from_cache) *from_cache = false;
    if (!filter_within_limits(filter)) return refuse_filter(QDX_LDAP_FILTER_ERROR);
    std::optional<EncodedRequest> request;
    if (use_cache && cache_enabled())
        request =
            encode_search_request(connection_.ld.get(), base, scope, filter, attrs, attrsonly);
    if (request) {
        MessageCopies copies;
        std::string_view body = std::string_view(request->bytes).substr(request->body_offset);
        if (cache_->check(LDAP_REQ_SEARCH, body, &copies)) {
            // The caller never asks for this answer by identifier: no identifier is used up.
            *res = make_local_chain(max_issued_ + 1, copies);
            if (from_cache) *from_cache = true;
            return finish(message::result2error(connection_.ld.get(), *res, 0));
        }
    }
    if (!ensure_connected()) return last_error_;
    int id = send([&](LDAP* ld) { return ldap_search(ld, base, scope, filter, attrs, attrsonly); });
    if (id < 0) return last_error_;
    if (request)
        cache_->add_request(id, LDAP_REQ_SEARCH, std::move(request->bytes), request->body_offset,
                            std::move(request->dn));
    return await_final(id, timeout, res);
}

int SessionCore::compare_s(const char* dn, const char* attr, const char* value, bool* from_cache) {
    if (from_cache) *from_cache = false;
    if (any_missing({dn, attr, value})) return refuse(QDX_LDAP_PARAM_ERROR);
    if (!cache_enabled())
        return exchange([&](LDAP* ld) { return ldap_compare(ld, dn, attr, value); });
    int id = compare(dn, attr, value);
    if (id < 0) return last_error_;
    if (from_cache && !local_queue_.empty() && local_queue_.back()->msgid == id) *from_cache = true;
    MessagePtr answer;
    return await_final(id, nullptr, out_message(answer));
}

int SessionCore::add_s(const char* dn, LDAPMod** mods) {
    if (dn == nullptr || mods_incomplete(mods)) return refuse(QDX_LDAP_PARAM_ERROR);
    return exchange([&](LDAP* ld) { return ldap_add(ld, dn, mods); });
}

int SessionCore::remove_s(const char* dn) {
    if (dn == nullptr) return refuse(QDX_LDAP_PARAM_ERROR);
    return exchange([&](LDAP* ld) { return ldap_delete(ld, dn); });
}

int SessionCore::modify_s(const char* dn, LDAPMod** mods) {
    if (dn == nullptr || mods_incomplete(mods)) return refuse(QDX_LDAP_PARAM_ERROR);
    return exchange([&](LDAP* ld) { return ldap_modify(ld, dn, mods); });
}

int SessionCore::modrdn_s(const char* dn, const char* newrdn, int deleteoldrdn) {
    if (any_missing({dn, newrdn})) return refuse(QDX_LDAP_PARAM_ERROR);
    return exchange([&](LDAP* ld) { return ldap_modrdn2(ld, dn, newrdn, deleteoldrdn); });
}

int SessionCore::bind_s(const char* who, const char* credentials, int method) {
    return exchange([&](LDAP* ld) { return ldap_bind(ld, who, credentials, method); });
}

}  // namespace dirclient::ldapaccess
