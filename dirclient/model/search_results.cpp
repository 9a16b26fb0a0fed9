#include "search_results.h"
#include "list_cursor.h"

#include <typeinfo>
#include <vector>

#include "entry_comparator.h"
#include "model_dump.h"
#include "sort_keys.h"
#include "stable_merge.h"

namespace {

bool holds_entry(const DListItem* item) {
    return item->getValue() != nullptr &&
           static_cast<DElement*>(item->getValue())->getType() == DELEMENT_ENTRY;
}

// The elements are scattered over the heap: ask for them a few items ahead.
constexpr std::size_t kLookAhead = 8;

}  // namespace

SearchResults::~SearchResults() {
    delete values_;
}

bool SearchResults::addEntry(DEntry* entry) {
    if (entry == nullptr) return false;
    if (values_ == nullptr) values_ = new (HEAP) DList();
    return values_->append(entry, DLIST_ENTRY, false);
}

bool SearchResults::addException(DException* exception) {
    if (exception == nullptr) return false;
    if (values_ == nullptr) values_ = new (HEAP) DList();
    return values_->append(exception, DLIST_EXCEPTION, false);
}

DEntry* SearchResults::first() {
    if (values_ == nullptr) return nullptr;
    for (DListItem* item = values_->getFirstItem(); item != nullptr; item = values_->getNextItem())
        if (holds_entry(item)) return static_cast<DEntry*>(item->getValue());
    return nullptr;
}

DEntry* SearchResults::next() {
    if (values_ == nullptr) return nullptr;
    for (DListItem* item = values_->getNextItem(); item != nullptr; item = values_->getNextItem())
        if (holds_entry(item)) return static_cast<DEntry*>(item->getValue());
    return nullptr;
}

DElement* SearchResults::firstElement() {
    return list_value<DElement>(values_, ListStep::First);
}
DElement* SearchResults::getFirstElement() {
    return firstElement();
}
DElement* SearchResults::nextElement() {
    return list_value<DElement>(values_, ListStep::Next);
}
DElement* SearchResults::getNextElement() {
    return nextElement();
}
DElement* SearchResults::getElement() {
    return list_value<DElement>(values_, ListStep::Here);
}
DElement* SearchResults::getPreviousElement() {
    return list_value<DElement>(values_, ListStep::Previous);
}
DElement* SearchResults::getLastElement() {
    return list_value<DElement>(values_, ListStep::Last);
}
DListItem* SearchResults::getFirstElementItem() {
    return list_item(values_, ListStep::First);
}
DListItem* SearchResults::getNextElementItem() {
    return list_item(values_, ListStep::Next);
}
DListItem* SearchResults::getPreviousElementItem() {
    return list_item(values_, ListStep::Previous);
}
DListItem* SearchResults::getLastElementItem() {
    return list_item(values_, ListStep::Last);
}

bool SearchResults::hasMoreElements() const {
    return values_ != nullptr && values_->getCursor() != nullptr &&
           values_->getCursor()->getNextItem() != nullptr;
}

int SearchResults::size() const {
    return values_ != nullptr ? values_->getSize() : 0;
}

bool SearchResults::setValues(DList* values) {
    if (values != values_) {
        delete values_;
        values_ = values;
    }
    return true;
}

bool SearchResults::resetToBegin() {
    return list_reset(values_, false);
}
bool SearchResults::resetToEnd() {
    return list_reset(values_, true);
}

void SearchResults::sort(EntryComparator* comparator) {
    if (values_ == nullptr || values_->getSize() < 2 || comparator == nullptr) return;
    std::vector<DListItem*> all;
    all.reserve(static_cast<std::size_t>(values_->getSize()));
    for (DListItem* item = values_->getHead(); item != nullptr; item = item->getNextItem())
        all.push_back(item);

    // Entries move between the entry items (each keeping its type code); exception items
    // keep their places.
    std::vector<DListItem*> items;
    std::vector<DEntry*> entries;
    std::vector<int> types;
    for (std::size_t k = 0; k < all.size(); ++k) {
        if (k + kLookAhead < all.size()) __builtin_prefetch(all[k + kLookAhead]->getValue());
        if (!holds_entry(all[k])) continue;
        items.push_back(all[k]);
        entries.push_back(static_cast<DEntry*>(all[k]->getValue()));
        types.push_back(all[k]->getType());
    }

    // A plain CompareAttrNames is answered from keys gathered once per entry; any other
    // comparator, classes derived from CompareAttrNames included, is asked through its
    // virtual functions.
    std::vector<std::size_t> order;
    if (typeid(*comparator) == typeid(CompareAttrNames)) {
        order = SortKeys(*static_cast<CompareAttrNames*>(comparator), entries).order();
    } else {
        order.resize(entries.size());
        for (std::size_t k = 0; k < order.size(); ++k)
            order[k] = k;
        stable_merge_sort(order, [&](std::size_t a, std::size_t b) {
            return comparator->isGreater(entries[a], entries[b], false);
        });
    }
    for (std::size_t k = 0; k < items.size(); ++k) {
        items[k]->setType(types[order[k]]);
        items[k]->resetValue(entries[order[k]]);
    }
    values_->resetToEnd();
}

char* SearchResults::ToString() {
    return ToString(0, true);
}

char* SearchResults::ToString(int indent, bool compact) {
    DumpBuffer out;
    dump(out, this, indent, compact);
    return out.release();
}
