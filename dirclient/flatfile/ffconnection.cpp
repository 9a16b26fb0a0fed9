// Directory operations on the flat-file tree. Each public operation takes the store lock,
// counts itself in opsInitiated and reports failures with the operation's code; the
// *Entry helpers hold the checks and changes so that rename and loading can reuse them.

#include "ffconnection.h"

#include "attribute.h"
#include "attribute_set.h"
#include "dentry.h"
#include "dexception.h"
#include "dfilter.h"
#include "dlist.h"
#include "dn_normalize.h"
#include "ffdn.h"
#include "ffindex.h"
#include "ffmatching.h"
#include "ffrecord.h"
#include "ffstore_lock.h"
#include "ldap_result_codes.h"
#include "modification.h"
#include "modification_set.h"
#include "search_results.h"
#include "status.h"

#include <cstring>
#include <memory>
#include <optional>
#include <string>

namespace {

const char kAddInfo[] = "ERROR: can not add entry";
const char kAuthenticateInfo[] = "ERROR: can not authenticate";
const char kCompareInfo[] = "ERROR: can not compare";
const char kRemoveInfo[] = "ERROR: can not remove";
const char kModifyInfo[] = "ERROR: can not modify";
const char kRenameInfo[] = "ERROR: can not rename";
const char kSearchInfo[] = "ERROR: can not search";

const char kInvalidEntry[] = "ERROR: invalid entry";
const char kInvalidDn[] = "ERROR: invalid DN";
const char kMonitorDn[] = "Invalid dn";
const char kInvalidModification[] = "ERROR: invalid modification";
const char kInvalidRdn[] = "ERROR: invalid RDN";
const char kInvalidFilter[] = "ERROR: invalid filter";
const char kInvalidScope[] = "ERROR: invalid search option";
const char kInvalidAttribute[] = "ERROR: invalid attribute";
const char kInvalidAttributeName[] = "ERROR: invalid attribute name";
const char kInappropriate[] = "Inappropriate authentication";

OwnedText normalized(const char* dn) {
    return OwnedText(dn != nullptr ? dn_normalize(dn) : nullptr);
}

bool isMonitor(const char* dn) {
    return ffdn::equalNoCase(dn, "cn=monitor");
}

// A name that would not read back from the file as the same attribute line: empty, with a
// leading blank or '#' (continuation, comment), or with a ':' or a control character.
bool validAttributeName(const char* name) {
    if (name == nullptr || name[0] == '\0' || name[0] == ' ' || name[0] == '#') return false;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(name); *c; ++c) {
        if (*c == ':' || *c < 0x20 || *c == 0x7f) return false;
    }
    return true;
}

bool validAttributeNames(DEntry* entry) {
    AttributeSet* set = entry->getAttributeSet();
    for (DListItem* item = set && set->getValues() ? set->getValues()->getHead() : nullptr;
         item != nullptr; item = item->getNextItem()) {
        auto* attribute = static_cast<Attribute*>(item->getValue());
        if (attribute != nullptr && !validAttributeName(attribute->getName())) return false;
    }
    return true;
}

}  // namespace

void FFConnection::noteChange() {
    modified = true;
    ++modsCompleted;
}

// ---- add --------------------------------------------------------------------------------

void FFConnection::add(DEntry* entry, DException** err) {
    FFStoreLock lock;
    if (err != nullptr) *err = nullptr;
    ++opsInitiated;
    addEntry(entry).report(err);
}

Status FFConnection::addEntry(DEntry* entry) {
    if (entry == nullptr) return Status::failure(kAddInfo, DEXC_ADD, kInvalidEntry);
    OwnedText dn = normalized(entry->getDN());
    if (!dn) return Status::failure(kAddInfo, DEXC_ADD, kInvalidDn);
    bool atRoot = false;
    FFNode* parent = nullptr;
    Status placed = placeFor(dn.get(), &atRoot, &parent);
    if (!placed) return placed;
    if (!validAttributeNames(entry)) {
        return Status::failure(kAddInfo, DEXC_ADD, kInvalidAttributeName);
    }
    attach(parent, atRoot, FFRecord::pack(entry, dn.get()));
    return Status();
}

