#include "entry_stream.h"

#include <mutex>

#include "call_activity.h"
#include "connection_report.h"
#include "directory_handle.h"
#include "entry_from_message.h"
#include "flat_file_call.h"

namespace dirclient::connection {

EntryStream::EntryStream(DConnection& connection, const char* base, int scope, const char* filter,
                         DList* attrs, bool attrsOnly, SearchConstraints* constraints, int pageSize,
                         EntryForm form)
    : connection_(connection),
      base_(base != nullptr ? base : ""),
      filter_(filter != nullptr ? filter : ""),
      scope_(scope),
      attrs_(attrs),
      attrsOnly_(attrsOnly),
      form_(form),
      constraints_(constraints) {
    std::lock_guard<std::mutex> guard(connection.m_lock);
    DS_LDAP* handle = connection.handleLocked();
    if (handle != nullptr && handle->kind == QDX_LDAP_FLAT_FILE) return;
    Status prepared =
        connection.prepareSearchLocked(handle, base, scope, filter, attrs, constraints, &par_);
    if (!prepared.ok()) {
        failure_.reset(prepared.release());
        outcome_.ldapCode = LDAP_PARAM_ERROR;
        ended_ = true;
        return;
    }
    handle_ = handle;
    ldapaccess::StreamedSearch search;
    search.base = base_.c_str();
    search.scope = par_->scope;
    search.filter = filter_.c_str();
    search.attrs = par_->attrs;
    search.attrsonly = attrsOnly ? 1 : 0;
    search.page_size = pageSize > 0 ? pageSize : 0;
    // The limits prepare set, held by the search itself from here on.
    SearchConstraints* limits = connection.limitsFor(constraints);
    search.time_limit = limits != nullptr ? limits->getTimeLimit() : 0;
    search.size_limit = limits != nullptr ? limits->getMaxResults() : 0;
    cursor_ = std::make_unique<ldapaccess::StreamedSearchCursor>(handle, search);
}

EntryStream::~EntryStream() {
    if (cursor_) {
        std::lock_guard<std::mutex> guard(connection_.m_lock);
        // A handle closed meanwhile is not touched again.
        if (connection_.handleLocked() != handle_) cursor_->disown();
        cursor_.reset();
    }
    connection_.freeSearchPar(par_);
}

bool EntryStream::step(const DConnection::EntrySink& sink, std::size_t batch) {
    if (ended_) return false;
    if (!cursor_) {
        // A flat file: its search answers at once.
        ended_ = true;
        if (DConnection::FlatFileCall ff{connection_}) {
            DException* failure = nullptr;
            outcome_ =
                connection_.searchEachFlatFile(ff.get(), base_.c_str(), scope_, filter_.c_str(),
                                               attrs_, attrsOnly_, constraints_, sink, &failure);
            failure_.reset(failure);
        } else {
            end(QDX_LDAP_SERVER_DOWN, nullptr);
        }
        return false;
    }
    std::lock_guard<std::mutex> guard(connection_.m_lock);
    if (connection_.handleLocked() != handle_) {
        // Disconnected under the stream.
        cursor_->disown();
        end(QDX_LDAP_SERVER_DOWN, nullptr);
        return false;
    }
    // The whole search in one step is measured as the synchronous search it stands for; a
    // step of a longer stream as the wait for answers it is.
    ldapaccess::CallActivity activity(batch == 0 ? "ldap_search_s" : "ldap_result");
    bool more = cursor_->step(
        [&](LDAP* ld, LDAPMessage* found) {
            DEntry* entry =
                form_ == EntryForm::ValuesOnly ? entry_values_from_message(ld, found) : nullptr;
            if (entry == nullptr) entry = entry_from_message(SessionAccess{ld}, found);
            ++outcome_.entries;
            return sink(entry);
        },
        batch);
    outcome_.restarts = cursor_->outcome().restarts;
    if (!more) end(cursor_->outcome().code, handle_);
    return more;
}

// The lock is held when a handle is given.
void EntryStream::end(int code, DS_LDAP* handle) {
    ended_ = true;
    outcome_.ldapCode = code;
    if (code == 0 || cut_short_by_limit(code)) return;
    DException* failure = nullptr;
    fail_said(&failure, DEXC_SEARCH, code, said_after(handle, code));
    failure_.reset(failure);
}

}  // namespace dirclient::connection
