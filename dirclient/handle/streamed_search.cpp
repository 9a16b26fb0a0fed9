#include "streamed_search.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

}  // namespace

// DNs delivered so far, each by a 64-bit hash of its case-folded text in an open-addressed
// table: 11 to 22 bytes an entry, nothing allocated per entry, and only kept where a
// fail-over can restart the search.
class StreamedSearchCursor::Seen {
  public:
    explicit Seen(bool enabled) : enabled_(enabled) {}
    // True the first time the entry's DN is offered.
    bool first_time(LDAP* ld, LDAPMessage* entry) {
        if (!enabled_) return true;
        berval dn{0, nullptr};  // points into the message
        if (ldap_get_dn_ber(ld, entry, nullptr, &dn) != LDAP_SUCCESS) dn = berval{0, nullptr};
        std::uint64_t key = 14695981039346656037ULL;  // FNV-1a
        for (ber_len_t k = 0; k < dn.bv_len; ++k) {
            unsigned char c = static_cast<unsigned char>(dn.bv_val[k]);
            key ^= c >= 'A' && c <= 'Z' ? c | 0x20u : c;  // ASCII case, as DN names fold
            key *= 1099511628211ULL;
        }
        return insert(key | 1);  // 0 marks a free slot
    }

  private:
    bool insert(std::uint64_t key) {
        if ((count_ + 1) * 4 > slots_.size() * 3) grow();
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t at = slot_of(key);; at = (at + 1) & mask) {
            if (slots_[at] == key) return false;
            if (slots_[at] == 0) {
                slots_[at] = key;
                ++count_;
                return true;
            }
        }
    }
    std::size_t slot_of(std::uint64_t key) const {
        return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> (64 - bits_));
    }
    void grow() {
        std::vector<std::uint64_t> old(std::size_t{1} << ++bits_, 0);
        old.swap(slots_);
        count_ = 0;
        for (std::uint64_t key : old)
            if (key != 0) insert(key);
    }

    bool enabled_;
    int bits_ = 4;
    std::vector<std::uint64_t> slots_ = std::vector<std::uint64_t>(16, 0);
    std::size_t count_ = 0;
};

StreamedSearchCursor::StreamedSearchCursor(DS_LDAP* handle, const StreamedSearch& search)
    : handle_(handle),
      search_(search),
      seen_(std::make_unique<Seen>(handle != nullptr && handle->kind == QDX_LDAP_SERVER_LIST)) {}

StreamedSearchCursor::~StreamedSearchCursor() {
    finish();
    ber_memfree(cookie_.bv_val);
}

bool StreamedSearchCursor::step(const EntryVisitor& visit, std::size_t batch) {
    if (ended_) return false;
    int code =
        run_on_session(handle_, true, [&](SessionCore& core) { return run(core, visit, batch); });
    if (paused_) return true;
    outcome_.code = code;
    finish();
    return false;
}

// Lets the session go: the running page abandoned, the busy mark taken off.
void StreamedSearchCursor::finish() {
    ended_ = true;
    if (!holding_ && sentOn_ == nullptr) return;
    run_on_session_as_is(handle_, [&](SessionCore& core) {
        if (sentOn_ == core.ld() && core.connected())
            ldap_abandon_ext(core.ld(), msgid_, nullptr, nullptr);
        if (holding_) core.release_stream();
        return 0;
    });
    sentOn_ = nullptr;
    holding_ = false;
}