// Where an entry with the normalised DN dn goes: *parent, the parent node, or the root
// itself for the empty DN (*atRoot); the failure when it cannot be added.
Status FFConnection::placeFor(const char* dn, bool* atRoot, FFNode** parent) {
    if (isMonitor(dn)) return Status::failure(kAddInfo, DEXC_ADD, kMonitorDn);
    if (m_pRoot == nullptr) return Status::failure(kAddInfo, DEXC_ADD, QDX_LDAP_NO_SUCH_OBJECT);
    *atRoot = dn[0] == '\0';
    if (*atRoot ? m_pRoot->hasEntry() : lookup(dn) != nullptr) {
        return Status::failure(kAddInfo, DEXC_ADD, QDX_LDAP_ALREADY_EXISTS);
    }
    const char* parentDn = *atRoot ? nullptr : ffdn::parentOf(dn);
    *parent = parentDn != nullptr ? parentNode(parentDn) : m_pRoot;
    if (*parent == nullptr) return Status::failure(kAddInfo, DEXC_ADD, QDX_LDAP_NO_SUCH_OBJECT);
    return Status();
}

FFNode* FFConnection::attach(FFNode* parent, bool atRoot, FFRecord* packed) {
    FFNode* node = m_pRoot;
    if (atRoot) {
        m_pRoot->replaceRecord(packed);
    } else {
        node = parent->addIndexed(packed, m_pIndex);
    }
    noteChange();
    return node;
}

// Adds a packed entry (taken over on success) under its DN, which is normalised.
Status FFConnection::addRecord(FFRecord* packed) {
    bool atRoot = false;
    FFNode* parent = nullptr;
    Status placed = placeFor(packed->dn(), &atRoot, &parent);
    if (placed) attach(parent, atRoot, packed);
    return placed;
}

// ---- remove -----------------------------------------------------------------------------

void FFConnection::remove(const char* dn, DException** err) {
    FFStoreLock lock;
    if (err != nullptr) *err = nullptr;
    ++opsInitiated;
    removeEntry(dn).report(err);
}

Status FFConnection::removeEntry(const char* dn) {
    if (dn == nullptr) return Status::failure(kRemoveInfo, DEXC_REMOVE, kInvalidDn);
    OwnedText ndn = normalized(dn);
    FFNode* node = lookup(ndn.get());
    if (node == nullptr) return Status::failure(kRemoveInfo, DEXC_REMOVE, QDX_LDAP_NO_SUCH_OBJECT);
    if (node->hasChildren()) {
        return Status::failure(kRemoveInfo, DEXC_REMOVE, QDX_LDAP_NOT_ALLOWED_ON_NONLEAF);
    }
    if (node == m_pRoot) {
        node->resetEntry();
    } else {
        node->removeIndexed(m_pIndex);
    }
    noteChange();
    return Status();
}

// ---- modify -----------------------------------------------------------------------------

