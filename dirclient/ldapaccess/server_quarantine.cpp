#include "server_quarantine.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "ldap_cext.h"
#include "ldap_result_codes.h"
#include "server_list_walk.h"

namespace dirclient::ldapaccess {

std::string ServerQuarantine::key(const ServerAddress& server) {
    std::string text = server.host;
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text + " " + std::to_string(server.port);
}

void ServerQuarantine::set_period(std::optional<double> seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    period_ = seconds;
}

double ServerQuarantine::period() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return period_locked();
}

double ServerQuarantine::period_locked() const {
    if (period_) return *period_;
    if (const char* text = std::getenv("QDX_SERVER_QUARANTINE")) {
        char* end = nullptr;
        double parsed = std::strtod(text, &end);
        if (end != text && *end == '\0' && parsed >= 0 && parsed < 86400 * 365) return parsed;
    }
    return kDefaultSeconds;
}

void ServerQuarantine::failed(const ServerAddress& server) {
    std::lock_guard<std::mutex> lock(mutex_);
    double seconds = period_locked();
    auto now = clock_();
    // Dropping the expired ones here keeps the map as small as the set of dead servers.
    for (auto it = until_.begin(); it != until_.end();)
        it = it->second <= now ? until_.erase(it) : std::next(it);
    if (seconds <= 0) return;
    until_[key(server)] = now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                    std::chrono::duration<double>(seconds));
}

void ServerQuarantine::answered(const ServerAddress& server) {
    std::lock_guard<std::mutex> lock(mutex_);
    until_.erase(key(server));
}

bool ServerQuarantine::held_locked(const std::string& name) const {
    // A period shortened or switched off since the failure applies at once.
    double seconds = period_locked();
    if (seconds <= 0) return false;
    auto it = until_.find(name);
    if (it == until_.end()) return false;
    auto now = clock_();
    auto limit = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(seconds));
    return it->second > now && it->second - now <= limit;
}

bool ServerQuarantine::held(const ServerAddress& server) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return held_locked(key(server));
}

std::vector<ServerAddress> ServerQuarantine::walk_order(
    const std::vector<ServerAddress>& servers) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<ServerAddress> ordered = servers;
    std::stable_partition(ordered.begin(), ordered.end(),
                          [this](const ServerAddress& s) { return !held_locked(key(s)); });
    return ordered;
}

ServerQuarantine& server_quarantine() {
    static ServerQuarantine quarantine;
    return quarantine;
}

std::vector<ServerAddress> list_servers(const std::string& list) {
    std::vector<ServerAddress> servers;
    const char* position = list.c_str();
    while (std::optional<ServerAddress> server = next_server(&position))
        servers.push_back(std::move(*server));
    return servers;
}

}  // namespace dirclient::ldapaccess

extern "C" int ldap_cext_set_quarantine(long seconds) {
    using dirclient::ldapaccess::server_quarantine;
    if (seconds < -1) return QDX_LDAP_PARAM_ERROR;
    server_quarantine().set_period(seconds == -1 ? std::nullopt : std::optional<double>(seconds));
    return 0;
}
