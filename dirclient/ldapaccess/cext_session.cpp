#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "cext_session.h"
#include "connect_failure.h"
#include "dns_lookup.h"
#include "ldap_cext_calls.h"
#include "ldap_message_ptr.h"
#include "ldap_result_codes.h"
#include "ldap_trace.h"
#include "message_access.h"
#include "server_list_walk.h"
#include "server_quarantine.h"

using namespace dirclient::ldapaccess;

namespace {

constexpr int kNullSession = 80;
constexpr const char* kMonitorDn = "cn=monitor";
constexpr const char* kModsCompleted = "modsCompleted";

std::optional<std::vector<std::string>> copy_attrs(char** attrs) {
    if (attrs == nullptr) return std::nullopt;
    std::vector<std::string> copy;
    for (char** a = attrs; *a; ++a)
        copy.emplace_back(*a);
    return copy;
}

// Runs "body" and turns an allocation failure into "failure" (no exception leaves the API).
template <typename Body, typename Result>
Result guarded(Body body, Result failure) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return failure;
    } catch (...) {
        return failure;
    }
}

int search_s_common(LDAP_CEXT* s, const char* base, int scope, const char* filter, char** attrs,
                    int attrsonly, const timeval* timeout, LDAPMessage** result, int flags) {
    if (result == nullptr) return QDX_LDAP_PARAM_ERROR;
    *result = nullptr;
    if (s == nullptr) return QDX_LDAP_PARAM_ERROR;
    return guarded(
        [&] {
            SessionCall call(s, true);
            Request search = [&](SessionCore& core) {
                message::msgfree(*result);
                *result = nullptr;
                return core.search_s(base, scope, filter, attrs, attrsonly, timeout, result);
            };
            return s->with_failover(flags & LDAP_CEXT_FAILOVER, search);
        },
        QDX_LDAP_NO_MEMORY);
}

}  // namespace

namespace dirclient::ldapaccess {

StartTls starttls_of_options(int options) {
    if (options & LDAP_CEXT_STARTTLS_DEMAND) return StartTls::kDemand;
    if (options & LDAP_CEXT_STARTTLS_TRY) return StartTls::kTry;
    return starttls_from_environment();
}

LDAP_CEXT* open_server_list(const char* hosts, const std::string& dns, int options,
                            StartTls starttls) {
    return guarded(
        [&]() -> LDAP_CEXT* {
            signal(SIGPIPE, SIG_IGN);
            apply_debug_environment();
            clear_connect_failure();
            std::string list;
            if (hosts != nullptr) {
                list = upper_case(hosts);
            } else if (std::optional<std::string> found = lookup_server_list(dns)) {
                list = *found;
            } else {
                return nullptr;
            }
            bool failover = (options & LDAP_CEXT_FAILOVER) != 0;
            std::vector<ServerAddress> servers = list_servers(list);
            // Without fail-over the first server is the only one: quarantine cannot apply.
            if (failover) servers = server_quarantine().walk_order(servers);
            for (const ServerAddress& server : servers) {
                OpenedSession connected = open_session(server, true, starttls);
                if (connected.ld) {
                    server_quarantine().answered(server);
                    auto core = std::make_unique<SessionCore>(std::move(connected.ld), server);
                    return new ldap_cext(std::move(core), list, hosts == nullptr, dns, options,
                                         starttls);
                }
                if (!failover) return nullptr;
                server_quarantine().failed(server);
            }
            return nullptr;
        },
        static_cast<LDAP_CEXT*>(nullptr));
}

}  // namespace dirclient::ldapaccess

extern "C" LDAP_CEXT* ldap_cext_open(const char* hosts, int /*port*/, int options) {
    std::string dns;
    try {
        dns = dns_name();
    } catch (...) {
        return nullptr;
    }
    return open_server_list(hosts, dns, options, starttls_of_options(options));
}

extern "C" int ldap_cext_unbind(LDAP_CEXT* s) {
    if (s == nullptr) return kNullSession;
    int code = 0;
    {
        std::unique_lock<std::mutex> lock(s->mutex);
        code = guarded([&] { return s->core->close_connection(); }, 0);
        s->pending.clear();
        s->timer.stop(lock);
    }
    delete s;
    clear_dns_name();
    return code;
}

extern "C" int ldap_cext_unbind_s(LDAP_CEXT* s) {
    return ldap_cext_unbind(s);
}

extern "C" int ldap_cext_bind_s(LDAP_CEXT* s, const char* who, const char* credentials, int method,
                                int flags) {
    if (s == nullptr) return QDX_LDAP_PARAM_ERROR;
    return guarded(
        [&] {
            SessionCall call(s);
            s->pending.clear();
            Request bind = [&](SessionCore& core) { return core.bind_s(who, credentials, method); };
            int code = bind(*s->core);
            if ((flags & LDAP_CEXT_FAILOVER) && is_failover_code(code)) {
                bool moved = false;
                code = s->move_to_next_server(code, &bind, true, &moved);
            }
            if (code == 0) {
                s->method = method;
                s->bind_dn = who ? std::optional<std::string>(who) : std::nullopt;
                s->credentials =
                    credentials ? std::optional<std::string>(credentials) : std::nullopt;
            }
            return code;
        },
        QDX_LDAP_NO_MEMORY);
}

