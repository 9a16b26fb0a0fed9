#include "search_results.h"

#include <algorithm>
#include <vector>

#include "entry_comparator.h"
#include "model_dump.h"

namespace {

bool holds_entry(const DListItem* item) {
    return item->getValue() != nullptr &&
           static_cast<DElement*>(item->getValue())->getType() == DELEMENT_ENTRY;
}

// What an entry item carries; sorting moves these between the entry items.
struct Slot {
    int type;
    DEntry* entry;
};

// Stable merge sort: a later element passes an earlier one only when the earlier one is
// strictly greater, which is the order the classic exchange sort leaves behind. Safe with
// any comparator: every step stays inside the arrays.
class EntrySorter {
  public:
    explicit EntrySorter(EntryComparator* comparator) : comparator_(comparator) {}

    void sort(std::vector<Slot>& slots) {
        scratch_.resize(slots.size());
        sort(slots.data(), scratch_.data(), slots.size());
    }

  private:
    bool greater(const Slot& a, const Slot& b) {
        return comparator_->isGreater(a.entry, b.entry, false);
    }

    void sort(Slot* slots, Slot* scratch, std::size_t count) {
        if (count < 2) return;
        const std::size_t half = count / 2;
        sort(slots, scratch, half);
        sort(slots + half, scratch, count - half);
        // Runs already in order need no merge: one comparison for presorted input.
        if (!greater(slots[half - 1], slots[half])) return;
        merge(slots, half, count, scratch);
    }

    void merge(Slot* slots, std::size_t half, std::size_t count, Slot* scratch) {
        std::copy(slots, slots + half, scratch);
        std::size_t left = 0, right = half, out = 0;
        while (left < half && right < count) {
            if (greater(scratch[left], slots[right]))
                slots[out++] = slots[right++];
            else
                slots[out++] = scratch[left++];
        }
        while (left < half)
            slots[out++] = scratch[left++];
    }

    EntryComparator* comparator_;
    std::vector<Slot> scratch_;
};

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
    return values_ != nullptr ? static_cast<DElement*>(values_->getFirstValue()) : nullptr;
}
DElement* SearchResults::getFirstElement() {
    return firstElement();
}
DElement* SearchResults::nextElement() {
    return values_ != nullptr ? static_cast<DElement*>(values_->getNextValue()) : nullptr;
}
DElement* SearchResults::getNextElement() {
    return nextElement();
}
DElement* SearchResults::getElement() {
    return values_ != nullptr ? static_cast<DElement*>(values_->getValue()) : nullptr;
}
DElement* SearchResults::getPreviousElement() {
    return values_ != nullptr ? static_cast<DElement*>(values_->getPreviousValue()) : nullptr;
}
DElement* SearchResults::getLastElement() {
    return values_ != nullptr ? static_cast<DElement*>(values_->getLastValue()) : nullptr;
}
DListItem* SearchResults::getFirstElementItem() {
    return values_ != nullptr ? values_->getFirstItem() : nullptr;
}
DListItem* SearchResults::getNextElementItem() {
    return values_ != nullptr ? values_->getNextItem() : nullptr;
}
DListItem* SearchResults::getPreviousElementItem() {
    return values_ != nullptr ? values_->getPreviousItem() : nullptr;
}
DListItem* SearchResults::getLastElementItem() {
    return values_ != nullptr ? values_->getLastItem() : nullptr;
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
    return values_ != nullptr && values_->resetToBegin();
}
bool SearchResults::resetToEnd() {
    return values_ != nullptr && values_->resetToEnd();
}

void SearchResults::sort(EntryComparator* comparator) {
    if (values_ == nullptr || values_->getSize() < 2 || comparator == nullptr) return;
    // Entries move between the entry items; exception items keep their places.
    std::vector<DListItem*> items;
    std::vector<Slot> slots;
    for (DListItem* item = values_->getHead(); item != nullptr; item = item->getNextItem()) {
        if (!holds_entry(item)) continue;
        items.push_back(item);
        slots.push_back({item->getType(), static_cast<DEntry*>(item->getValue())});
    }
    EntrySorter(comparator).sort(slots);
    for (std::size_t k = 0; k < items.size(); ++k) {
        items[k]->setType(slots[k].type);
        items[k]->resetValue(slots[k].entry);
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
