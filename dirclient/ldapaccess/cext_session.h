#ifndef DIRCLIENT_CEXT_SESSION_H
#define DIRCLIENT_CEXT_SESSION_H

#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "failback_probe.h"
#include "idle_timer.h"
#include "ldap_cext.h"
#include "session_core.h"

// The record behind an LDAP_CEXT handle. Every field but the mutex is guarded by it.

namespace dirclient::ldapaccess {

// An asynchronous search kept for re-sending after a fail-over.
struct RecordedSearch {
    int msgid = 0;
    std::string base;
    int scope = 0;
    std::string filter;
    std::optional<std::vector<std::string>> attrs;
    int attrsonly = 0;

    // Sends the search on "ld"; libldap's identifier or -1.
    int send(LDAP* ld) const;
};

bool is_failover_code(int code);

// ldap_cext_open with the DNS name to ask when "hosts" is null given, instead of the
// process-wide one, which another thread may change or clear meanwhile.
LDAP_CEXT* open_server_list(const char* hosts, const std::string& dns, int options,
                            StartTls starttls);

// The StartTLS mode that the open options ask for, else the environment's.
StartTls starttls_of_options(int options);

using Request = std::function<int(SessionCore&)>;

}  // namespace dirclient::ldapaccess

struct ldap_cext {
    using SessionCore = dirclient::ldapaccess::SessionCore;
    using Request = dirclient::ldapaccess::Request;

    ldap_cext(std::unique_ptr<SessionCore> first, std::string list, bool from_dns, std::string dns,
              int open_options,
              dirclient::ldapaccess::StartTls tls = dirclient::ldapaccess::StartTls::kOff);

    // Runs "request" on the current server; when it fails with a fail-over code and
    // "allowed", moves to the next usable server and repeats it there. "moved" tells
    // whether the session changed servers.
    int with_failover(bool allowed, const Request& request, bool* moved = nullptr);

    // Opens the servers of the list in order, from the first; on each: re-binds with the
    // stored credentials (unless "request_is_bind"), re-sends the recorded searches, runs
    // "request" (may be null) and keeps the first server where all of this works. Returns
    // the request's code, or the last failure with the session left where it was.
    int move_to_next_server(int last_code, const Request* request, bool request_is_bind,
                            bool* moved);

    // Re-sends every recorded search on "ld"; (caller id, libldap id) pairs, or nothing.
    std::optional<std::vector<std::pair<int, int>>> resend_p_requests(LDAP* ld) const;

    // Connects to "server" (with "probe", the server must answer an anonymous bind) and, with
    // "rebind", binds with the stored credentials; a server that proves dead or silent goes
    // into quarantine, one that answers leaves it. The session itself is not touched.
    dirclient::ldapaccess::OpenedSession connect_bound(
        const dirclient::ldapaccess::ServerAddress& server, bool probe, bool rebind = true);

    // Between requests, when the fail-back interval has passed: moves to the first server
    // before the current one in the list that answers (failback_probe.cpp). Never throws.
    void fail_back() noexcept;

    void forget_recorded(int msgid);
    bool is_recorded(int msgid) const;

    std::list<dirclient::ldapaccess::RecordedSearch> pending;
    std::mutex mutex;  // serialises every call on the session, shared with the idle timer
    bool use_dns = false;
    std::string dns_name;  // the name the list was found under, for re-fetching it
    std::string servers;
    std::optional<std::string> credentials;
    std::optional<std::string> bind_dn;
    int method = LDAP_AUTH_SIMPLE;
    std::unique_ptr<SessionCore> core;
    long last_mods = 0;
    int options = 0;
    dirclient::ldapaccess::StartTls starttls = dirclient::ldapaccess::StartTls::kOff;
    dirclient::ldapaccess::IdleTimer timer;
    dirclient::ldapaccess::FailbackProbe failback;
    bool moved_unseen = false;  // a move that ldap_cext_is_changed has not reported
};

namespace dirclient::ldapaccess {

// Holds the session mutex for one call. Only the calls that count as activity (a
// synchronous search, the change check) restart the idle countdown, and only when they
// reached the server; a connection with answers still owed is never closed as idle.
class SessionCall {
  public:
    explicit SessionCall(LDAP_CEXT* session, bool activity = false)
        : session_(session),
          lock_(session->mutex),
          calls_(session->core->server_calls()),
          activity_(activity) {
        session_->fail_back();
    }
    ~SessionCall() {
        if (activity_ && session_->core->server_calls() != calls_) session_->timer.ping();
    }
    SessionCall(const SessionCall&) = delete;
    SessionCall& operator=(const SessionCall&) = delete;

    std::unique_lock<std::mutex>& lock() { return lock_; }

  private:
    LDAP_CEXT* session_;
    std::unique_lock<std::mutex> lock_;
    unsigned long calls_;
    bool activity_;
};

}  // namespace dirclient::ldapaccess

#endif