namespace {

// Removes one value given by the caller from attribute, matching its type.
bool removeGivenValue(Attribute* attribute, DListItem* given) {
    void* value = given->getValue();
    if (value == nullptr) return false;
    switch (given->getType()) {
        case DLIST_STRING:
            return attribute->removeValue(static_cast<const char*>(value));
        case DLIST_BINARY:
            return attribute->removeValue(static_cast<Dbinary*>(value));
        case DLIST_INT:
            return attribute->removeValue(*static_cast<int*>(value));
        case DLIST_LONG:
            return attribute->removeValue(*static_cast<long*>(value));
        default:
            return false;
    }
}

// Removes the first value of attribute equal to given under its equality rule.
bool removeEqualValue(Attribute* attribute, DListItem* given) {
    int position = ffmatching::findEqual(attribute, given);
    return position >= 0 && attribute->getValues()->goTo(position) &&
           attribute->getValues()->removeIt();
}

Status modifyFailure(int ldapCode) {
    return Status::failure(kModifyInfo, DEXC_MODIFY, ldapCode);
}

// Adds the given values to the attribute held (a new attribute when there is none). With
// ldap, adding a value the attribute holds already fails as it does on a server.
Status addValues(AttributeSet* work, Attribute* held, Attribute* given, bool ldap) {
    if (!validAttributeName(given->getName())) {
        return Status::failure(kModifyInfo, DEXC_MODIFY, kInvalidAttributeName);
    }
    if (held == nullptr) {
        work->addAttribute(FFNode::copy(given));
        return Status();
    }
    for (DListItem* v = given->getValues() ? given->getValues()->getHead() : nullptr; v != nullptr;
         v = v->getNextItem()) {
        if (ldap && ffmatching::findEqual(held, v) >= 0) {
            return modifyFailure(QDX_LDAP_TYPE_OR_VALUE_EXISTS);
        }
        if (held->getValues() == nullptr) held->setValues(new (SHAR) DList());
        held->getValues()->append(FFNode::copy(v));
    }
    return Status();
}

// Deletes the given values (all of them when none is given); the attribute goes with its
// last value. With ldap, values are compared by the attribute's equality rule.
Status deleteValues(AttributeSet* work, Attribute* held, Attribute* given, bool ldap) {
    if (held == nullptr) return modifyFailure(QDX_LDAP_NO_SUCH_ATTRIBUTE);
    if (given->size() > 0) {
        for (DListItem* v = given->getValues()->getHead(); v != nullptr; v = v->getNextItem()) {
            if (!(ldap ? removeEqualValue(held, v) : removeGivenValue(held, v))) {
                return modifyFailure(QDX_LDAP_NO_SUCH_ATTRIBUTE);
            }
        }
        if (held->size() > 0) return Status();
    }
    work->remove(given->getName());
    return Status();
}

Status replaceValues(Attribute* held, Attribute* given) {
    if (given->size() < 1 || held == nullptr) return modifyFailure(QDX_LDAP_NO_SUCH_ATTRIBUTE);
    if (!validAttributeName(given->getName())) {
        return Status::failure(kModifyInfo, DEXC_MODIFY, kInvalidAttributeName);
    }
    // In place, so that the attribute keeps its position in the entry.
    held->setName(given->getName());
    held->setValues(FFNode::copy(given->getValues()));
    return Status();
}

// Applies one modification to the working set.
Status applyModification(AttributeSet* work, Modification* mod, bool ldap) {
    Attribute* given = mod->getAttribute();
    if (given == nullptr || given->getName() == nullptr) {
        return modifyFailure(QDX_LDAP_NO_SUCH_ATTRIBUTE);
    }
    Attribute* held = work->getAttribute(given->getName());
    switch (mod->getOp()) {
        case MOD_OP_ADD:
            return addValues(work, held, given, ldap);
        case MOD_OP_DELETE:
            return deleteValues(work, held, given, ldap);
        case MOD_OP_REPLACE:
            return replaceValues(held, given);
        default:
            return Status();
    }
}

}  // namespace

void FFConnection::modify(const char* dn, ModificationSet* mods, DException** err) {
    FFStoreLock lock;
    if (err != nullptr) *err = nullptr;
    ++opsInitiated;
    modifyEntry(dn, mods).report(err);
}

// All or nothing: the modifications apply to a copy of the attributes, which replaces
// them once every one has succeeded.
Status FFConnection::modifyEntry(const char* dn, ModificationSet* mods) {
    if (mods == nullptr) return Status::failure(kModifyInfo, DEXC_MODIFY, kInvalidModification);
    if (dn == nullptr) return Status::failure(kModifyInfo, DEXC_MODIFY, kInvalidDn);
    OwnedText ndn = normalized(dn);
    FFNode* node = lookup(ndn.get());
    if (node == nullptr) return modifyFailure(QDX_LDAP_NO_SUCH_OBJECT);
    std::unique_ptr<DEntry> unpacked(node->record ? node->record->unpack(nullptr, false) : nullptr);
    DEntry* entry = unpacked ? unpacked.get() : node->entry;
    std::unique_ptr<AttributeSet> work(entry->getAttributeSet() != nullptr
                                           ? FFNode::copy(entry->getAttributeSet())
                                           : new (SHAR) AttributeSet());
    DList* list = mods->getValues();
    for (DListItem* item = list ? list->getHead() : nullptr; item != nullptr;
         item = item->getNextItem()) {
        auto* mod = static_cast<Modification*>(item->getValue());
        if (mod == nullptr) continue;
        Status applied = applyModification(work.get(), mod, getMatching() == FF_MATCH_LDAP);
        if (!applied) return applied;
    }
    entry->setValues(work.release());
    if (unpacked) node->replaceRecord(FFRecord::pack(entry, nullptr));
    noteChange();
    return Status();
}

void FFConnection::modify(const char* dn, Modification* mod, DException** err) {
    if (mod == nullptr) return modify(dn, static_cast<ModificationSet*>(nullptr), err);
    ModificationSet single;
    single.addModification(mod, DLIST_BORROWED);
    modify(dn, &single, err);
}

