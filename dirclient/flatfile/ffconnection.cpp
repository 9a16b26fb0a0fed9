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
#include "modification.h"
#include "modification_set.h"
#include "search_results.h"

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

// LDAP result codes of the checks only the LDAP matching mode makes.
constexpr int kInappropriateMatching = 18;
constexpr int kValueExists = 20;

void report(DException** err, const char* info, int code, const char* detail) {
    if (err != nullptr) *err = new DException(info, code, detail);
}

void reportLdap(DException** err, const char* info, int code, int ldapCode) {
    if (err != nullptr) *err = new DException(info, code, ldapCode);
}

struct FreeText {
    void operator()(char* text) const { check_free(text); }
};
using Text = std::unique_ptr<char, FreeText>;

Text normalized(const char* dn) {
    return Text(dn != nullptr ? dn_normalize(dn) : nullptr);
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
    if (entry == nullptr) return report(err, kAddInfo, DEXC_ADD, kInvalidEntry);
    Text dn = normalized(entry->getDN());
    if (dn == nullptr) return report(err, kAddInfo, DEXC_ADD, kInvalidDn);
    bool atRoot = false;
    FFNode* parent = placeFor(dn.get(), &atRoot, err);
    if (parent == nullptr) return;
    if (!validAttributeNames(entry)) {
        return report(err, kAddInfo, DEXC_ADD, kInvalidAttributeName);
    }
    attach(parent, atRoot, FFRecord::pack(entry, dn.get()));
}

