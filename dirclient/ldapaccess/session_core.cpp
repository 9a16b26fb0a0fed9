#include "session_core.h"

#include <climits>
#include <initializer_list>
#include <new>

#include "filter_limits.h"
#include "ldap_message_codec.h"
#include "ldap_message_ptr.h"
#include "ldap_result_codes.h"
#include "message_access.h"
#include "response_timeout.h"

namespace dirclient::ldapaccess {

namespace {

// libldap numbers its requests from 1 upwards; a caller's identifier that names no request
// is waited for under this one, which it never reaches, as libldap waits for unknown ones.
constexpr int kNeverIssued = INT_MAX;

bool is_final_type(int type) {
    return type != LDAP_RES_SEARCH_ENTRY && type != LDAP_RES_SEARCH_REFERENCE &&
           type != LDAP_RES_INTERMEDIATE;
}

bool chain_is_complete(LDAP* ld, LDAPMessage* chain) {
    for (LDAPMessage* m = ldap_first_message(ld, chain); m; m = ldap_next_message(ld, m))
        if (is_final_type(ldap_msgtype(m))) return true;
    return false;
}

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

int SessionCore::refuse(int returned) {
    last_error_ = QDX_LDAP_PARAM_ERROR;
    return returned;
}

int SessionCore::refuse_filter(int returned) {
    last_error_ = QDX_LDAP_FILTER_ERROR;
    return returned;
}

double SessionCore::response_timeout() const {
    return response_timeout_ ? *response_timeout_ : response_timeout_from_environment();
}

void SessionCore::set_limits(int timelimit, int sizelimit) {
    limits_.emplace(std::max(timelimit, 0), std::max(sizelimit, 0));
    apply_limits(connection_.ld.get());
}

void SessionCore::apply_limits(LDAP* ld) const {
    if (!limits_ || ld == nullptr) return;
    ldap_set_option(ld, LDAP_OPT_TIMELIMIT, &limits_->first);
    ldap_set_option(ld, LDAP_OPT_SIZELIMIT, &limits_->second);
}

SessionCore::SessionCore(LdapSessionPtr ld, ServerAddress server) {
    connection_.open = ld != nullptr;
    connection_.ld = std::move(ld);
    connection_.server = std::move(server);
}

SessionCore::~SessionCore() {
    for (LocalMessage* chain : local_queue_)
        free_local_chain(chain);
}

bool SessionCore::ensure_connected() {
    if (!connection_.open && reconnect_) reconnect_();
    if (connection_.open) return true;
    if (last_error_ == 0) last_error_ = QDX_LDAP_SERVER_DOWN;
    return false;
}

int SessionCore::error_from_session() {
    int code = LDAP_OTHER;
    if (connection_.ld) ldap_get_option(connection_.ld.get(), LDAP_OPT_RESULT_CODE, &code);
    return last_error_ = qdx_ldap_classic_code(code);
}

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

int SessionCore::track(int library_id) {
    int caller_id = library_id;
    if (translating_ || library_id <= max_issued_) {
        translating_ = true;
        caller_id = ++max_issued_;
    }
    max_issued_ = std::max(max_issued_, caller_id);
    connection_.by_caller[caller_id] = library_id;
    connection_.by_library[library_id] = caller_id;
    return caller_id;
}

int SessionCore::queue_local(const MessageCopies& copies) {
    translating_ = true;
    int caller_id = ++max_issued_;
    LDAPMessage* chain = make_local_chain(caller_id, copies);
    if (chain != nullptr) local_queue_.push_back(as_local(chain));
    last_error_ = 0;
    return caller_id;
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
    if (!request) return send(send_search);
    MessageCopies copies;
    std::string_view body = std::string_view(request->bytes).substr(request->body_offset);
    if (cache_->check(LDAP_REQ_SEARCH, body, &copies)) return queue_local(copies);
    int id = send(send_search);
    if (id >= 0)
        cache_->add_request(id, LDAP_REQ_SEARCH, std::move(request->bytes), request->body_offset,
                            std::move(request->dn));
    return id;
}

int SessionCore::compare(const char* dn, const char* attr, const char* value) {
    if (any_missing({dn, attr, value})) return refuse(-1);
    auto send_compare = [&](LDAP* ld) { return ldap_compare(ld, dn, attr, value); };
    if (!cache_enabled()) return send(send_compare);
    std::optional<EncodedRequest> request = encode_compare_request(dn, attr, value);
    if (!request) return send(send_compare);
    MessageCopies copies;
    std::string_view body = std::string_view(request->bytes).substr(request->body_offset);
    if (cache_->check(LDAP_REQ_COMPARE, body, &copies)) return queue_local(copies);
    int id = send(send_compare);
    if (id >= 0)
        cache_->add_request(id, LDAP_REQ_COMPARE, std::move(request->bytes), request->body_offset,
                            std::move(request->dn));
    return id;
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

LDAPMessage* SessionCore::take_local(int msgid, int all, int* caller_id) {
    for (auto it = local_queue_.begin(); it != local_queue_.end(); ++it) {
        LocalMessage* chain = *it;
        if (msgid != LDAP_RES_ANY && chain->msgid != msgid) continue;
        if (caller_id) *caller_id = chain->msgid;
        if (all == LDAP_MSG_ONE) {
            LocalMessage* rest = detach_first(chain);
            if (rest != nullptr)
                *it = rest;
            else
                local_queue_.erase(it);
        } else {
            local_queue_.erase(it);
        }
        return reinterpret_cast<LDAPMessage*>(chain);
    }
    return nullptr;
}

void SessionCore::feed_cache(int caller_id, LDAPMessage* chain) {
    if (!cache_ || !cache_->has_pending(caller_id)) return;
    LDAP* ld = connection_.ld.get();
    for (LDAPMessage* m = ldap_first_message(ld, chain); m; m = ldap_next_message(ld, m)) {
        int type = ldap_msgtype(m);
        std::optional<EncodedResponse> encoded = encode_response(ld, m);
        if (encoded) {
            cache_->add_result(caller_id, type, std::move(encoded->bytes), encoded->code,
                               std::move(encoded->dn));
        } else if (type == LDAP_RES_SEARCH_ENTRY || type == LDAP_RES_SEARCH_RESULT ||
                   type == LDAP_RES_COMPARE) {
            // An answer we could not copy: the chain would be incomplete, so keep none of it.
            cache_->uncache_request(caller_id);
            return;
        } else {
            cache_->add_result(caller_id, type, {}, 0, {});
        }
    }
}

void SessionCore::forget_route(int caller_id) {
    auto it = connection_.by_caller.find(caller_id);
    if (it == connection_.by_caller.end()) return;
    connection_.by_library.erase(it->second);
    connection_.by_caller.erase(it);
}

int SessionCore::result(int msgid, int all, const timeval* timeout, LDAPMessage** res,
                        int* caller_id, bool* complete) {
    if (complete) *complete = false;
    *res = take_local(msgid, all, caller_id);
    if (*res != nullptr) {
        last_error_ = 0;
        for (LocalMessage* m = as_local(*res); m && complete; m = m->next)
            if (is_final_type(m->type)) *complete = true;
        return message::msgtype(*res);
    }
    if (lost_.erase(msgid) != 0) {
        finish(QDX_LDAP_SERVER_DOWN);
        return -1;
    }
    int library_id = msgid;
    if (msgid != LDAP_RES_ANY) {
        auto route = connection_.by_caller.find(msgid);
        if (route != connection_.by_caller.end())
            library_id = route->second;
        else if (translating_)
            library_id = kNeverIssued;
    }
    if (!connection_.open) {
        finish(QDX_LDAP_SERVER_DOWN);
        return -1;
    }
    ++server_calls_;
    bool silent = false;
    int type = await_response(connection_.ld.get(), library_id, all, timeout, response_timeout(),
                              res, &silent);
    if (type < 0) {
        error_from_session();
        return -1;
    }
    if (type == 0 && silent && has_outstanding()) {
        // Answers are owed and nothing came for the whole response time-out: the server
        // is taken as dead, as if it had closed the connection.
        connection_.open = false;
        finish(QDX_LDAP_SERVER_DOWN);
        return -1;
    }
    if (type == 0) return 0;
    int received = ldap_msgid(*res);
    int known_as = received;
    auto route = connection_.by_library.find(received);
    if (route != connection_.by_library.end()) known_as = route->second;
    feed_cache(known_as, *res);
    bool done = chain_is_complete(connection_.ld.get(), *res);
    if (done) forget_route(known_as);
    if (complete) *complete = done;
    if (known_as != received) register_translated(*res, known_as);
    if (caller_id) *caller_id = known_as;
    last_error_ = 0;
    // libldap gives the type of the last message of a whole answer; callers expect that
    // of the first, as a cached answer gives it.
    return ldap_msgtype(*res);
}

int SessionCore::abandon(int msgid) {
    for (auto it = local_queue_.begin(); it != local_queue_.end(); ++it) {
        if ((*it)->msgid == msgid) {
            free_local_chain(*it);
            local_queue_.erase(it);
            return finish(0);
        }
    }
    lost_.erase(msgid);
    auto route = connection_.by_caller.find(msgid);
    int library_id = route != connection_.by_caller.end() ? route->second
                     : translating_                       ? kNeverIssued
                                                          : msgid;
    forget_route(msgid);
    if (!connection_.open) return finish(QDX_LDAP_SERVER_DOWN);
    ++server_calls_;
    int rc = ldap_abandon(connection_.ld.get(), library_id);
    return rc == 0 ? finish(0) : error_from_session();
}

int SessionCore::msgdelete(int msgid) {
    for (auto it = local_queue_.begin(); it != local_queue_.end(); ++it) {
        if ((*it)->msgid == msgid) {
            free_local_chain(*it);
            local_queue_.erase(it);
            return 0;
        }
    }
    auto route = connection_.by_caller.find(msgid);
    if (route == connection_.by_caller.end() && translating_) return -1;
    int library_id = route != connection_.by_caller.end() ? route->second : msgid;
    if (!connection_.open) return -1;
    return ldap_msgdelete(connection_.ld.get(), library_id);
}

int SessionCore::enable_cache(long timeout, long maxmem) {
    if (maxmem == 0 && cache_) {
        cache_->flush();
        return 0;
    }
    if (!cache_) {
        cache_.reset(new (std::nothrow) ResponseCache);
        if (!cache_) {
            last_error_ = QDX_LDAP_NO_MEMORY;
            return -1;
        }
    }
    cache_->configure(timeout, maxmem);
    return 0;
}

void SessionCore::destroy_cache() {
    if (!cache_) return;
    cache_->flush();
    cache_.reset();
}

SessionCore::Connection SessionCore::install(LdapSessionPtr ld, ServerAddress server,
                                             const std::vector<std::pair<int, int>>& resent) {
    Connection previous = std::move(connection_);
    connection_ = Connection{};
    connection_.ld = std::move(ld);
    connection_.open = true;
    connection_.server = std::move(server);
    for (const auto& [caller_id, library_id] : resent) {
        connection_.by_caller[caller_id] = library_id;
        connection_.by_library[library_id] = caller_id;
    }
    translating_ = true;  // the new session numbers its requests from 1 again
    return previous;
}

void SessionCore::restore(Connection previous) {
    end_session(std::move(connection_.ld));
    connection_ = std::move(previous);
}

void SessionCore::commit(Connection previous) {
    end_session(std::move(previous.ld));
    for (const auto& route : previous.by_caller) {
        if (connection_.by_caller.count(route.first) != 0) continue;
        lost_.insert(route.first);
        if (cache_) cache_->uncache_request(route.first);
    }
    // Answers kept from another server may not hold on this one.
    if (cache_ && !same_server(previous.server, connection_.server)) cache_->flush();
}

void SessionCore::lose_outstanding() {
    for (const auto& route : connection_.by_caller) {
        lost_.insert(route.first);
        if (cache_) cache_->uncache_request(route.first);
    }
    connection_.by_caller.clear();
    connection_.by_library.clear();
}

int SessionCore::close_connection() {
    lose_outstanding();
    int unbound = end_session(std::move(connection_.ld));
    int code = connection_.open ? unbound : 0;
    connection_.open = false;
    // ldap_initialize does not connect: the session only keeps the accessors working.
    LDAP* idle = nullptr;
    if (ldap_initialize(&idle, server_url(connection_.server).c_str()) == LDAP_SUCCESS)
        connection_.ld.reset(idle);
    return code;
}

bool SessionCore::has_outstanding() const {
    return !connection_.by_caller.empty();
}

bool SessionCore::answered_locally(int msgid) const {
    for (const LocalMessage* chain : local_queue_)
        if (chain->msgid == msgid) return true;
    return false;
}

}  // namespace dirclient::ldapaccess