// ---- rename -----------------------------------------------------------------------------

void FFConnection::rename(const char* dn, const char* newRDN, const char* newSuperior,
                          bool deleteOldRDN, DException** err) {
    FFStoreLock lock;
    if (err != nullptr) *err = nullptr;
    ++opsInitiated;
    renameEntry(dn, newRDN, newSuperior, deleteOldRDN).report(err);
}

void FFConnection::rename(const char* dn, const char* newRDN, bool deleteOldRDN, DException** err) {
    rename(dn, newRDN, nullptr, deleteOldRDN, err);
}

namespace {

Status renameFailure(int ldapCode) {
    return Status::failure(kRenameInfo, DEXC_RENAME, ldapCode);
}

// A normalised new RDN: one RDN with a type. A new RDN holding a separator would put the
// entry under a parent it is not under.
bool validNewRdn(const char* rdn) {
    return rdn != nullptr && ffdn::rdnLength(rdn) == std::strlen(rdn) && rdn[0] != '=' &&
           std::strchr(rdn, '=') != nullptr;
}

// The RDN attribute values after a rename from oldRdn to newRdn.
void updateRdnValues(DEntry* entry, const char* oldRdn, const char* newRdn, bool deleteOld) {
    std::size_t oldLength = ffdn::rdnLength(oldRdn);
    std::string oldType = ffdn::rdnType(oldRdn, oldLength);
    std::string oldValue = ffdn::rdnValue(oldRdn, oldLength);
    std::size_t newLength = std::strlen(newRdn);
    std::string newType = ffdn::rdnType(newRdn, newLength);
    std::string newValue = ffdn::rdnValue(newRdn, newLength);
    if (deleteOld) {
        if (Attribute* old = entry->getAttribute(oldType.c_str())) {
            old->removeValue(oldValue.c_str());
            if (old->size() == 0 && !ffdn::equalNoCase(oldType.c_str(), newType.c_str())) {
                entry->getAttributeSet()->remove(oldType.c_str());
            }
        }
    }
    Attribute* target = entry->getAttribute(newType.c_str());
    if (target == nullptr) {
        entry->addAttribute(new (SHAR) Attribute(newType.c_str(), newValue.c_str()));
        return;
    }
    const char* text = newValue.c_str();
    // A value the attribute holds already is not added twice.
    if (!target->hasValue(DLIST_STRING, &text)) target->addValue(text);
}

}  // namespace

Status FFConnection::renameEntry(const char* dn, const char* newRDN, const char* newSuperior,
                                 bool deleteOldRDN) {
    if (dn == nullptr) return Status::failure(kRenameInfo, DEXC_RENAME, kInvalidDn);
    OwnedText ndn = normalized(dn);
    if (ndn.get()[0] == '\0') return renameFailure(QDX_LDAP_OPERATIONS_ERROR);
    OwnedText rdn = normalized(newRDN != nullptr && std::strchr(newRDN, '=') ? newRDN : nullptr);
    if (!validNewRdn(rdn.get())) return Status::failure(kRenameInfo, DEXC_RENAME, kInvalidRdn);
    OwnedText superior = normalized(newSuperior);
    FFNode* newParent = nullptr;
    if (superior) {
        newParent = lookup(superior.get());
        if (newParent == nullptr) return renameFailure(QDX_LDAP_NO_SUCH_OBJECT);
    }
    FFNode* node = lookup(ndn.get());
    if (node == nullptr) return renameFailure(QDX_LDAP_NO_SUCH_OBJECT);
    if (node->hasChildren()) return renameFailure(QDX_LDAP_NOT_ALLOWED_ON_NONLEAF);
    // An entry cannot become its own child.
    if (newParent == node) return renameFailure(QDX_LDAP_NO_SUCH_OBJECT);
    const char* parentDn = superior ? superior.get() : ffdn::parentOf(ndn.get());
    std::string newDn = rdn.get();
    if (parentDn != nullptr && parentDn[0] != '\0') newDn.append(",").append(parentDn);
    if (lookup(newDn.c_str()) != nullptr) return renameFailure(QDX_LDAP_ALREADY_EXISTS);
    if (isMonitor(newDn.c_str())) return Status::failure(kRenameInfo, DEXC_RENAME, kMonitorDn);
    if (std::strchr(ndn.get(), '=') == nullptr) return renameFailure(QDX_LDAP_OPERATIONS_ERROR);
    // Every check has passed: from here on nothing can fail, so the rename is all or nothing.
    applyRename(node, newParent, ndn.get(), rdn.get(), newDn, deleteOldRDN);
    return Status();
}

