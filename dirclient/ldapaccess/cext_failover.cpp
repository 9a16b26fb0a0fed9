#include <ldap.h>

#include "cext_session.h"
#include "dns_lookup.h"
#include "ldap_result_codes.h"
#include "server_list_walk.h"
#include "server_quarantine.h"

namespace dirclient::ldapaccess {

namespace {

// Failures that tell a server is not there, as opposed to one that answered with a refusal.
bool is_dead_server_code(int code) {
    return code == QDX_LDAP_SERVER_DOWN || code == QDX_LDAP_CONNECT_ERROR ||
           code == QDX_LDAP_TIMEOUT;
}

}  // namespace

bool is_failover_code(int code) {
    switch (code) {
        case LDAP_TIMELIMIT_EXCEEDED:
        case LDAP_BUSY:
        case LDAP_UNAVAILABLE:
        case LDAP_LOOP_DETECT:
        case QDX_LDAP_SERVER_DOWN:
        case QDX_LDAP_ENCODING_ERROR:
        case QDX_LDAP_DECODING_ERROR:
        case QDX_LDAP_NO_MEMORY:
            return true;
        default:
            return false;
    }
}

int RecordedSearch::send(LDAP* ld) const {
    std::vector<char*> names;
    if (attrs) {
        for (const std::string& name : *attrs)
            names.push_back(const_cast<char*>(name.c_str()));
        names.push_back(nullptr);
    }
    return ldap_search(ld, base.c_str(), scope, filter.c_str(), attrs ? names.data() : nullptr,
                       attrsonly);
}

}  // namespace dirclient::ldapaccess

using namespace dirclient::ldapaccess;

ldap_cext::ldap_cext(std::unique_ptr<SessionCore> first, std::string list, bool from_dns,
                     std::string dns, int open_options, StartTls tls)
    : use_dns(from_dns),
      dns_name(std::move(dns)),
      servers(std::move(list)),
      core(std::move(first)),
      options(open_options),
      starttls(tls),
      timer(
          mutex, [this] { core->close_connection(); }, [this] { return core->has_outstanding(); }) {
    // After an idle close the next request opens the connection again, as a fail-over
    // would, with the stored credentials.
    core->set_reconnect([this] {
        bool moved = false;
        move_to_next_server(QDX_LDAP_SERVER_DOWN, nullptr, false, &moved);
        return core->connected();
    });
}

int ldap_cext::with_failover(bool allowed, const Request& request, bool* moved) {
    if (moved) *moved = false;
    int code = request(*core);
    if (!allowed || !is_failover_code(code)) return code;
    bool changed = false;
    code = move_to_next_server(code, &request, false, &changed);
    if (moved) *moved = changed;
    return code;
}

std::optional<std::vector<std::pair<int, int>>> ldap_cext::resend_p_requests(LDAP* ld) const {
    std::vector<std::pair<int, int>> resent;
    for (const RecordedSearch& search : pending) {
        int library_id = search.send(ld);
        if (library_id < 0) return std::nullopt;
        resent.emplace_back(search.msgid, library_id);
    }
    return resent;
}

OpenedSession ldap_cext::connect_bound(const ServerAddress& server, bool probe, bool rebind) {
    OpenedSession connected = open_session(server, probe, starttls);
    // The limits hold for everything sent on the new server, re-sent searches included.
    if (connected.ld) core->apply_limits(connected.ld.get());
    if (connected.ld && rebind) {
        int rc = bind_within_timeout(connected.ld.get(), bind_dn ? bind_dn->c_str() : nullptr,
                                     credentials ? credentials->c_str() : nullptr, method);
        if (rc != 0) connected = OpenedSession{nullptr, rc};
    }
    if (!connected.ld && is_dead_server_code(connected.code))
        server_quarantine().failed(server);
    else if (connected.ld)
        server_quarantine().answered(server);
    return connected;
}

int ldap_cext::move_to_next_server(int last_code, const Request* request, bool request_is_bind,
                                   bool* moved) {
    *moved = false;
    if (use_dns) servers = lookup_server_list(dns_name).value_or("");
    // The current server is tried again like the others: a dropped connection does not
    // prove it gone (it may have restarted), and a failed connect quarantines it.
    int last = last_code;
    for (const ServerAddress& server : server_quarantine().walk_order(list_servers(servers))) {
        // A bind request is itself bounded by nothing, so the server must first show that
        // it answers; otherwise the re-bind, bounded by the network time-out, shows it.
        // Every new connection is encrypted as the session asks before the re-bind.
        OpenedSession connected = connect_bound(server, request_is_bind, !request_is_bind);
        if (!connected.ld) {
            last = connected.code;
            continue;
        }
        std::optional<std::vector<std::pair<int, int>>> resent;
        if (request_is_bind)
            resent.emplace();
        else
            resent = resend_p_requests(connected.ld.get());
        if (!resent) {
            int code = LDAP_SERVER_DOWN;
            ldap_get_option(connected.ld.get(), LDAP_OPT_RESULT_CODE, &code);
            last = qdx_ldap_classic_code(code);
            continue;
        }
        SessionCore::Connection previous = core->install(std::move(connected.ld), server, *resent);
        int code = request ? (*request)(*core) : 0;
        if (is_failover_code(code)) {
            core->restore(std::move(previous));
            last = code;
            continue;
        }
        // ldap_cext_is_changed reports a move to another server whichever call made it.
        if (!same_server(previous.server, server)) moved_unseen = true;
        core->commit(std::move(previous));
        *moved = true;
        return code;
    }
    return last;
}

void ldap_cext::forget_recorded(int msgid) {
    pending.remove_if([msgid](const RecordedSearch& s) { return s.msgid == msgid; });
}

bool ldap_cext::is_recorded(int msgid) const {
    for (const RecordedSearch& search : pending)
        if (search.msgid == msgid) return true;
    return false;
}
