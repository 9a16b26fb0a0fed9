// SessionCore: the message identifiers callers hold, translated to libldap's (or served from
// the queue of cached answers), and collecting answers by them.

#include "session_core.h"

#include <climits>

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

}  // namespace

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

bool SessionCore::answered_locally(int msgid) const {
    for (const LocalMessage* chain : local_queue_)
        if (chain->msgid == msgid) return true;
    return false;
}

}  // namespace dirclient::ldapaccess