int StreamedSearchCursor::sendPage(SessionCore& core) {
    sentOn_ = nullptr;
    LDAP* ld = core.ld();
    if (search_.time_limit >= 0 && search_.size_limit >= 0)
        core.set_limits(search_.time_limit, search_.size_limit);
    LDAPControl* page = nullptr;
    if (search_.page_size > 0 &&
        ldap_create_page_control(ld, search_.page_size, &cookie_, 0, &page) != LDAP_SUCCESS)
        return session_code(ld);
    std::unique_ptr<LDAPControl, ControlDeleter> owned(page);
    LDAPControl* controls[2] = {page, nullptr};
    int rc = ldap_search_ext(ld, search_.base, search_.scope, search_.filter, search_.attrs,
                             search_.attrsonly, page != nullptr ? controls : nullptr, nullptr,
                             nullptr, -1, &msgid_);
    if (rc != LDAP_SUCCESS) return qdx_ldap_classic_code(rc);
    sentOn_ = ld;
    return 0;
}

// The final answer of a page: its code; cookie_ is the server's position for the next
// page, empty when the last page came.
int StreamedSearchCursor::takeResult(LDAP* ld, LDAPMessage* result) {
    sentOn_ = nullptr;
    int code = LDAP_OTHER;
    LDAPControl** answer_controls = nullptr;
    // Parsing leaves the diagnostic message and matched DN on the session.
    int rc = ldap_parse_result(ld, result, &code, nullptr, nullptr, nullptr, &answer_controls, 1);
    if (rc != LDAP_SUCCESS) code = rc;
    ber_memfree(cookie_.bv_val);
    cookie_ = berval{0, nullptr};
    if (search_.page_size > 0 && answer_controls != nullptr) {
        LDAPControl* response =
            ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, answer_controls, nullptr);
        ber_int_t estimate = 0;
        if (response != nullptr) ldap_parse_pageresponse_control(ld, response, &estimate, &cookie_);
    }
    ldap_controls_free(answer_controls);
    return qdx_ldap_classic_code(code);
}

// One step on the session: a fail-over runs it again on the next server, where the search
// starts again from the first page (a cookie means nothing to another server).
int StreamedSearchCursor::run(SessionCore& core, const EntryVisitor& visit, std::size_t batch) {
    paused_ = false;
    if (!holding_) core.hold_stream();
    holding_ = true;
    LDAP* ld = core.ld();
    if (sentOn_ != ld) {
        if (started_) {
            ++outcome_.restarts;
            ber_memfree(cookie_.bv_val);
            cookie_ = berval{0, nullptr};
        }
        started_ = true;
        if (int code = sendPage(core)) return code;
    }
    std::size_t delivered = 0;
    for (;;) {
        LdapMessagePtr message;
        int type;
        if (batch > 0 && delivered > 0) {
            // Once entries are in hand, the step ends rather than wait for more.
            timeval now{0, 0};
            type = delivered < batch
                       ? ldap_result(ld, msgid_, LDAP_MSG_ONE, &now, out_message(message))
                       : 0;
            if (type == 0) {
                paused_ = true;
                return 0;
            }
        } else {
            bool silent = false;
            type = await_response(ld, msgid_, LDAP_MSG_ONE, nullptr, core.response_timeout(),
                                  out_message(message), &silent);
        }
        if (type <= 0) {
            // Read before the abandon, which leaves its own code on the session: a lost
            // server would otherwise end the search as if it were complete.
            int code = type == 0 ? QDX_LDAP_TIMEOUT : session_code(ld);
            ldap_abandon_ext(ld, msgid_, nullptr, nullptr);
            sentOn_ = nullptr;
            return code != 0 ? code : QDX_LDAP_SERVER_DOWN;
        }
        if (type == LDAP_RES_SEARCH_ENTRY) {
            if (!seen_->first_time(ld, message.get())) continue;
            ++delivered;
            if (!visit(ld, message.get())) {
                outcome_.stopped = true;
                return 0;  // finish() abandons the page
            }
            continue;
        }
        if (type != LDAP_RES_SEARCH_RESULT) continue;  // references are not followed
        int code = takeResult(ld, message.release());
        if (code != 0 || cookie_.bv_len == 0) return code;
        if ((code = sendPage(core)) != 0) return code;
    }
}

}  // namespace dirclient::ldapaccess