extern "C" int ldap_cext_simple_bind_s(LDAP_CEXT* s, const char* who, const char* password,
                                       int flags) {
    return ldap_cext_bind_s(s, who, password, LDAP_AUTH_SIMPLE, flags);
}

extern "C" int ldap_cext_bind(LDAP_CEXT* s, const char* who, const char* credentials, int method) {
    if (s == nullptr) return -1;
    return guarded(
        [&] {
            SessionCall call(s);
            int id = s->core->bind(who, credentials, method);
            s->pending.clear();
            return id;
        },
        -1);
}

extern "C" int ldap_cext_simple_bind(LDAP_CEXT* s, const char* who, const char* password) {
    return ldap_cext_bind(s, who, password, LDAP_AUTH_SIMPLE);
}

extern "C" int ldap_cext_search_s(LDAP_CEXT* s, const char* base, int scope, const char* filter,
                                  char** attrs, int attrsonly, LDAPMessage** result, int flags) {
    return search_s_common(s, base, scope, filter, attrs, attrsonly, nullptr, result, flags);
}

extern "C" int ldap_cext_search_st(LDAP_CEXT* s, const char* base, int scope, const char* filter,
                                   char** attrs, int attrsonly, struct timeval* timeout,
                                   LDAPMessage** result, int flags) {
    return search_s_common(s, base, scope, filter, attrs, attrsonly, timeout, result, flags);
}

extern "C" int ldap_cext_compare_s(LDAP_CEXT* s, const char* dn, const char* attr,
                                   const char* value, int flags) {
    if (s == nullptr) return QDX_LDAP_PARAM_ERROR;
    return guarded(
        [&] {
            SessionCall call(s);
            Request compare = [&](SessionCore& core) { return core.compare_s(dn, attr, value); };
            return s->with_failover(flags & LDAP_CEXT_FAILOVER, compare);
        },
        QDX_LDAP_NO_MEMORY);
}

extern "C" int ldap_cext_search(LDAP_CEXT* s, const char* base, int scope, const char* filter,
                                char** attrs, int attrsonly, int flags) {
    if (s == nullptr) return -1;
    return guarded(
        [&] {
            SessionCall call(s);
            const int record = LDAP_CEXT_FAILOVER | LDAP_CEXT_RECORD;
            // The copies are made first: a search that cannot be recorded is not sent.
            RecordedSearch recorded;
            if ((flags & record) == record) {
                recorded.base = base ? base : "";
                recorded.scope = scope;
                recorded.filter = filter ? filter : "";
                recorded.attrs = copy_attrs(attrs);
                recorded.attrsonly = attrsonly;
            }
            int id = s->core->search(base, scope, filter, attrs, attrsonly);
            // An answer served from the cache is already here: nothing to re-send.
            if (id != -1 && (flags & record) == record && !s->core->answered_locally(id)) {
                recorded.msgid = id;
                s->pending.push_back(std::move(recorded));
            }
            return id;
        },
        -1);
}

extern "C" int ldap_cext_abandon(LDAP_CEXT* s, int msgid) {
    if (s == nullptr) return -1;
    SessionCall call(s);
    s->forget_recorded(msgid);
    return s->core->abandon(msgid) == 0 ? 0 : -1;
}

extern "C" int ldap_cext_result(LDAP_CEXT* s, int msgid, int all, struct timeval* timeout,
                                LDAPMessage** result) {
    if (s == nullptr || result == nullptr) return -1;
    return guarded(
        [&] {
            SessionCall call(s);
            int caller_id = 0;
            bool complete = false;
            int type = s->core->result(msgid, all, timeout, result, &caller_id, &complete);
            bool waits_for_recorded =
                msgid == LDAP_RES_ANY ? !s->pending.empty() : s->is_recorded(msgid);
            if (type < 0 && waits_for_recorded && (s->options & LDAP_CEXT_FAILOVER) &&
                is_failover_code(s->core->last_error())) {
                // The server went away under a recorded search: move on, re-send it, and
                // wait for its answer there.
                bool moved = false;
                s->move_to_next_server(s->core->last_error(), nullptr, false, &moved);
                if (moved)
                    type = s->core->result(msgid, all, timeout, result, &caller_id, &complete);
            }
            if (type > 0 && complete) s->forget_recorded(caller_id);
            return type;
        },
        -1);
}

