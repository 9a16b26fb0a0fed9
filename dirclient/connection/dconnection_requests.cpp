// DConnection's request builders (model objects into LDAP requests) and the conversion of
// search answers into model objects.

#include <cstdint>
#include <cstring>
#include <mutex>
#include <utility>

#include "connection_report.h"
#include "dconnection.h"
#include "directory_handle.h"
#include "entry_from_message.h"
#include "filter_limits.h"
#include "ldap_handle_calls.h"
#include "ldap_message_ptr.h"
#include "object_memory.h"

using namespace dirclient::connection;
using dirclient::ldapaccess::HandleMessagePtr;

namespace {

// One LDAPMod record with its berval array and the Dbinary values the bervals point into.
// The berval records sit in the same block as the pointer array that lists them.
struct ModRecord {
    LDAPMod* mod = nullptr;
    Dbinary** values = nullptr;
};

void free_record(LDAPMod* mod, Dbinary** values) {
    if (values != nullptr) {
        for (Dbinary** value = values; *value != nullptr; ++value)
            free_binary(*value);
        check_free(values);
    }
    if (mod != nullptr) {
        check_free(mod->mod_bvalues);
        check_free(mod);
    }
}

// The record for attribute with the LDAP operation op; an empty record (nothing allocated)
// when one of its values has no binary form.
ModRecord build_record(Attribute* attribute, int op) {
    const int count = attribute->size();
    ModRecord record;
    record.mod = reinterpret_cast<LDAPMod*>(check_malloc(sizeof(LDAPMod)));
    record.mod->mod_op = op | LDAP_MOD_BVALUES;
    record.mod->mod_type = const_cast<char*>(attribute->getName());
    const std::size_t pointers = (count + 1) * sizeof(berval*);
    char* block = check_malloc(pointers + count * sizeof(berval));
    auto** bervals = reinterpret_cast<berval**>(block);
    auto* slots = reinterpret_cast<berval*>(block + pointers);
    record.mod->mod_bvalues = bervals;
    record.values = reinterpret_cast<Dbinary**>(check_malloc((count + 1) * sizeof(Dbinary*)));
    std::memset(record.values, 0, (count + 1) * sizeof(Dbinary*));
    bervals[0] = nullptr;

    int i = 0;
    DList* values = attribute->getValues();
    for (DListItem* item = values != nullptr ? values->getHead() : nullptr;
         item != nullptr && i < count; item = item->getNextItem(), ++i) {
        Dbinary* binary = item->binaryValue();
        if (binary == nullptr) {
            free_record(record.mod, record.values);
            return {};
        }
        record.values[i] = binary;
        dbinary_to_berval(binary, &slots[i]);
        bervals[i] = &slots[i];
        bervals[i + 1] = nullptr;
    }
    return record;
}

// Arrays of n + 1 null slots for the modification records and their values.
void allocate_arrays(int n, LDAPMod*** mods, AttrArray** values) {
    *mods = reinterpret_cast<LDAPMod**>(check_malloc((n + 1) * sizeof(LDAPMod*)));
    *values = reinterpret_cast<AttrArray*>(check_malloc((n + 1) * sizeof(AttrArray)));
    std::memset(*mods, 0, (n + 1) * sizeof(LDAPMod*));
    std::memset(*values, 0, (n + 1) * sizeof(AttrArray));
}

bool is_string_item(DListItem* item) {
    return item->getType() == DLIST_STRING && item->getValue() != nullptr;
}

void free_mod_arrays(LDAPMod** mods, AttrArray* attrArray) {
    if (mods != nullptr) {
        for (int i = 0; mods[i] != nullptr; ++i)
            free_record(mods[i], attrArray != nullptr ? attrArray[i] : nullptr);
    }
    check_free(mods);
    check_free(attrArray);
}

// The records of a request being built; released unless handed on.
struct ModArrays {
    LDAPMod** mods = nullptr;
    AttrArray* values = nullptr;
    ~ModArrays() { free_mod_arrays(mods, values); }
    LDAPMod** handOn(AttrArray** attrArray) {
        *attrArray = std::exchange(values, nullptr);
        return std::exchange(mods, nullptr);
    }
};

Status check_add(bool connected, DEntry* entry) {
    if (!connected) return failed(DEXC_ADD, kNoOpenConnection);
    if (entry == nullptr) return failed(DEXC_ADD, kInvalidEntry);
    if (entry->getDN() == nullptr) return failed(DEXC_ADD, kInvalidDn);
    if (entry->size() == 0) return failed(DEXC_ADD, kInvalidAttribute);
    return {};
}

Status build_add(DEntry* entry, ModArrays& arrays) {
    const int n = entry->size();
    allocate_arrays(n, &arrays.mods, &arrays.values);
    int i = 0;
    for (DListItem* item = entry->getAttributeSet()->getValues()->getHead();
         item != nullptr && i < n; item = item->getNextItem(), ++i) {
        auto* attribute = static_cast<Attribute*>(item->getValue());
        ModRecord record;
        if (attribute != nullptr && attribute->getName() != nullptr && attribute->size() > 0)
            record = build_record(attribute, LDAP_MOD_ADD);
        if (record.mod == nullptr) return failed(DEXC_ADD, kInvalidAttributeValue);
        arrays.mods[i] = record.mod;
        arrays.values[i] = record.values;
    }
    return {};
}

Status check_modify(bool connected, const char* dn, ModificationSet* modifications) {
    if (!connected) return failed(DEXC_MODIFY, kNoOpenConnection);
    if (dn == nullptr) return failed(DEXC_MODIFY, kInvalidDn);
    if (modifications == nullptr) return failed(DEXC_MODIFY, kInvalidModificationSet);
    if (modifications->size() == 0) return failed(DEXC_MODIFY, kInvalidAttribute);
    return {};
}

// Why a modification cannot be sent, or null.
const char* modification_fault(Modification* modification) {
    Attribute* attribute = modification != nullptr ? modification->getAttribute() : nullptr;
    if (attribute == nullptr || attribute->getName() == nullptr ||
        (attribute->size() == 0 && modification->getOp() != MOD_OP_DELETE))
        return kInvalidAttributeValue;
    if (modification->getOp() < MOD_OP_ADD || modification->getOp() > MOD_OP_REPLACE)
        return kInvalidModificationOption;
    return nullptr;
}

Status build_modify(ModificationSet* modifications, ModArrays& arrays) {
    const int n = modifications->size();
    allocate_arrays(n, &arrays.mods, &arrays.values);
    int i = 0;
    for (DListItem* item = modifications->getValues()->getHead(); item != nullptr && i < n;
         item = item->getNextItem(), ++i) {
        auto* modification = static_cast<Modification*>(item->getValue());
        if (const char* fault = modification_fault(modification)) return failed(DEXC_MODIFY, fault);
        // The LDAP operation codes are those of Modification: MOD_OP_ADD is LDAP_MOD_ADD,
        // MOD_OP_DELETE LDAP_MOD_DELETE, MOD_OP_REPLACE LDAP_MOD_REPLACE.
        ModRecord record = build_record(modification->getAttribute(), modification->getOp());
        if (record.mod == nullptr) return failed(DEXC_MODIFY, kInvalidAttributeValue);
        arrays.mods[i] = record.mod;
        arrays.values[i] = record.values;
    }
    return {};
}

// The scope and the attribute names (the list's strings; an item of another type names none).
SearchPar* search_par(int scope, DList* attrs) {
    auto* par = reinterpret_cast<SearchPar*>(check_malloc(sizeof(SearchPar)));
    par->scope = scope;
    par->attrs = nullptr;
    int names = 0;
    for (DListItem* item = attrs != nullptr ? attrs->getHead() : nullptr; item != nullptr;
         item = item->getNextItem())
        names += is_string_item(item) ? 1 : 0;
    if (names == 0) return par;
    par->attrs = reinterpret_cast<char**>(check_malloc((names + 1) * sizeof(char*)));
    int i = 0;
    for (DListItem* item = attrs->getHead(); item != nullptr; item = item->getNextItem()) {
        if (is_string_item(item)) par->attrs[i++] = static_cast<char*>(item->getValue());
    }
    par->attrs[i] = nullptr;
    return par;
}

static_assert(MOD_OP_ADD == LDAP_MOD_ADD && MOD_OP_DELETE == LDAP_MOD_DELETE &&
              MOD_OP_REPLACE == LDAP_MOD_REPLACE);

}  // namespace

