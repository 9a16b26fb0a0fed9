#include "plain_session.h"

#include <memory>
#include <mutex>
#include <shared_mutex>
#include <sstream>
#include <string>
#include <unordered_map>

#include "connect_failure.h"
#include "ldap_result_codes.h"
#include "ldap_session_ptr.h"
#include "ldap_trace.h"
#include "server_connect.h"

namespace dirclient::ldapaccess::plain {

namespace {

class CoreRegistry {
  public:
    SessionCore* find(LDAP* ld) {
        std::shared_lock<std::shared_mutex> lock(mutex_);
        auto it = cores_.find(ld);
        return it == cores_.end() ? nullptr : it->second.get();
    }

    SessionCore& obtain(LDAP* ld, const ServerAddress& server) {
        if (SessionCore* found = find(ld)) return *found;
        std::unique_lock<std::shared_mutex> lock(mutex_);
        auto& slot = cores_[ld];
        if (!slot) slot = std::make_unique<SessionCore>(LdapSessionPtr(ld), server);
        return *slot;
    }

    std::unique_ptr<SessionCore> take(LDAP* ld) {
        std::unique_lock<std::shared_mutex> lock(mutex_);
        auto it = cores_.find(ld);
        if (it == cores_.end()) return nullptr;
        std::unique_ptr<SessionCore> core = std::move(it->second);
        cores_.erase(it);
        return core;
    }

  private:
    std::shared_mutex mutex_;
    std::unordered_map<LDAP*, std::unique_ptr<SessionCore>> cores_;  // guarded by mutex_
};

CoreRegistry& registry() {
    static CoreRegistry* instance = new CoreRegistry;
    return *instance;
}

// "host", "host:port", "[v6]:port" or a bare IPv6 literal.
ServerAddress parse_host(const std::string& text, int default_port) {
    ServerAddress server{text, default_port};
    if (!text.empty() && text.front() == '[') {
        size_t close = text.find(']');
        if (close == std::string::npos) return server;
        server.host = text.substr(1, close - 1);
        if (close + 1 < text.size() && text[close + 1] == ':')
            server.port = std::atoi(text.c_str() + close + 2);
        return server;
    }
    size_t colon = text.find(':');
    if (colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
        server.host = text.substr(0, colon);
        server.port = std::atoi(text.c_str() + colon + 1);
    }
    return server;
}

}  // namespace

LDAP* open(const char* host, int port, StartTls starttls) {
    apply_debug_environment();
    clear_connect_failure();
    int default_port = port == 0 ? LDAP_PORT : port;
    std::istringstream hosts(host && *host ? host : "localhost");
    std::string item;
    while (hosts >> item) {
        ServerAddress server = parse_host(item, default_port);
        if (server.port <= 0 || server.port > 65535) continue;
        OpenedSession connected = open_session(server, true, starttls);
        if (!connected.ld) continue;
        // The registered core owns the session from here on.
        LDAP* ld = connected.ld.release();
        registry().obtain(ld, server);
        return ld;
    }
    return nullptr;
}

int unbind(LDAP* ld) {
    if (ld == nullptr) return qdx_ldap_classic_code(LDAP_PARAM_ERROR);
    std::unique_ptr<SessionCore> core = registry().take(ld);
    if (core) return 0;  // the core's destructor sends the unbind and frees the session
    return end_session(LdapSessionPtr(ld));
}

SessionCore& core(LDAP* ld) {
    return registry().obtain(ld, ServerAddress{});
}

SessionCore* find(LDAP* ld) {
    return registry().find(ld);
}

}  // namespace dirclient::ldapaccess::plain
