#ifndef DIRCLIENT_SERVER_QUARANTINE_H
#define DIRCLIENT_SERVER_QUARANTINE_H

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "server_connect.h"

// Servers that failed are tried last in list walks for a while, so that a dead server costs
// its connect time-out once per period rather than on every fail-over (as long as another
// server answers). The period is
// QDX_SERVER_QUARANTINE seconds (read at every walk; 0 switches it off), 60 by default, or
// what ldap_cext_set_quarantine set. Process-wide: a server dead for one session is dead
// for all.

namespace dirclient::ldapaccess {

class ServerQuarantine {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr double kDefaultSeconds = 60.0;

    explicit ServerQuarantine(Clock clock = std::chrono::steady_clock::now)
        : clock_(std::move(clock)) {}

    // Seconds >= 0 replace the environment's period; nothing goes back to it.
    void set_period(std::optional<double> seconds);
    double period() const;

    void failed(const ServerAddress& server);    // starts (or renews) its quarantine
    void answered(const ServerAddress& server);  // ends it
    bool held(const ServerAddress& server) const;

    // "servers" in the order to try them: those out of quarantine first, then, as a last
    // resort when all of those failed, those in quarantine; each group in list order.
    std::vector<ServerAddress> walk_order(const std::vector<ServerAddress>& servers) const;

  private:
    static std::string key(const ServerAddress& server);
    double period_locked() const;
    bool held_locked(const std::string& key) const;

    mutable std::mutex mutex_;
    Clock clock_;
    std::optional<double> period_;  // guarded by mutex_
    // Guarded by mutex_: the end of each quarantine; expired ones go at the next failure.
    std::map<std::string, std::chrono::steady_clock::time_point> until_;
};

// The process-wide quarantine.
ServerQuarantine& server_quarantine();

// Every usable server of a list (LDAP URLs separated by ';'), in its order.
std::vector<ServerAddress> list_servers(const std::string& list);

}  // namespace dirclient::ldapaccess

#endif
