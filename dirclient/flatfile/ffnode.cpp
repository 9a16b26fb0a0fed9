// The flat-file tree: nodes, deep copies, lookups and searches. Walks are iterative so that
// a very deep tree cannot exhaust the stack.

#include "ffnode.h"

#include "attribute.h"
#include "attribute_set.h"
#include "dentry.h"
#include "dexception.h"
#include "dfilter.h"
#include "dlist.h"
#include "ffconnection.h"
#include "ffdn.h"
#include "ffindex.h"
#include "ffrecord.h"
#include "ldap_filter.h"
#include "modification.h"
#include "search_results.h"

#include <cstring>
#include <vector>

FFNode::FFNode(FFNode* p, DEntry* e) : parent(p), entry(e), children(nullptr), record(nullptr) {}

FFNode::FFNode(FFNode* p, FFRecord* r, Packed)
    : parent(p), entry(nullptr), children(nullptr), record(r) {}

DEntry* FFNode::getEntry() {
    if (record != nullptr) {
        entry = record->unpack(nullptr, false);  // same DN: the index stays valid
        FFRecord::destroy(record);
        record = nullptr;
    }
    return entry;
}

const char* FFNode::getDN() const {
    if (record != nullptr) return record->dn();
    return entry != nullptr ? entry->getDN() : nullptr;
}

DEntry* FFNode::answer(DList* attrs, bool typesOnly) {
    if (record != nullptr) return record->unpack(attrs, typesOnly);
    return genEntry(entry, attrs, typesOnly);
}

namespace {

bool recordValues(const void* subject, const char* name, bool (*visit)(void*, const char*),
                  void* state) {
    return static_cast<const FFRecord*>(subject)->anyText(name, visit, state);
}

}  // namespace

bool FFNode::accepts(const dirschema::LdapFilter& filter) {
    if (record != nullptr) return filter.accepts(record, FFRecord::allValues);
    return filter.accepts(entry, FFRecord::allEntryValues);
}

bool FFNode::accepts(DFilter* filter) {
    if (filter == nullptr) return true;
    if (record != nullptr) return filter->evalWith(record, recordValues);
    return filter->evalEntry(entry);
}

void FFNode::replaceRecord(FFRecord* packed) {
    FFRecord::destroy(record);
    delete entry;
    entry = nullptr;
    record = packed;
}

FFNode::~FFNode() {
    // Take the descendants apart one level at a time instead of recursing.
    std::vector<FFNode*> pending;
    auto detachChildren = [&pending](FFNode* node) {
        if (node->children == nullptr) return;
        for (DListItem* item = node->children->getHead(); item != nullptr;
             item = item->getNextItem()) {
            pending.push_back(static_cast<FFNode*>(item->getValue()));
        }
        delete node->children;  // untyped items: the nodes stay
        node->children = nullptr;
    };
    detachChildren(this);
    while (!pending.empty()) {
        FFNode* node = pending.back();
        pending.pop_back();
        detachChildren(node);
        delete node;
    }
    delete entry;
    FFRecord::destroy(record);
}

FFIndex* FFNode::storeIndex() {
    return FFConnection::indexFor(this);
}

bool FFNode::setEntry(DEntry* e) {
    FFIndex* index = parent != nullptr ? storeIndex() : nullptr;
    DListItem* item = index != nullptr ? index->itemOf(this) : nullptr;
    if (item != nullptr) index->erase(this);
    if (e != entry) delete entry;
    FFRecord::destroy(record);
    record = nullptr;
    entry = e;
    if (item != nullptr && entry != nullptr) index->insert(this, item);
    return true;
}

void FFNode::resetEntry() {
    setEntry(nullptr);
}

bool FFNode::hasChildren() const {
    return children != nullptr && children->getSize() > 0;
}

FFNode* FFNode::add(DEntry* e) {
    return addIndexed(e, storeIndex());
}

FFNode* FFNode::addIndexed(DEntry* e, FFIndex* index) {
    return attach(new (SHAR) FFNode(this, e), index);
}

FFNode* FFNode::addIndexed(FFRecord* packed, FFIndex* index) {
    return attach(new (SHAR) FFNode(this, packed, Packed{}), index);
}

FFNode* FFNode::attach(FFNode* node, FFIndex* index) {
    if (children == nullptr) children = new (SHAR) DList();
    children->append(node, DLIST_BORROWED, false);
    if (index != nullptr && node->hasEntry()) index->insert(node, children->getTail());
    return node;
}

void FFNode::remove() {
    if (parent == nullptr) return;
    removeIndexed(storeIndex());
}

void FFNode::removeIndexed(FFIndex* index) {
    DListItem* item = index != nullptr ? index->itemOf(this) : nullptr;
    forgetSubtree(this, index);
    unlinkFromParent(item);
    delete this;
}

