// DConnection: encryption of its LDAP connections and the response time-out.
#include <mutex>
#include <set>
#include <string>

#include "connect_failure.h"
#include "connection_report.h"
#include "dconnection.h"
#include "directory_handle.h"
#include "response_timeout.h"

using namespace dirclient::connection;

namespace {

constexpr const char* kTlsFailed = "ERROR: TLS negotiation failed";
constexpr size_t kMaxKeptTexts = 256;

// Exceptions refer to their texts without copying them: a failure's text is kept for the
// life of the process, once per distinct text (a few servers give a few reasons).
const char* lasting_text(const std::string& text) {
    static std::mutex mutex;
    static std::set<std::string>* texts = new std::set<std::string>;
    std::lock_guard<std::mutex> guard(mutex);
    auto found = texts->find(text);
    if (found != texts->end()) return found->c_str();
    if (texts->size() >= kMaxKeptTexts) return kTlsFailed;
    return texts->insert(text).first->c_str();
}

}  // namespace

namespace dirclient::connection {

void fail_open(DException** out, const char* flatFileReason) {
    const std::string& why = dirclient::ldapaccess::last_connect_failure();
    if (flatFileReason == nullptr && dirclient::ldapaccess::last_connect_failure_is_tls())
        return fail(out, DEXC_CONNECT, lasting_text("ERROR: " + why));
    fail(out, DEXC_CONNECT, kNoOpenConnection);
    if (out != nullptr && *out != nullptr)
        (*out)->setDiagnosticMessage(flatFileReason != nullptr ? flatFileReason : why);
}

}  // namespace dirclient::connection

void DConnection::setStartTLS(int mode, DException** out) {
    succeed(out);
    if (mode < -1 || mode > 2) return fail(out, DEXC_CONNECT, "ERROR: invalid StartTLS mode");
    std::lock_guard<std::mutex> guard(m_lock);
    m_iStartTLS = mode;
    DS_LDAP* handle = m_pLdap.load();
    if (handle == nullptr || mode == -1) return;
    int rc = qdx_ldap_set_starttls(handle, mode);
    if (rc != 0) fail_ldap(out, DEXC_CONNECT, rc);
}

void DConnection::setResponseTimeout(long seconds, DException** out) {
    succeed(out);
    if (seconds < 0 || seconds >= 86400)
        return fail(out, DEXC_SET_TIMEOUT, "ERROR: invalid response time-out");
    std::lock_guard<std::mutex> guard(m_lock);
    m_lResponseTimeout = seconds;
    DS_LDAP* handle = m_pLdap.load();
    if (handle == nullptr) return;
    double effective = seconds > 0 ? static_cast<double>(seconds)
                                   : dirclient::ldapaccess::response_timeout_from_environment();
    if (qdx_ldap_set_response_timeout(handle, effective) != 0)
        fail(out, DEXC_SET_TIMEOUT, kCanNotSetTimer);
}