LDAPMod** DConnection::prepareAddRequest(DEntry* entry, AttrArray** attrArray, DException** out) {
    ModArrays arrays;
    Status status = check_add(getConnection() != nullptr, entry);
    if (status) status = build_add(entry, arrays);
    if (!report_to(out, std::move(status))) return nullptr;
    return arrays.handOn(attrArray);
}

LDAPMod** DConnection::prepareModifyRequest(const char* dn, ModificationSet* modifications,
                                            AttrArray** attrArray, DException** out) {
    ModArrays arrays;
    Status status = check_modify(getConnection() != nullptr, dn, modifications);
    if (status) status = build_modify(modifications, arrays);
    if (!report_to(out, std::move(status))) return nullptr;
    return arrays.handOn(attrArray);
}

void DConnection::freeModStruct(LDAPMod** mods, AttrArray* attrArray) {
    free_mod_arrays(mods, attrArray);
}

SearchPar* DConnection::prepareSearchRequest(const char* base, int scope, const char* filter,
                                             DList* attrs, bool, SearchConstraints* constraints,
                                             DException** out) {
    std::lock_guard<std::mutex> guard(m_lock);
    SearchPar* par = nullptr;
    Status status =
        prepareSearchLocked(handleLocked(), base, scope, filter, attrs, constraints, &par);
    report_to(out, std::move(status));
    return par;
}