// Where an entry with the normalised DN dn goes: the parent node, or the root itself for
// the empty DN (*atRoot). Null, with the failure reported, when it cannot be added.
FFNode* FFConnection::placeFor(const char* dn, bool* atRoot, DException** err) {
    if (isMonitor(dn)) return report(err, kAddInfo, DEXC_ADD, kMonitorDn), nullptr;
    if (m_pRoot == nullptr) return reportLdap(err, kAddInfo, DEXC_ADD, 32), nullptr;
    *atRoot = dn[0] == '\0';
    if (*atRoot ? m_pRoot->hasEntry() : lookup(dn) != nullptr) {
        return reportLdap(err, kAddInfo, DEXC_ADD, 68), nullptr;
    }
    if (*atRoot) return m_pRoot;
    const char* parentDn = ffdn::parentOf(dn);
    FFNode* parent = parentDn != nullptr ? parentNode(parentDn) : m_pRoot;
    if (parent == nullptr) return reportLdap(err, kAddInfo, DEXC_ADD, 32), nullptr;
    return parent;
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
FFNode* FFConnection::addRecord(FFRecord* packed, DException** err) {
    bool atRoot = false;
    FFNode* parent = placeFor(packed->dn(), &atRoot, err);
    return parent != nullptr ? attach(parent, atRoot, packed) : nullptr;
}

// ---- remove -----------------------------------------------------------------------------

void FFConnection::remove(const char* dn, DException** err) {
    FFStoreLock lock;
    if (err != nullptr) *err = nullptr;
    ++opsInitiated;
    removeEntry(dn, err);
}

void FFConnection::removeEntry(const char* dn, DException** err) {
    if (dn == nullptr) return report(err, kRemoveInfo, DEXC_REMOVE, kInvalidDn);
    Text ndn = normalized(dn);
    FFNode* node = lookup(ndn.get());
    if (node == nullptr) return reportLdap(err, kRemoveInfo, DEXC_REMOVE, 32);
    if (node->hasChildren()) return reportLdap(err, kRemoveInfo, DEXC_REMOVE, 66);
    if (node == m_pRoot) {
        node->resetEntry();
    } else {
        node->removeIndexed(m_pIndex);
    }
    noteChange();
}

// ---- modify -----------------------------------------------------------------------------

namespace {

// Removes one value given by the caller from attribute, matching its type.
bool removeGivenValue(Attribute* attribute, DListItem* given) {
    void* value = given->getValue();
    if (value == nullptr) return false;
    switch (given->getType()) {
        case DLIST_STRING: return attribute->removeValue(static_cast<const char*>(value));
        case DLIST_BINARY: return attribute->removeValue(static_cast<Dbinary*>(value));
        case DLIST_INT: return attribute->removeValue(*static_cast<int*>(value));
        case DLIST_LONG: return attribute->removeValue(*static_cast<long*>(value));
        default: return false;
    }
}

// Removes the first value of attribute equal to given under its equality rule.
bool removeEqualValue(Attribute* attribute, DListItem* given) {
    int position = ffmatching::findEqual(attribute, given);
    return position >= 0 && attribute->getValues()->goTo(position) &&
           attribute->getValues()->removeIt();
}

// Applies one modification to the working set; the LDAP result code of a failure, else 0.
// With ldap, values are compared by the attribute's equality rule, and adding a value the
// attribute holds already fails as it does on a server.
int applyModification(AttributeSet* work, Modification* mod, bool ldap, const char** detail) {
    Attribute* given = mod->getAttribute();
    if (given == nullptr || given->getName() == nullptr) return 16;
    const char* name = given->getName();
    Attribute* held = work->getAttribute(name);
    switch (mod->getOp()) {
        case 0:
            if (!validAttributeName(name)) return *detail = kInvalidAttributeName, -1;
            if (held == nullptr) {
                work->addAttribute(FFNode::copy(given));
            } else if (given->getValues() != nullptr) {
                for (DListItem* v = given->getValues()->getHead(); v != nullptr;
                     v = v->getNextItem()) {
                    if (ldap && ffmatching::findEqual(held, v) >= 0) return kValueExists;
                    if (held->getValues() == nullptr) held->setValues(new (SHAR) DList());
                    held->getValues()->append(FFNode::copy(v));
                }
            }
            return 0;
        case 1:
            if (held == nullptr) return 16;
            if (given->size() > 0) {
                for (DListItem* v = given->getValues()->getHead(); v != nullptr;
                     v = v->getNextItem()) {
                    if (!(ldap ? removeEqualValue(held, v) : removeGivenValue(held, v))) {
                        return 16;
                    }
                }
                if (held->size() > 0) return 0;
            }
            work->remove(name);
            return 0;
        case 2:
            if (given->size() < 1 || held == nullptr) return 16;
            if (!validAttributeName(name)) return *detail = kInvalidAttributeName, -1;
            // In place, so that the attribute keeps its position in the entry.
            held->setName(name);
            held->setValues(FFNode::copy(given->getValues()));
            return 0;
        default: return 0;
    }
}

}  // namespace

void FFConnection::modify(const char* dn, ModificationSet* mods, DException** err) {
    FFStoreLock lock;
    if (err != nullptr) *err = nullptr;
    ++opsInitiated;
    if (mods == nullptr) return report(err, kModifyInfo, DEXC_MODIFY, kInvalidModification);
    if (dn == nullptr) return report(err, kModifyInfo, DEXC_MODIFY, kInvalidDn);
    Text ndn = normalized(dn);
    FFNode* node = lookup(ndn.get());
    if (node == nullptr) return reportLdap(err, kModifyInfo, DEXC_MODIFY, 32);
    std::unique_ptr<DEntry> unpacked(node->record ? node->record->unpack(nullptr, false) : nullptr);
    DEntry* entry = unpacked ? unpacked.get() : node->entry;
    AttributeSet* work = entry->getAttributeSet() != nullptr
                             ? FFNode::copy(entry->getAttributeSet())
                             : new (SHAR) AttributeSet();
    DList* list = mods->getValues();
    for (DListItem* item = list ? list->getHead() : nullptr; item != nullptr;
         item = item->getNextItem()) {
        auto* mod = static_cast<Modification*>(item->getValue());
        if (mod == nullptr) continue;
        const char* detail = nullptr;
        int code = applyModification(work, mod, getMatching() == FF_MATCH_LDAP, &detail);
        if (code == 0) continue;
        delete work;
        if (detail != nullptr) return report(err, kModifyInfo, DEXC_MODIFY, detail);
        return reportLdap(err, kModifyInfo, DEXC_MODIFY, code);
    }
    entry->setValues(work);
    if (unpacked) node->replaceRecord(FFRecord::pack(entry, nullptr));
    noteChange();
}

void FFConnection::modify(const char* dn, Modification* mod, DException** err) {
    if (mod == nullptr) {
        FFStoreLock lock;
        if (err != nullptr) *err = nullptr;
        ++opsInitiated;
        return report(err, kModifyInfo, DEXC_MODIFY, kInvalidModification);
    }
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
    renameEntry(dn, newRDN, newSuperior, deleteOldRDN, err);
}

void FFConnection::rename(const char* dn, const char* newRDN, bool deleteOldRDN,
                          DException** err) {
    rename(dn, newRDN, nullptr, deleteOldRDN, err);
}

namespace {

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

void FFConnection::renameEntry(const char* dn, const char* newRDN, const char* newSuperior,
                               bool deleteOldRDN, DException** err) {
    if (dn == nullptr) return report(err, kRenameInfo, DEXC_RENAME, kInvalidDn);
    Text ndn = normalized(dn);
    if (ndn.get()[0] == '\0') return reportLdap(err, kRenameInfo, DEXC_RENAME, 1);
    if (newRDN == nullptr || std::strchr(newRDN, '=') == nullptr) {
        return report(err, kRenameInfo, DEXC_RENAME, kInvalidRdn);
    }
    Text rdn = normalized(newRDN);
    // A new RDN holding a separator would put the entry under a parent it is not under.
    if (ffdn::rdnLength(rdn.get()) != std::strlen(rdn.get()) || rdn.get()[0] == '=' ||
        std::strchr(rdn.get(), '=') == nullptr) {
        return report(err, kRenameInfo, DEXC_RENAME, kInvalidRdn);
    }
    Text superior = normalized(newSuperior);
    FFNode* newParent = nullptr;
    if (superior != nullptr) {
        newParent = lookup(superior.get());
        if (newParent == nullptr) return reportLdap(err, kRenameInfo, DEXC_RENAME, 32);
    }
    FFNode* node = lookup(ndn.get());
    if (node == nullptr) return reportLdap(err, kRenameInfo, DEXC_RENAME, 32);
    if (node->hasChildren()) return reportLdap(err, kRenameInfo, DEXC_RENAME, 66);
    // An entry cannot become its own child.
    if (newParent == node) return reportLdap(err, kRenameInfo, DEXC_RENAME, 32);
    const char* parentDn = superior != nullptr ? superior.get() : ffdn::parentOf(ndn.get());
    std::string newDn = rdn.get();
    if (parentDn != nullptr && parentDn[0] != '\0') newDn.append(",").append(parentDn);
    if (lookup(newDn.c_str()) != nullptr) return reportLdap(err, kRenameInfo, DEXC_RENAME, 68);
    if (isMonitor(newDn.c_str())) return report(err, kRenameInfo, DEXC_RENAME, kMonitorDn);
    if (std::strchr(ndn.get(), '=') == nullptr) {
        return reportLdap(err, kRenameInfo, DEXC_RENAME, 1);
    }
    // Every check has passed: from here on nothing can fail, so the rename is all or nothing.
    std::unique_ptr<DEntry> unpacked(node->record ? node->record->unpack(nullptr, false) : nullptr);
    DEntry* entry = unpacked ? unpacked.get() : node->entry;
    updateRdnValues(entry, ndn.get(), rdn.get(), deleteOldRDN);
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

DEntry* FFConnection::read(const char* dn, DList* attrs, DException** err) {
    FFStoreLock lock;
    if (err != nullptr) *err = nullptr;
    ++opsInitiated;
    if (dn == nullptr) return report(err, kSearchInfo, DEXC_SEARCH, kInvalidDn), nullptr;
    Text ndn = normalized(dn);
    if (isMonitor(ndn.get())) return genMonitorEntry();
    FFNode* node = lookup(ndn.get());
    if (node == nullptr) return reportLdap(err, kSearchInfo, DEXC_SEARCH, 32), nullptr;
    DEntry* answer = node->answer(attrs, false);
    ++entriesSent;
    FFNode::translateFromB64(answer);
    return answer;
}

DEntry* FFConnection::read(const char* dn, DException** err) {
    return read(dn, nullptr, err);
}

SearchResults* FFConnection::search(const char* base, int scope, const char* filter,
                                    DList* attrs, bool typesOnly, SearchConstraints*,
                                    DException** err) {
    FFStoreLock lock;
    if (err != nullptr) *err = nullptr;
    ++opsInitiated;
    if (base == nullptr) return report(err, kSearchInfo, DEXC_SEARCH, kInvalidDn), nullptr;
    if (filter == nullptr) return report(err, kSearchInfo, DEXC_SEARCH, kInvalidFilter), nullptr;
    if (scope < 0 || scope > 2) {
        return report(err, kSearchInfo, DEXC_SEARCH, kInvalidScope), nullptr;
    }
    Text nbase = normalized(base);
    if (isMonitor(nbase.get())) {
        auto* found = new SearchResults();
        found->addEntry(genMonitorEntry());
        return found;
    }
    FFNode* node = nbase.get()[0] == '\0' ? m_pRoot : lookup(nbase.get());
    if (node == nullptr) return reportLdap(err, kSearchInfo, DEXC_SEARCH, 32), nullptr;
    std::string text = filter;
    if (text.empty() || text[0] != '(') text = "(" + text + ")";
    std::unique_ptr<DFilter> parsed;
    std::optional<dirschema::LdapFilter> ldapFilter;
    if (getMatching() == FF_MATCH_LDAP) {
        const char* refused = ffmatching::parseFilter(text, ldapFilter);
        if (refused != nullptr) return report(err, kSearchInfo, DEXC_SEARCH, refused), nullptr;
    } else {
        parsed.reset(DFilter::unparseFilter(text.c_str()));
        if (parsed == nullptr) {
            return report(err, kSearchInfo, DEXC_SEARCH, kInvalidFilter), nullptr;
        }
    }
    auto* found = new SearchResults();
    int count = ldapFilter ? node->search(scope, *ldapFilter, attrs, typesOnly, found)
                           : node->search(scope, parsed.get(), attrs, typesOnly, found);
    if (count == 0) {
        delete found;
        return reportLdap(err, kSearchInfo, DEXC_SEARCH, 32), nullptr;
    }
    entriesSent += count;
    FFNode::translateFromB64(found);
    return found;
}

SearchResults* FFConnection::search(const char* base, int scope, const char* filter,
                                    DList* attrs, bool typesOnly, DException** err) {
    return search(base, scope, filter, attrs, typesOnly, nullptr, err);
}

namespace {

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

bool FFConnection::compare(const char* dn, Attribute* attr, DException** err) {
    FFStoreLock lock;
    if (err != nullptr) *err = nullptr;
    ++opsInitiated;
    if (dn == nullptr) return report(err, kCompareInfo, DEXC_COMPARE, kInvalidDn), false;
    if (attr == nullptr) return report(err, kCompareInfo, DEXC_COMPARE, kInvalidAttribute), false;
    if (attr->getName() == nullptr) {
        return report(err, kCompareInfo, DEXC_COMPARE, kInvalidAttributeName), false;
    }
    Text ndn = normalized(dn);
    FFNode* node = lookup(ndn.get());
    if (node == nullptr) return reportLdap(err, kCompareInfo, DEXC_COMPARE, 32), false;
    std::unique_ptr<DEntry> unpacked(node->record ? node->record->unpack(nullptr, false) : nullptr);
    DEntry* entry = unpacked ? unpacked.get() : node->entry;
    Attribute* held = entry->getAttribute(attr->getName());
    if (held == nullptr) return reportLdap(err, kCompareInfo, DEXC_COMPARE, 16), false;
    bool ldap = getMatching() == FF_MATCH_LDAP;
    for (DListItem* v = attr->getValues() ? attr->getValues()->getHead() : nullptr; v != nullptr;
         v = v->getNextItem()) {
        if (!ldap) {
            if (!holdsValue(held, v)) return false;
            continue;
        }
        dirschema::Truth truth = ffmatching::holds(entry, attr->getName(), v);
        if (truth == dirschema::Truth::kUndefined) {
            return reportLdap(err, kCompareInfo, DEXC_COMPARE, kInappropriateMatching), false;
        }
        if (truth == dirschema::Truth::kFalse) return false;
    }
    return true;
}

void FFConnection::authenticate(const char* dn, const char* password, DException** err) {
    FFStoreLock lock;
    if (err != nullptr) *err = nullptr;
    ++opsInitiated;
    ++bindCount;
    bound = false;
    if (m_pFile == nullptr) {
        return report(err, kAuthenticateInfo, DEXC_AUTHENTICATE, kInappropriate);
    }
    check_free(authDN);
    authDN = strcopy(dn);
    check_free(authPassword);
    authPassword = strcopy(password);
    bound = true;
}

void FFConnection::authenticate(int, const char* dn, const char* password, DException** err) {
    authenticate(dn, password, err);
}
