#ifndef DIRCLIENT_SESSION_CORE_H
#define DIRCLIENT_SESSION_CORE_H

#include <sys/time.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <ldap.h>

#include "ldap_session_ptr.h"
#include "local_message.h"
#include "response_cache.h"
#include "server_connect.h"

// Our layer between the callers and one libldap session. It owns the session, its response
// cache, and the translation between the message identifiers callers hold and libldap's:
// a cache hit gets an identifier although nothing is sent, and after a fail-over the
// requests re-sent on the new server keep the identifiers their callers hold. As long as
// neither happened, the identifiers are libldap's own and nothing is translated.
//
// Not locked: plain sessions are serialised by their connection's lock, server-list
// sessions by their session mutex. Result codes are classic numbers.

namespace dirclient::ldapaccess {

struct EncodedRequest;

class SessionCore {
  public:
    // "ld": a connected session.
    SessionCore(LdapSessionPtr ld, ServerAddress server);
    ~SessionCore();
    SessionCore(const SessionCore&) = delete;
    SessionCore& operator=(const SessionCore&) = delete;

    // Never null: after an idle close it is an unconnected session that only serves the
    // message accessors (libldap requires a valid session there).
    LDAP* ld() const { return connection_.ld.get(); }
    bool connected() const { return connection_.open; }
    // Connects first when needed (see set_reconnect); whether the session is connected.
    bool ensure_open() { return ensure_connected(); }
    const ServerAddress& server() const { return connection_.server; }
    int last_error() const { return last_error_; }
    void set_last_error(int code) { last_error_ = code; }

    // Called when a request needs the server and the session is not connected (a server
    // list re-opens its connection after an idle close); returns whether it is connected.
    void set_reconnect(std::function<bool()> reconnect) { reconnect_ = std::move(reconnect); }

    // The time limit (seconds) and size limit (entries) of later searches, 0 for none; kept
    // for every connection the session moves to (see apply_limits).
    void set_limits(int timelimit, int sizelimit);
    // Gives "ld" the limits set with set_limits, if any.
    void apply_limits(LDAP* ld) const;

    // The response time-out (seconds) of this session; until set, QDX_RESPONSE_TIMEOUT's.
    void set_response_timeout(double seconds) { response_timeout_ = seconds; }
    double response_timeout() const;

    // Counts the calls that reached the server; a call answered from the cache does not.
    unsigned long server_calls() const { return server_calls_; }

    // Asynchronous requests: the caller's message identifier, or -1 (see last_error()).
    int search(const char* base, int scope, const char* filter, char** attrs, int attrsonly);
    int compare(const char* dn, const char* attr, const char* value);
    int add(const char* dn, LDAPMod** mods);
    int remove(const char* dn);
    int modify(const char* dn, LDAPMod** mods);
    int modrdn(const char* dn, const char* newrdn, int deleteoldrdn);
    int bind(const char* who, const char* credentials, int method);

    // Synchronous requests; classic result codes. "use_cache" false bypasses the cache;
    // "from_cache", when not null, tells whether the answer came from it.
    int search_s(const char* base, int scope, const char* filter, char** attrs, int attrsonly,
                 const timeval* timeout, LDAPMessage** res, bool use_cache = true,
                 bool* from_cache = nullptr);
    int compare_s(const char* dn, const char* attr, const char* value, bool* from_cache = nullptr);
    int add_s(const char* dn, LDAPMod** mods);
    int remove_s(const char* dn);
    int modify_s(const char* dn, LDAPMod** mods);
    int modrdn_s(const char* dn, const char* newrdn, int deleteoldrdn);
    int bind_s(const char* who, const char* credentials, int method);

    // As ldap_result; "caller_id", when not null, receives the identifier of the message
    // returned as the caller knows it.
    // "complete" tells whether the answer returned ends its request.
    int result(int msgid, int all, const timeval* timeout, LDAPMessage** res,
               int* caller_id = nullptr, bool* complete = nullptr);
    int abandon(int msgid);
    int msgdelete(int msgid);

    // The response cache; null when none was enabled (or it was destroyed).
    ResponseCache* cache() const { return cache_.get(); }
    bool cache_enabled() const { return cache_ && cache_->enabled(); }
    // As ldap_enable_cache: a zero "maxmem" on an existing cache only flushes it.
    int enable_cache(long timeout, long maxmem);
    void destroy_cache();

    // Fail-over. A connection to another server is installed under the current state; the
    // searches re-sent on it are given as (caller identifier, libldap identifier) pairs.
    // restore() goes back to the previous connection (closing the installed one); commit()
    // keeps the new one, closes the previous one, marks the requests it could not carry
    // over as lost, and keeps the cached answers only when the server is the same.
    struct Connection {
        LdapSessionPtr ld;
        bool open = false;
        ServerAddress server;
        std::unordered_map<int, int> by_caller;   // caller id -> libldap id
        std::unordered_map<int, int> by_library;  // libldap id -> caller id
    };
    Connection install(LdapSessionPtr ld, ServerAddress server,
                       const std::vector<std::pair<int, int>>& resent);
    void restore(Connection previous);
    void commit(Connection previous);

    // Closes the connection (an idle close, or the end of the session); the session
    // re-connects when next needed. The classic result code of the unbind.
    int close_connection();
    // True when "msgid" names an answer served from the cache and not yet collected.
    bool answered_locally(int msgid) const;
    // True while answers are outstanding (sent, final answer not yet collected), a search
    // read in steps included.
    bool has_outstanding() const;
    // A search read in steps marks the session while it runs, so that between its steps
    // neither an idle close nor a fail-back takes the connection from under it.
    void hold_stream() { ++streams_; }
    void release_stream() {
        if (streams_ > 0) --streams_;
    }

  private:
    bool ensure_connected();
    int error_from_session();
    int finish(int code) { return last_error_ = code; }
    // Records a refused request (89) and returns "returned".
    int refuse(int returned);
    template <typename Send>
    int send(Send send_request);
    // Answers from the cache when it holds the encoded request (null: not encodable), else
    // sends and records the request for its answer; the caller's identifier or -1.
    template <typename Send>
    int send_through_cache(int type, std::optional<EncodedRequest>& request, Send send_request);
    int track(int library_id);
    int queue_local(const MessageCopies& copies);
    LDAPMessage* take_local(int msgid, int all, int* caller_id);
    void feed_cache(int caller_id, LDAPMessage* chain);
    int await_final(int msgid, const timeval* timeout, LDAPMessage** res);
    // Sends a request and waits for its final answer; the classic result code.
    template <typename Send>
    int exchange(Send send_request);
    // Records a filter beyond the bounds libldap survives (87) and returns "returned".
    int refuse_filter(int returned);
    void forget_route(int caller_id);
    void lose_outstanding();

    Connection connection_;
    std::unique_ptr<ResponseCache> cache_;
    std::deque<LocalMessage*> local_queue_;  // cached answers not yet collected
    std::unordered_set<int> lost_;           // requests a fail-over could not carry over
    std::function<bool()> reconnect_;
    int max_issued_ = 0;        // highest identifier handed to a caller
    bool translating_ = false;  // identifiers no longer follow libldap's
    int last_error_ = 0;
    unsigned long server_calls_ = 0;
    int streams_ = 0;                            // searches read in steps, running
    std::optional<std::pair<int, int>> limits_;  // (time limit, size limit)
    std::optional<double> response_timeout_;     // seconds
};

}  // namespace dirclient::ldapaccess

#endif