void FFConnection::applyRename(FFNode* node, FFNode* newParent, const char* oldDn, const char* rdn,
                               const std::string& newDn, bool deleteOldRDN) {
    std::unique_ptr<DEntry> unpacked(node->record ? node->record->unpack(nullptr, false) : nullptr);
    DEntry* entry = unpacked ? unpacked.get() : node->entry;
    updateRdnValues(entry, oldDn, rdn, deleteOldRDN);
    DListItem* item = m_pIndex->itemOf(node);
    m_pIndex->erase(node);  // while the node still has its old DN
    entry->setDN(newDn.c_str());
    if (unpacked) node->replaceRecord(FFRecord::pack(entry, nullptr));
    if (newParent == nullptr) {
        m_pIndex->insert(node, item);
    } else {
        // A move: the entry leaves its parent and joins the end of the new parent's
        // children, and counts as the removal and the addition it amounts to.
        node->unlinkFromParent(item);
        node->parent = newParent;
        if (newParent->children == nullptr) newParent->children = new (SHAR) DList();
        newParent->children->append(node, DLIST_BORROWED, false);
        m_pIndex->insert(node, newParent->children->getTail());
        opsInitiated += 2;
        modsCompleted += 2;
    }
    noteChange();
}

// ---- read, search, compare, authenticate ------------------------------------------------

namespace {

Status searchFailure(const char* detail) {
    return Status::failure(kSearchInfo, DEXC_SEARCH, detail);
}

// A search filter in the form the connection's matching reads; a filter without its
// outer parentheses is accepted.
struct SearchFilter {
    std::unique_ptr<DFilter> classic;
    std::optional<dirschema::LdapFilter> ldap;

    // Null when the filter parsed, else why it was refused.
    const char* parse(const char* filter, bool ldapMatching) {
        std::string text = filter;
        if (text.empty() || text[0] != '(') text = "(" + text + ")";
        if (ldapMatching) return ffmatching::parseFilter(text, ldap);
        classic.reset(DFilter::unparseFilter(text.c_str()));
        return classic == nullptr ? kInvalidFilter : nullptr;
    }
};

Status compareFailure(const char* detail) {
    return Status::failure(kCompareInfo, DEXC_COMPARE, detail);
}

// Whether the stored attribute holds the given value: as text (case ignored) or, for
// stored binary values, byte for byte.
bool holdsValue(Attribute* held, DListItem* given) {
    char* text = given->stringValue();
    if (text == nullptr) return false;
    bool found = held->hasValue(DLIST_STRING, &text);
    if (!found) {
        Dbinary bytes{static_cast<std::uint32_t>(std::strlen(text)), text};
        found = held->hasValue(DLIST_BINARY, &bytes);
    }
    check_free(text);
    return found;
}

}  // namespace

DEntry* FFConnection::read(const char* dn, DList* attrs, DException** err) {
    FFStoreLock lock;
    if (err != nullptr) *err = nullptr;
    ++opsInitiated;
    DEntry* answer = nullptr;
    readEntry(dn, attrs, &answer).report(err);
    return answer;
}

Status FFConnection::readEntry(const char* dn, DList* attrs, DEntry** answer) {
    if (dn == nullptr) return Status::failure(kSearchInfo, DEXC_SEARCH, kInvalidDn);
    OwnedText ndn = normalized(dn);
    if (isMonitor(ndn.get())) {
        *answer = genMonitorEntry();
        return Status();
    }
    FFNode* node = lookup(ndn.get());
    if (node == nullptr) return Status::failure(kSearchInfo, DEXC_SEARCH, QDX_LDAP_NO_SUCH_OBJECT);
    *answer = node->answer(attrs, false);
    ++entriesSent;
    FFNode::translateFromB64(*answer);
    return Status();
}

DEntry* FFConnection::read(const char* dn, DException** err) {
    return read(dn, nullptr, err);
}

SearchResults* FFConnection::search(const char* base, int scope, const char* filter, DList* attrs,
                                    bool typesOnly, SearchConstraints*, DException** err) {
    FFStoreLock lock;
    if (err != nullptr) *err = nullptr;
    ++opsInitiated;
    SearchResults* found = nullptr;
    searchTree(base, scope, filter, attrs, typesOnly, &found).report(err);
    return found;
}

