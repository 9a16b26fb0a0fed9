// DConnection's streamed, partial and paged searches: entries go to the caller as they
// arrive instead of being gathered into one answer first.

#include <mutex>

#include "connection_report.h"
#include "dconnection.h"
#include "entry_stream.h"
#include "ffconnection.h"

using namespace dirclient::connection;

DConnection::SearchOutcome DConnection::searchEach(const char* base, int scope, const char* filter,
                                                   DList* attrs, bool attrsOnly,
                                                   SearchConstraints* constraints, int pageSize,
                                                   const EntrySink& sink, DException** out) {
    EntryStream stream(*this, base, scope, filter, attrs, attrsOnly, constraints, pageSize);
    stream.step(sink, 0);
    report_to(out, Status(std::unique_ptr<DException>(stream.takeFailure())));
    return stream.outcome();
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
