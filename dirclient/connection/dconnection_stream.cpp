// DConnection's streamed, partial and paged searches: entries go to the caller as they
// arrive instead of being gathered into one answer first.

#include <mutex>

#include "connection_report.h"
#include "dconnection.h"
#include "directory_handle.h"
#include "flat_file_call.h"
#include "object_memory.h"
#include "streamed_search.h"

using namespace dirclient::connection;

namespace {

// The model form of one entry message of a libldap session; values stay in the message's
// berval arrays, which the attributes release.
DEntry* entry_of(LDAP* ld, LDAPMessage* found) {
    auto* set = new (HEAP) AttributeSet();
    BerElement* ber = nullptr;
    for (char* name = ldap_first_attribute(ld, found, &ber); name != nullptr;
         name = ldap_next_attribute(ld, found, ber)) {
        auto* attribute = new (HEAP) Attribute(name);
        berval** values = ldap_get_values_len(ld, found, name);
        for (berval** value = values; value != nullptr && *value != nullptr; ++value) {
            Dbinary binary;
            // A value beyond 4 GiB has no Dbinary form; it is left out.
            if (dbinary_from_berval(*value, &binary)) attribute->addValue(&binary);
        }
        attribute->setBerVal(reinterpret_cast<void**>(values));
        if (!set->addAttribute(attribute)) delete attribute;
        ldap_memfree(name);
    }
    if (ber != nullptr) ber_free(ber, 0);
    char* dn = ldap_get_dn(ld, found);
    auto* entry = new (HEAP) DEntry(dn, set);
    ldap_memfree(dn);
    return entry;
}

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
    std::lock_guard<std::mutex> guard(*m_pLock);
    DS_LDAP* handle = handleLocked();
    SearchPar* par = prepareSearchLocked(handle, base, scope, filter, attrs, constraints, out);
    if (par == nullptr) {
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
            return sink(entry_of(ld, found));
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
