#include "failback_probe.h"

#include <cstdlib>

#include "cext_session.h"
#include "ldap_result_codes.h"
#include "server_quarantine.h"

namespace dirclient::ldapaccess {

FailbackProbe::FailbackProbe() : last_(std::chrono::steady_clock::now()) {
    if (const char* text = std::getenv("QDX_FAILBACK_INTERVAL")) {
        char* end = nullptr;
        double parsed = std::strtod(text, &end);
        if (end != text && *end == '\0' && parsed > 0 && parsed < 86400 * 365) set_interval(parsed);
    }
}

void FailbackProbe::set_interval(double seconds) {
    interval_ = std::chrono::duration<double>(seconds > 0 ? seconds : 0);
}

bool FailbackProbe::due(TimePoint now) {
    if (!enabled() || now - last_ < interval_) return false;
    last_ = now;
    return true;
}

}  // namespace dirclient::ldapaccess

using namespace dirclient::ldapaccess;

void ldap_cext::fail_back() noexcept {
    if (!failback.enabled() || !core->connected() || core->has_outstanding() || !pending.empty())
        return;
    if (!failback.due(std::chrono::steady_clock::now())) return;
    try {
        // A probe is what tells that a server came back, so quarantine does not apply here.
        for (const ServerAddress& server : list_servers(servers)) {
            if (same_server(server, core->server())) return;
            OpenedSession connected = connect_bound(server, true);
            if (!connected.ld) continue;
            core->commit(core->install(std::move(connected.ld), server, {}));
            moved_unseen = true;
            return;
        }
    } catch (...) {
        // Out of memory: the session stays where it is, which is always correct.
    }
}

extern "C" int ldap_cext_set_failback(LDAP_CEXT* s, long seconds) {
    if (s == nullptr || seconds < 0) return QDX_LDAP_PARAM_ERROR;
    std::lock_guard<std::mutex> lock(s->mutex);
    s->failback.set_interval(static_cast<double>(seconds));
    return 0;
}
