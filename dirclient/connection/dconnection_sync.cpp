// DConnection's synchronous operations: each validates, builds its request, sends it through
// the handle under the connection's lock and reports failures with its own code.

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "connection_report.h"
#include "dconnection.h"
#include "directory_handle.h"
#include "dn_normalize.h"
#include "ffdn.h"
#include "flat_file_call.h"
#include "ldap_handle_calls.h"
#include "ldap_message_ptr.h"
#include "object_memory.h"

using namespace dirclient::connection;
using dirclient::ldapaccess::HandleMessagePtr;
using dirclient::ldapaccess::out_message;

namespace {

constexpr const char* kEveryEntry = "(objectclass=*)";
// What a send returns when the handle went away after the request was built.
constexpr int kNoHandle = -1;

struct FreeText {
    void operator()(char* text) const { check_free(text); }
};
using Text = std::unique_ptr<char, FreeText>;

}  // namespace

void DConnection::add(DEntry* entry, DException** out) {
    if (FlatFileCall ff{*this}) return ff->add(entry, out);
    AttrArray* values = nullptr;
    LDAPMod** mods = prepareAddRequest(entry, &values, out);
    if (mods == nullptr) return;
    int rc;
    dirclient::ldapaccess::ServerDiagnostics said;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        DS_LDAP* handle = handleLocked();
        rc = handle != nullptr ? qdx_ldap_add_s(handle, entry->getDN(), mods) : kNoHandle;
        if (rc != kNoHandle) said = said_after(handle, rc);
    }
    freeModStruct(mods, values);
    if (rc == kNoHandle) return fail(out, DEXC_ADD, kNoOpenConnection);
    if (rc != 0) fail_said(out, DEXC_ADD, rc, std::move(said));
}

void DConnection::remove(const char* dn, DException** out) {
    if (FlatFileCall ff{*this}) return ff->remove(dn, out);
    int rc;
    dirclient::ldapaccess::ServerDiagnostics said;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        DS_LDAP* handle = handleLocked();
        if (handle == nullptr) return fail(out, DEXC_REMOVE, kNoOpenConnection);
        succeed(out);
        rc = qdx_ldap_delete_s(handle, dn);
        said = said_after(handle, rc);
    }
    if (rc != 0)
        fail_said(out, rc == LDAP_NOT_ALLOWED_ON_NONLEAF ? DEXC_REMOVE_NOT_LEAF : DEXC_REMOVE, rc,
                  std::move(said));
}

void DConnection::modify(const char* dn, Modification* modification, DException** out) {
    if (FlatFileCall ff{*this}) return ff->modify(dn, modification, out);
    if (modification == nullptr) return fail(out, DEXC_MODIFY, kInvalidModification);
    // The set only refers to the caller's modification, which outlives it untouched.
    ModificationSet set;
    set.addModification(modification, DLIST_BORROWED);
    modify(dn, &set, out);
}

void DConnection::modify(const char* dn, ModificationSet* modifications, DException** out) {
    if (FlatFileCall ff{*this}) return ff->modify(dn, modifications, out);
    AttrArray* values = nullptr;
    LDAPMod** mods = prepareModifyRequest(dn, modifications, &values, out);
    if (mods == nullptr) return;
    int rc;
    dirclient::ldapaccess::ServerDiagnostics said;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        DS_LDAP* handle = handleLocked();
        rc = handle != nullptr ? qdx_ldap_modify_s(handle, dn, mods) : kNoHandle;
        if (rc != kNoHandle) said = said_after(handle, rc);
    }
    freeModStruct(mods, values);
    if (rc == kNoHandle) return fail(out, DEXC_MODIFY, kNoOpenConnection);
    if (rc != 0) fail_said(out, DEXC_MODIFY, rc, std::move(said));
}

void DConnection::rename(const char* dn, const char* newrdn, bool deleteOldRdn, DException** out) {
    rename(dn, newrdn, nullptr, deleteOldRdn, out);
}

