#include "streamed_search.h"

#include <cctype>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>

#include "call_activity.h"
#include "ldap_message_ptr.h"
#include "ldap_result_codes.h"
#include "response_timeout.h"
#include "session_access.h"

namespace dirclient::ldapaccess {

namespace {

struct ControlDeleter {
    void operator()(LDAPControl* control) const { ldap_control_free(control); }
};

int session_code(LDAP* ld) {
    int code = LDAP_OTHER;
    ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &code);
    return qdx_ldap_classic_code(code);
}

// DNs delivered so far, by a 64-bit hash of their lower-cased text: 8 bytes an entry, and
// only kept where a fail-over can restart the search.
class SeenEntries {
  public:
    explicit SeenEntries(bool enabled) : enabled_(enabled) {}
    // True the first time dn is offered.
    bool first_time(LDAP* ld, LDAPMessage* entry) {
        if (!enabled_) return true;
        char* dn = ldap_get_dn(ld, entry);
        std::string key = dn != nullptr ? dn : "";
        ldap_memfree(dn);
        for (char& c : key)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return seen_.insert(std::hash<std::string>{}(key)).second;
    }

  private:
    bool enabled_;
    std::unordered_set<std::uint64_t> seen_;
};

// One page (or the whole answer without paging). *cookie carries the server's position
// from page to page; it is empty when the last page came.
// Each wait for the next message ends after response_seconds without a byte from the server.
int run_page(LDAP* ld, const StreamedSearch& search, berval* cookie, SeenEntries& seen,
             const EntryVisitor& visit, double response_seconds, bool* stopped) {
    LDAPControl* page = nullptr;
    if (search.page_size > 0 &&
        ldap_create_page_control(ld, search.page_size, cookie, 0, &page) != LDAP_SUCCESS)
        return session_code(ld);
    std::unique_ptr<LDAPControl, ControlDeleter> owned(page);
    LDAPControl* controls[2] = {page, nullptr};
    int msgid = -1;
    int rc = ldap_search_ext(ld, search.base, search.scope, search.filter, search.attrs,
                             search.attrsonly, page != nullptr ? controls : nullptr, nullptr,
                             nullptr, -1, &msgid);
    if (rc != LDAP_SUCCESS) return qdx_ldap_classic_code(rc);
    for (;;) {
        LdapMessagePtr message;
        bool silent = false;
        int type = await_response(ld, msgid, LDAP_MSG_ONE, nullptr, response_seconds,
                                  out_message(message), &silent);
        if (type <= 0) {
            ldap_abandon_ext(ld, msgid, nullptr, nullptr);
            return type == 0 ? QDX_LDAP_TIMEOUT : session_code(ld);
        }
        if (type == LDAP_RES_SEARCH_ENTRY) {
            bool go_on = !seen.first_time(ld, message.get()) || visit(ld, message.get());
            if (!go_on) {
                ldap_abandon_ext(ld, msgid, nullptr, nullptr);
                *stopped = true;
                return 0;
            }
            continue;
        }
        if (type != LDAP_RES_SEARCH_RESULT) continue;  // references are not followed
        int code = LDAP_OTHER;
        LDAPControl** answer_controls = nullptr;
        // Parsing leaves the diagnostic message and matched DN on the session.
        rc = ldap_parse_result(ld, message.release(), &code, nullptr, nullptr, nullptr,
                               &answer_controls, 1);
        if (rc != LDAP_SUCCESS) code = rc;
        ber_memfree(cookie->bv_val);
        *cookie = berval{0, nullptr};
        if (page != nullptr && answer_controls != nullptr) {
            LDAPControl* response =
                ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, answer_controls, nullptr);
            ber_int_t estimate = 0;
            if (response != nullptr)
                ldap_parse_pageresponse_control(ld, response, &estimate, cookie);
        }
        ldap_controls_free(answer_controls);
        return qdx_ldap_classic_code(code);
    }
}

}  // namespace

StreamOutcome run_streamed_search(DS_LDAP* handle, const StreamedSearch& search,
                                  const EntryVisitor& visit) {
    // Measured as the synchronous search it stands in for, entries handed on included.
    CallActivity activity("ldap_search_s");
    StreamOutcome outcome;
    const bool list = handle != nullptr && handle->kind == QDX_LDAP_SERVER_LIST;
    SeenEntries seen(list);
    int attempts = 0;
    outcome.code = run_on_session(handle, true, [&](SessionCore& core) {
        // A fail-over runs this again on the next server: from the first page there, since
        // a cookie means nothing to another server.
        if (attempts++ > 0) ++outcome.restarts;
        berval cookie{0, nullptr};
        int code;
        do {
            code = run_page(core.ld(), search, &cookie, seen, visit, core.response_timeout(),
                            &outcome.stopped);
        } while (code == 0 && !outcome.stopped && cookie.bv_len > 0);
        ber_memfree(cookie.bv_val);
        return code;
    });
    return outcome;
}

}  // namespace dirclient::ldapaccess