Status FFConnection::searchTree(const char* base, int scope, const char* filter, DList* attrs,
                                bool typesOnly, SearchResults** answer) {
    if (base == nullptr) return searchFailure(kInvalidDn);
    if (filter == nullptr) return searchFailure(kInvalidFilter);
    if (scope < 0 || scope > 2) return searchFailure(kInvalidScope);
    OwnedText nbase = normalized(base);
    if (isMonitor(nbase.get())) {
        *answer = new SearchResults();
        (*answer)->addEntry(genMonitorEntry());
        return Status();
    }
    FFNode* node = nbase.get()[0] == '\0' ? m_pRoot : lookup(nbase.get());
    if (node == nullptr) return Status::failure(kSearchInfo, DEXC_SEARCH, QDX_LDAP_NO_SUCH_OBJECT);
    SearchFilter parsed;
    if (const char* refused = parsed.parse(filter, getMatching() == FF_MATCH_LDAP)) {
        return searchFailure(refused);
    }
    auto found = std::make_unique<SearchResults>();
    int count = parsed.ldap
                    ? node->search(scope, *parsed.ldap, attrs, typesOnly, found.get())
                    : node->search(scope, parsed.classic.get(), attrs, typesOnly, found.get());
    if (count == 0) return Status::failure(kSearchInfo, DEXC_SEARCH, QDX_LDAP_NO_SUCH_OBJECT);
    entriesSent += count;
    FFNode::translateFromB64(found.get());
    *answer = found.release();
    return Status();
}

SearchResults* FFConnection::search(const char* base, int scope, const char* filter, DList* attrs,
                                    bool typesOnly, DException** err) {
    return search(base, scope, filter, attrs, typesOnly, nullptr, err);
}

bool FFConnection::compare(const char* dn, Attribute* attr, DException** err) {
    FFStoreLock lock;
    if (err != nullptr) *err = nullptr;
    ++opsInitiated;
    bool holds = false;
    compareEntry(dn, attr, &holds).report(err);
    return holds;
}

Status FFConnection::compareEntry(const char* dn, Attribute* attr, bool* holds) {
    if (dn == nullptr) return compareFailure(kInvalidDn);
    if (attr == nullptr) return compareFailure(kInvalidAttribute);
    if (attr->getName() == nullptr) return compareFailure(kInvalidAttributeName);
    OwnedText ndn = normalized(dn);
    FFNode* node = lookup(ndn.get());
    if (node == nullptr)
        return Status::failure(kCompareInfo, DEXC_COMPARE, QDX_LDAP_NO_SUCH_OBJECT);
    std::unique_ptr<DEntry> unpacked(node->record ? node->record->unpack(nullptr, false) : nullptr);
    DEntry* entry = unpacked ? unpacked.get() : node->entry;
    Attribute* held = entry->getAttribute(attr->getName());
    if (held == nullptr) {
        return Status::failure(kCompareInfo, DEXC_COMPARE, QDX_LDAP_NO_SUCH_ATTRIBUTE);
    }
    bool ldap = getMatching() == FF_MATCH_LDAP;
    for (DListItem* v = attr->getValues() ? attr->getValues()->getHead() : nullptr; v != nullptr;
         v = v->getNextItem()) {
        if (!ldap) {
            if (!holdsValue(held, v)) return Status();
            continue;
        }
        dirschema::Truth truth = ffmatching::holds(entry, attr->getName(), v);
        if (truth == dirschema::Truth::kUndefined) {
            return Status::failure(kCompareInfo, DEXC_COMPARE, QDX_LDAP_INAPPROPRIATE_MATCHING);
        }
        if (truth == dirschema::Truth::kFalse) return Status();
    }
    *holds = true;
    return Status();
}

void FFConnection::authenticate(const char* dn, const char* password, DException** err) {
    FFStoreLock lock;
    if (err != nullptr) *err = nullptr;
    ++opsInitiated;
    ++bindCount;
    bound = false;
    if (!m_pFile) {
        Status::failure(kAuthenticateInfo, DEXC_AUTHENTICATE, kInappropriate).report(err);
        return;
    }
    authDN.reset(strcopy(dn));
    authPassword.reset(strcopy(password));
    bound = true;
}

void FFConnection::authenticate(int, const char* dn, const char* password, DException** err) {
    authenticate(dn, password, err);
}