void DConnection::rename(const char* dn, const char* newrdn, const char* newSuperior,
                         bool deleteOldRdn, DException** out) {
    if (FlatFileCall ff{*this}) return ff->rename(dn, newrdn, newSuperior, deleteOldRdn, out);
    // A move is first asked of the server in one request, which keeps the entry and its
    // subtree; only a server that refuses that form gets the leaf's read, add and delete.
    if (movesElsewhere(dn, newrdn, newSuperior)) {
        int rc;
        dirclient::ldapaccess::ServerDiagnostics said;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            DS_LDAP* handle = handleLocked();
            if (handle == nullptr) return fail(out, DEXC_RENAME, kNoOpenConnection);
            rc = dirclient::ldapaccess::modify_dn_s(handle, dn, newrdn, newSuperior, deleteOldRdn);
            said = said_after(handle, rc);
        }
        if (rc == 0) return succeed(out);
        if (rc != LDAP_PROTOCOL_ERROR && rc != LDAP_UNWILLING_TO_PERFORM)
            return fail_said(out, DEXC_RENAME, rc, std::move(said));
    }
    bool move = false;
    if (!report_to(out, checkRename(dn, newrdn, newSuperior, &move))) return;
    // A move that keeps the RDN needs no rename in place, which a server refusing moves
    // may refuse as well.
    if (!move || !keepsRdn(dn, newrdn)) {
        std::lock_guard<std::mutex> guard(m_lock);
        DS_LDAP* handle = handleLocked();
        if (handle == nullptr) return fail(out, DEXC_RENAME, kNoOpenConnection);
        int rc = qdx_ldap_modrdn2_s(handle, dn, newrdn, deleteOldRdn ? 1 : 0);
        if (rc != 0) return fail_said(out, DEXC_RENAME, rc, said_after(handle, rc));
    }
    if (move) moveEntry(dn, newrdn, newSuperior, out);
}

bool DConnection::keepsRdn(const char* dn, const char* newrdn) {
    Text whole(dn_normalize_case(dn));
    Text rdn(dn_normalize_case(newrdn));
    const char* parent = whole ? ffdn::parentOf(whole.get()) : nullptr;
    if (parent == nullptr || !rdn) return false;
    const std::string first(whole.get(), static_cast<size_t>(parent - whole.get()) - 1);
    return first == rdn.get();
}

bool DConnection::movesElsewhere(const char* dn, const char* newrdn, const char* newSuperior) {
    if (dn == nullptr || newrdn == nullptr || newSuperior == nullptr) return false;
    const char* parent = ffdn::parentOf(dn);
    if (parent == nullptr) return false;
    Text here(dn_normalize_case(parent));
    Text there(dn_normalize_case(newSuperior));
    return here && there && std::strcmp(here.get(), there.get()) != 0;
}

bool DConnection::prepareRenameRequest(const char* dn, const char* newrdn, const char* newSuperior,
                                       bool, DException** out) {
    bool move = false;
    report_to(out, checkRename(dn, newrdn, newSuperior, &move));
    return move;
}

Status DConnection::checkRename(const char* dn, const char* newrdn, const char* newSuperior,
                                bool* move) {
    *move = false;
    if (dn == nullptr) return failed(DEXC_RENAME, kInvalidEntry);
    if (newrdn == nullptr) return failed(DEXC_RENAME, kInvalidRdn);
    if (getConnection() == nullptr) return failed(DEXC_RENAME, kNoOpenConnection);
    if (newSuperior == nullptr) return {};

    // A DN without a parent cannot be moved: refuse before anything is renamed.
    const char* parent = ffdn::parentOf(dn);
    if (parent == nullptr) return failed(DEXC_RENAME, kInvalidDn);
    Text here(dn_normalize_case(parent));
    Text there(dn_normalize_case(newSuperior));
    if (std::strcmp(here.get(), there.get()) == 0) return {};  // already its parent

    bool children = false;
    Status status = hasChildren(dn, &children);
    if (!status) return status;
    if (children) return failed(DEXC_MOVE, kNotALeaf);
    *move = true;
    return {};
}

Status DConnection::hasChildren(const char* dn, bool* found) {
    // One child is enough to know: a size limit of 1 that the server reports as exceeded
    // means more than one.
    SearchConstraints firstOnly(0, 1);
    DList noAttributes;
    noAttributes.append(const_cast<char*>(LDAP_NO_ATTRS), DLIST_STRING, true);
    DException* failure = nullptr;
    SearchResults* children = search(dn, 1, kEveryEntry, &noAttributes, true, &firstOnly, &failure);
    std::unique_ptr<DException> owned(failure);
    *found = children != nullptr && children->first() != nullptr;
    delete children;
    if (!owned) return {};
    const int code = owned->getLdapErrorCode();
    if (code == LDAP_SIZELIMIT_EXCEEDED) {
        *found = true;
        return {};
    }
    if (code == LDAP_NO_SUCH_OBJECT || std::strcmp(owned->getInfoSMsg(), kNoSuchObjectText) == 0)
        return {};
    // Anything but a missing entry ends the rename with the search's report.
    *found = false;
    return Status(std::move(owned));
}

DEntry* DConnection::read(const char* dn, DException** out) {
    return read(dn, nullptr, out);
}