Status DConnection::prepareSearchLocked(DS_LDAP* handle, const char* base, int scope,
                                        const char* filter, DList* attrs,
                                        SearchConstraints* constraints, SearchPar** par) {
    if (handle == nullptr) return failed(DEXC_SEARCH, kNoOpenConnection);
    if (base == nullptr) return failed(DEXC_SEARCH, kInvalidDn);
    if (filter == nullptr || !dirclient::ldapaccess::filter_within_limits(filter))
        return failed(DEXC_SEARCH, kInvalidFilter);
    if (scope < 0 || scope > 2) return failed(DEXC_SEARCH, kInvalidSearchOption);
    *par = search_par(scope, attrs);
    SearchConstraints* limits = limitsFor(constraints);
    if (handle->kind != QDX_LDAP_FLAT_FILE) {
        qdx_ldap_set_limits(handle, limits != nullptr ? limits->getTimeLimit() : 0,
                            limits != nullptr ? limits->getMaxResults() : 0);
    }
    return {};
}

void DConnection::freeSearchPar(SearchPar* par) {
    if (par == nullptr) return;
    check_free(par->attrs);
    check_free(par);
}

SearchResults* DConnection::getSearchResult(LDAPMessage* answer) {
    HandleMessagePtr owned(answer);
    std::lock_guard<std::mutex> guard(m_lock);
    return convertSearchAnswer(handleLocked(), owned.get());
}

SearchResults* DConnection::getNULLResult(LDAPMessage* answer) {
    // Nothing is kept of a discarded answer: releasing the message releases every part.
    HandleMessagePtr discarded(answer);
    return nullptr;
}

SearchResults* DConnection::convertSearchAnswer(DS_LDAP* handle, LDAPMessage* answer) {
    auto* results = new SearchResults();
    if (qdx_ldap_count_entries(handle, answer) <= 0) {
        results->addException(
            new DException(dexception_info_message(DEXC_SEARCH), DEXC_SEARCH, kNoSuchObject));
        return results;
    }
    for (LDAPMessage* found = qdx_ldap_first_entry(handle, answer); found != nullptr;
         found = qdx_ldap_next_entry(handle, found))
        results->addEntry(entry_from_message(HandleAccess{handle}, found));
    return results;
}