extern "C" int ldap_cext_is_changed(LDAP_CEXT* s) {
    if (s == nullptr) return QDX_LDAP_PARAM_ERROR;
    return guarded(
        [&] {
            SessionCall call(s, true);
            MessagePtr answer;
            // The check always asks the server: the cache is left out of it.
            Request check = [&](SessionCore& core) {
                answer.reset();
                return core.search_s(kMonitorDn, LDAP_SCOPE_BASE, "objectclass=*", nullptr, 0,
                                     nullptr, out_message(answer), false);
            };
            bool moved = false;
            int code = s->with_failover(s->options & LDAP_CEXT_FAILOVER, check, &moved);
            if (code != 0) return code;
            int changed = 0;
            LDAP* ld = s->core->ld();
            if (LDAPMessage* entry = message::first_entry(ld, answer.get())) {
                if (char** values = message::get_values(ld, entry, kModsCompleted)) {
                    long count = values[0] ? std::atol(values[0]) : s->last_mods;
                    if (count != s->last_mods) {
                        s->last_mods = count;
                        changed = 1;
                    }
                    ldap_value_free(values);
                }
            }
            bool moved_back = s->moved_unseen;
            s->moved_unseen = false;
            return moved || moved_back ? 1 : changed;
        },
        QDX_LDAP_NO_MEMORY);
}

extern "C" long ldap_cext_get_mod_count(LDAP_CEXT* s) {
    if (s == nullptr) return 0;
    std::lock_guard<std::mutex> lock(s->mutex);
    return s->last_mods;
}

extern "C" int ldap_cext_set_timeout(LDAP_CEXT* s, long seconds) {
    if (s == nullptr) return QDX_LDAP_PARAM_ERROR;
    if (seconds < 0) return QDX_LDAP_PARAM_ERROR;
    std::lock_guard<std::mutex> lock(s->mutex);
    s->timer.set_timeout(seconds);
    return 0;
}

extern "C" int ldap_cext_set_response_timeout(LDAP_CEXT* s, double seconds) {
    if (s == nullptr || !(seconds > 0) || seconds >= 86400) return QDX_LDAP_PARAM_ERROR;
    std::lock_guard<std::mutex> lock(s->mutex);
    s->core->set_response_timeout(seconds);
    return 0;
}

extern "C" int ldap_cext_set_starttls(LDAP_CEXT* s, int mode) {
    if (s == nullptr || mode < 0 || mode > 2) return QDX_LDAP_PARAM_ERROR;
    std::lock_guard<std::mutex> lock(s->mutex);
    s->starttls = starttls_mode(mode);
    if (!s->core->connected()) return 0;  // the next connection is made with it
    return start_tls(s->core->ld(), s->starttls, network_timeout());
}

extern "C" int ldap_cext_set_limits(LDAP_CEXT* s, int timelimit, int sizelimit) {
    if (s == nullptr) return QDX_LDAP_PARAM_ERROR;
    std::lock_guard<std::mutex> lock(s->mutex);
    s->core->set_limits(timelimit, sizelimit);
    return 0;
}

extern "C" void ldap_cext_set_servers(LDAP_CEXT* s, const char* list) {
    if (s == nullptr) return;
    guarded(
        [&] {
            std::lock_guard<std::mutex> lock(s->mutex);
            s->servers = list ? list : "";
            s->use_dns = false;
            return 0;
        },
        0);
}

extern "C" char* ldap_cext_get_servers(LDAP_CEXT* s) {
    if (s == nullptr) return nullptr;
    std::lock_guard<std::mutex> lock(s->mutex);
    return s->servers.empty() ? nullptr : strdup(s->servers.c_str());
}

extern "C" char* ldap_cext_get_server(LDAP_CEXT* s) {
    if (s == nullptr) return nullptr;
    return guarded(
        [&]() -> char* {
            std::lock_guard<std::mutex> lock(s->mutex);
            const ServerAddress& server = s->core->server();
            if (server.host.empty()) return nullptr;
            bool v6 = server.host.find(':') != std::string::npos;
            std::string text = (server.tls ? "LDAPS://" : "LDAP://") +
                               (v6 ? "[" + server.host + "]" : server.host) + ":" +
                               std::to_string(server.port == 0 ? LDAP_PORT : server.port);
            return strdup(text.c_str());
        },
        static_cast<char*>(nullptr));
}

extern "C" void ldap_cext_SLfree(char* text) {
    std::free(text);
}

extern "C" int ldap_cext_get_lderrno(LDAP_CEXT* s) {
    if (s == nullptr) return QDX_LDAP_PARAM_ERROR;
    std::lock_guard<std::mutex> lock(s->mutex);
    return s->core->last_error();
}

extern "C" int ldap_cext_msgid(LDAPMessage* message) {
    return message ? message::msgid(message) : -1;
}

extern "C" int ldap_cext_msgtype(LDAPMessage* message) {
    return message ? message::msgtype(message) : -1;
}