DEntry* DConnection::read(const char* dn, DList* attrs, DException** out) {
    if (FlatFileCall ff{*this}) return ff->read(dn, attrs, out);
    SearchResults* results = search(dn, 0, kEveryEntry, attrs, false, out);
    if (results == nullptr) return nullptr;
    // The first element leaves the results before they go, so the caller becomes its only
    // owner.
    DListItem* item = results->getValues() != nullptr ? results->getValues()->getHead() : nullptr;
    auto* first = item != nullptr ? static_cast<DElement*>(item->getValue()) : nullptr;
    if (item != nullptr) item->resetValue(nullptr);
    delete results;
    if (first == nullptr) return nullptr;
    if (first->getType() == DELEMENT_ENTRY) return static_cast<DEntry*>(first);
    auto* failure = static_cast<DException*>(first);
    if (out != nullptr)
        *out = failure;
    else
        delete failure;
    return nullptr;
}

SearchResults* DConnection::search(const char* base, int scope, const char* filter, DList* attrs,
                                   bool attrsOnly, DException** out) {
    return search(base, scope, filter, attrs, attrsOnly, nullptr, out);
}

SearchResults* DConnection::search(const char* base, int scope, const char* filter, DList* attrs,
                                   bool attrsOnly, SearchConstraints* constraints,
                                   DException** out) {
    if (FlatFileCall ff{*this})
        return ff->search(base, scope, filter, attrs, attrsOnly, constraints, out);
    // -3, -2, -1: the same search, answer discarded.
    const bool discard = scope < 0;
    if (discard) scope += 3;

    std::lock_guard<std::mutex> guard(m_lock);
    DS_LDAP* handle = handleLocked();
    SearchPar* par = nullptr;
    Status prepared = prepareSearchLocked(handle, base, scope, filter, attrs, constraints, &par);
    if (!report_to(out, std::move(prepared))) return nullptr;
    HandleMessagePtr answer;
    int rc = qdx_ldap_search_s(handle, base, par->scope, filter, par->attrs, attrsOnly ? 1 : 0,
                               out_message(answer));
    freeSearchPar(par);
    // A partial answer (size or time limit exceeded) is not handed out.
    if (rc != 0) {
        fail_said(out, DEXC_SEARCH, rc, said_after(handle, rc));
        return nullptr;
    }
    return discard ? nullptr : convertSearchAnswer(handle, answer.get());
}

namespace {

// What makes a compare impossible before anything is asked.
Status check_compare(const char* dn, Attribute* attribute, bool connected) {
    if (dn == nullptr) return failed(DEXC_COMPARE, kInvalidDn);
    if (attribute == nullptr) return failed(DEXC_COMPARE, kInvalidAttribute);
    if (attribute->getName() == nullptr) return failed(DEXC_COMPARE, kInvalidAttributeName);
    DList* values = attribute->getValues();
    for (DListItem* item = values != nullptr ? values->getHead() : nullptr; item != nullptr;
         item = item->getNextItem()) {
        if (item->getType() != DLIST_STRING || item->getValue() == nullptr)
            return failed(DEXC_COMPARE, kOnlyStringValues);
    }
    // Without a handle nothing can be asked, whatever the attribute holds.
    if (!connected) return failed(DEXC_COMPARE, kNoOpenConnection);
    return {};
}

}  // namespace

bool DConnection::compare(const char* dn, Attribute* attribute, DException** out) {
    if (FlatFileCall ff{*this}) return ff->compare(dn, attribute, out);
    bool holds = false;
    Status status = check_compare(dn, attribute, getConnection() != nullptr);
    if (status) status = compareValues(dn, attribute, &holds);
    report_to(out, std::move(status));
    return holds;
}

Status DConnection::compareValues(const char* dn, Attribute* attribute, bool* holds) {
    DList* values = attribute->getValues();
    for (DListItem* item = values != nullptr ? values->getHead() : nullptr; item != nullptr;
         item = item->getNextItem()) {
        int rc;
        dirclient::ldapaccess::ServerDiagnostics said;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            DS_LDAP* handle = handleLocked();
            if (handle == nullptr) return failed(DEXC_COMPARE, kNoOpenConnection);
            rc = qdx_ldap_compare_s(handle, dn, attribute->getName(),
                                    static_cast<const char*>(item->getValue()));
            if (rc != LDAP_COMPARE_FALSE && rc != LDAP_COMPARE_TRUE) said = said_after(handle, rc);
        }
        if (rc == LDAP_COMPARE_FALSE) return {};
        if (rc != LDAP_COMPARE_TRUE) return failed_said(DEXC_COMPARE, rc, std::move(said));
    }
    *holds = true;
    return {};
}