void FFNode::forgetSubtree(FFNode* top, FFIndex* index) {
    if (index == nullptr) return;
    std::vector<FFNode*> pending{top};
    while (!pending.empty()) {
        FFNode* node = pending.back();
        pending.pop_back();
        if (node->hasEntry()) index->erase(node);
        if (node->children == nullptr) continue;
        for (DListItem* item = node->children->getHead(); item != nullptr;
             item = item->getNextItem()) {
            pending.push_back(static_cast<FFNode*>(item->getValue()));
        }
    }
}

// Unlinks this node's item from the parent's children in O(1) when the item is known.
void FFNode::unlinkFromParent(DListItem* item) {
    DList* siblings = parent->children;
    if (siblings == nullptr) return;
    if (item == nullptr) {
        for (item = siblings->getHead(); item != nullptr && item->getValue() != this;
             item = item->getNextItem()) {
        }
        if (item == nullptr) return;
    }
    DListItem* before = item->getPreviousItem();
    DListItem* after = item->getNextItem();
    if (before != nullptr) before->setNextItem(after);
    if (after != nullptr) after->setPreviousItem(before);
    if (siblings->getHead() == item) siblings->setHead(after);
    if (siblings->getTail() == item) siblings->setTail(before);
    siblings->setSize(siblings->getSize() - 1);
    siblings->resetToBegin();
    item->setNextItem(nullptr);
    item->setPreviousItem(nullptr);
    delete item;  // untyped: the node itself is not released here
}

namespace {

bool endsWithNoCase(const char* text, std::size_t textLength, const char* tail,
                    std::size_t tailLength) {
    return tailLength <= textLength && ffdn::equalNoCase(text + (textLength - tailLength), tail);
}

}  // namespace

FFNode* FFNode::findNode(const char* dn) {
    if (dn == nullptr) return nullptr;
    if (*dn == '\0') return this;
    if (FFIndex* index = storeIndex()) {
        FFNode* found = index->find(dn);
        for (FFNode* up = found; up != nullptr; up = up->parent) {
            if (up == this) return found;
        }
        return nullptr;
    }
    // A tree outside the store: walk it, skipping subtrees whose DN is not a suffix.
    std::size_t dnLength = std::strlen(dn);
    std::vector<FFNode*> pending{this};
    while (!pending.empty()) {
        FFNode* node = pending.back();
        pending.pop_back();
        if (node->parent != nullptr) {
            const char* nodeDn = node->getDN();
            if (nodeDn == nullptr) nodeDn = "";
            if (ffdn::equalNoCase(nodeDn, dn)) return node;
            std::size_t nodeLength = std::strlen(nodeDn);
            if (nodeLength >= dnLength || !endsWithNoCase(dn, dnLength, nodeDn, nodeLength)) {
                continue;
            }
        }
        if (node->children == nullptr) continue;
        for (DListItem* item = node->children->getTail(); item != nullptr;
             item = item->getPreviousItem()) {
            pending.push_back(static_cast<FFNode*>(item->getValue()));
        }
    }
    return nullptr;
}

FFNode* FFNode::findParent(const char* dn) {
    if (dn == nullptr) return nullptr;
    const char* parentDn = ffdn::parentOf(dn);
    return parentDn != nullptr ? findNode(parentDn) : nullptr;
}

int FFNode::search(int scope, DFilter* filter, DList* attrs, bool typesOnly,
                   SearchResults* results) {
    return searchWith(
        scope, [filter](FFNode* node) { return node->accepts(filter); }, attrs, typesOnly, results);
}

int FFNode::search(int scope, const dirschema::LdapFilter& filter, DList* attrs, bool typesOnly,
                   SearchResults* results) {
    return searchWith(
        scope, [&filter](FFNode* node) { return node->accepts(filter); }, attrs, typesOnly,
        results);
}

template <class Accepts>
int FFNode::searchWith(int scope, Accepts accepts, DList* attrs, bool typesOnly,
                       SearchResults* results) {
    int count = 0;
    auto visit = [&](FFNode* node) {
        if (!node->hasEntry() || !accepts(node)) return;
        if (results != nullptr) results->addEntry(node->answer(attrs, typesOnly));
        ++count;
    };
    if (scope == 0) {
        visit(this);
    } else if (scope == 1) {
        for (DListItem* item = children ? children->getHead() : nullptr; item != nullptr;
             item = item->getNextItem()) {
            visit(static_cast<FFNode*>(item->getValue()));
        }
    } else if (scope == 2) {
        std::vector<FFNode*> pending{this};
        while (!pending.empty()) {
            FFNode* node = pending.back();
            pending.pop_back();
            visit(node);
            for (DListItem* item = node->children ? node->children->getTail() : nullptr;
                 item != nullptr; item = item->getPreviousItem()) {
                pending.push_back(static_cast<FFNode*>(item->getValue()));
            }
        }
    }
    return count;
}

