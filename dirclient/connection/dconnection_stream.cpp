// DConnection's streamed, partial and paged searches: entries go to the caller as they
// arrive instead of being gathered into one answer first.

#include <mutex>

#include "connection_report.h"
#include "dconnection.h"
#include "directory_handle.h"
#include "entry_from_message.h"
#include "flat_file_call.h"
#include "streamed_search.h"

using namespace dirclient::connection;

namespace {

bool is_limit(int code) {
    return code == LDAP_TIMELIMIT_EXCEEDED || code == LDAP_SIZELIMIT_EXCEEDED;
}

}  // namespace

DConnection::SearchOutcome DConnection::searchEach(const char* base, int scope, const char* filter,
                                                   DList* attrs, bool attrsOnly,
                                                   SearchConstraints* constraints, int pageSize,
                                                   const EntrySink& sink, DException** out) {
    if (FlatFileCall ff{*this})
        return searchEachFlatFile(ff.get(), base, scope, filter, attrs, attrsOnly, constraints,
                                  sink, out);
    SearchOutcome outcome;
    std::lock_guard<std::mutex> guard(m_lock);
    DS_LDAP* handle = handleLocked();
    SearchPar* par = nullptr;
    Status prepared = prepareSearchLocked(handle, base, scope, filter, attrs, constraints, &par);
    if (!report_to(out, std::move(prepared))) {
        outcome.ldapCode = LDAP_PARAM_ERROR;
        return outcome;
    }
    dirclient::ldapaccess::StreamedSearch search;
    search.base = base;
    search.scope = par->scope;
    search.filter = filter;
    search.attrs = par->attrs;
    search.attrsonly = attrsOnly ? 1 : 0;
    search.page_size = pageSize > 0 ? pageSize : 0;
    dirclient::ldapaccess::StreamOutcome streamed = dirclient::ldapaccess::run_streamed_search(
        handle, search, [&](LDAP* ld, LDAPMessage* found) {
            ++outcome.entries;
            return sink(entry_from_message(SessionAccess{ld}, found));
        });
    freeSearchPar(par);
    outcome.ldapCode = streamed.code;
    outcome.restarts = streamed.restarts;
    if (streamed.code != 0 && !is_limit(streamed.code))
        fail_said(out, DEXC_SEARCH, streamed.code, said_after(handle, streamed.code));
    return outcome;
}

DConnection::SearchOutcome DConnection::searchEachFlatFile(
    FFConnection* ff, const char* base, int scope, const char* filter, DList* attrs, bool attrsOnly,
    SearchConstraints* constraints, const EntrySink& sink, DException** out) {
    SearchOutcome outcome;
    SearchResults* found = ff->search(base, scope, filter, attrs, attrsOnly, constraints, out);
    if (out != nullptr && *out != nullptr) outcome.ldapCode = (*out)->getLdapErrorCode();
    DList* values = found != nullptr ? found->getValues() : nullptr;
    for (DListItem* item = values != nullptr ? values->getHead() : nullptr; item != nullptr;
         item = item->getNextItem()) {
        auto* element = static_cast<DElement*>(item->getValue());
        if (element == nullptr || element->getType() != DELEMENT_ENTRY) continue;
        // The entry leaves the results: the sink becomes its owner.
        item->resetValue(nullptr);
        ++outcome.entries;
        if (!sink(static_cast<DEntry*>(element))) break;
    }
    delete found;
    return outcome;
}

SearchResults* DConnection::searchPartial(const char* base, int scope, const char* filter,
                                          DList* attrs, bool attrsOnly,
                                          SearchConstraints* constraints, int pageSize,
                                          int* ldapCode, DException** out) {
    PrivateHolder holder(out);
    auto* results = new SearchResults();
    SearchOutcome outcome = searchEach(
        base, scope, filter, attrs, attrsOnly, constraints, pageSize,
        [&](DEntry* entry) { return results->addEntry(entry); }, holder.get());
    if (ldapCode != nullptr) *ldapCode = outcome.ldapCode;
    if (holder.failure() != nullptr) {
        delete results;
        return nullptr;
    }
    // As search() answers an empty result.
    if (outcome.entries == 0)
        results->addException(
            new DException(dexception_info_message(DEXC_SEARCH), DEXC_SEARCH, kNoSuchObject));
    return results;
}