namespace {

Attribute* copyAttribute(Attribute* attribute, bool withValues) {
    auto* out = new (SHAR) Attribute(attribute->getName());
    if (withValues && attribute->getValues() != nullptr) {
        out->setValues(FFNode::copy(attribute->getValues()));
    }
    return out;
}

}  // namespace

DEntry* FFNode::genEntry(DEntry* e, DList* attrs, bool typesOnly) {
    if (e == nullptr) return nullptr;
    if (attrs == nullptr && !typesOnly) return copy(e);
    auto* out = new (SHAR) DEntry(e->getDN());
    auto take = [out, typesOnly](Attribute* found) {
        Attribute* attribute = copyAttribute(found, !typesOnly);
        if (!out->addAttribute(attribute)) delete attribute;  // a name asked for twice
    };
    if (attrs == nullptr) {
        DList* all = e->getAttributeSet() ? e->getAttributeSet()->getValues() : nullptr;
        for (DListItem* item = all ? all->getHead() : nullptr; item != nullptr;
             item = item->getNextItem()) {
            if (item->getValue() != nullptr) take(static_cast<Attribute*>(item->getValue()));
        }
        return out;
    }
    for (DListItem* item = attrs->getHead(); item != nullptr; item = item->getNextItem()) {
        if (item->getType() != DLIST_STRING || item->getValue() == nullptr) continue;
        Attribute* found = e->getAttribute(static_cast<const char*>(item->getValue()));
        if (found != nullptr) take(found);
    }
    return out;
}

// ---- copies -----------------------------------------------------------------------------

DEntry* FFNode::copy(DEntry* e) {
    if (e == nullptr) return nullptr;
    auto* out = new (SHAR) DEntry(e->getDN());
    if (e->getAttributeSet() != nullptr) out->setValues(copy(e->getAttributeSet()));
    return out;
}

AttributeSet* FFNode::copy(AttributeSet* set) {
    if (set == nullptr) return nullptr;
    auto* out = new (SHAR) AttributeSet();
    if (set->getValues() != nullptr) out->setValues(copy(set->getValues()));
    return out;
}

DList* FFNode::copy(DList* list) {
    if (list == nullptr) return nullptr;
    auto* out = new (SHAR) DList();
    for (DListItem* item = list->getHead(); item != nullptr; item = item->getNextItem()) {
        out->append(copy(item));
    }
    return out;
}

namespace {

void* copyBlock(const void* from, std::size_t size) {
    char* out = check_malloc_shared(size);
    std::memcpy(out, from, size);
    return out;
}

Dbinary* copyBinary(const Dbinary* from) {
    auto* out = static_cast<Dbinary*>(copyBlock(from, sizeof(Dbinary)));
    out->bytes = nullptr;
    if (from->bytes != nullptr) {
        out->bytes = static_cast<char*>(copyBlock(from->bytes, from->length));
    }
    return out;
}

}  // namespace

// Numbers, booleans and binary values are copied too: values read from an LDAP server are
// binary, and a copy without them would lose the data.
DListItem* FFNode::copy(DListItem* item) {
    if (item == nullptr) return nullptr;
    void* value = item->getValue();
    void* copied = nullptr;
    if (value != nullptr) {
        switch (item->getType()) {
            case DLIST_BOOL:
                copied = copyBlock(value, sizeof(bool));
                break;
            case DLIST_INT:
                copied = copyBlock(value, sizeof(int));
                break;
            case DLIST_LONG:
                copied = copyBlock(value, sizeof(long));
                break;
            case DLIST_BINARY:
                copied = copyBinary(static_cast<Dbinary*>(value));
                break;
            case DLIST_STRING:
                copied = strcopy(static_cast<const char*>(value));
                break;
            case DLIST_ATTRIBUTE:
                copied = copy(static_cast<Attribute*>(value));
                break;
            case DLIST_MODIFICATION:
                copied = copy(static_cast<Modification*>(value));
                break;
            case DLIST_ENTRY:
                copied = copy(static_cast<DEntry*>(value));
                break;
            case DLIST_EXCEPTION:
                copied = new DException(*static_cast<DException*>(value));
                break;
            default:
                break;
        }
    }
    return new (HEAP) DListItem(copied, item->getType());
}

Attribute* FFNode::copy(Attribute* attribute) {
    return attribute != nullptr ? copyAttribute(attribute, true) : nullptr;
}

Modification* FFNode::copy(Modification* modification) {
    if (modification == nullptr) return nullptr;
    return new Modification(modification->getOp(), copy(modification->getAttribute()));
}

void FFNode::freeEntry(DEntry* e) {
    delete e;
}
void FFNode::freeAttribute(Attribute* attribute) {
    delete attribute;
}
void FFNode::freeModification(Modification* modification) {
    delete modification;
}
void FFNode::freeNode(FFNode* node) {
    delete node;
}
