#ifndef DIRCLIENT_TESTS_BUBBLE_SORT_REFERENCE_H
#define DIRCLIENT_TESTS_BUBBLE_SORT_REFERENCE_H

// The exchange sort that SearchResults::sort replaced, kept as the reference order for
// tests and benchmarks. Passes walk the entry items from the head, skipping exceptions,
// and exchange the contents of two neighbouring entries when the first is strictly
// greater; a later pass stops before the last pair exchanged in the pass before; the sort
// ends after a pass without exchange.

#include <climits>

#include "delement.h"
#include "dentry.h"
#include "dlist.h"
#include "entry_comparator.h"
#include "search_results.h"

namespace dirclient_test {

inline DListItem* next_entry_item(DListItem* item) {
    for (; item != nullptr; item = item->getNextItem()) {
        void* value = item->getValue();
        if (value != nullptr && static_cast<DElement*>(value)->getType() == DELEMENT_ENTRY)
            return item;
    }
    return nullptr;
}

// Returns the number of comparisons made.
inline long bubble_sort_reference(SearchResults* results, EntryComparator* comparator) {
    DList* list = results->getValues();
    if (list == nullptr || list->getSize() < 2) return 0;
    long comparisons = 0;
    int limit = INT_MAX;
    for (;;) {
        int last_exchanged = -1;
        int pair = 0;
        DListItem* first = next_entry_item(list->getHead());
        while (first != nullptr && pair < limit) {
            DListItem* second = next_entry_item(first->getNextItem());
            if (second == nullptr) break;
            ++comparisons;
            if (comparator->isGreater(static_cast<DEntry*>(first->getValue()),
                                      static_cast<DEntry*>(second->getValue()), false)) {
                first->switchData(second);
                last_exchanged = pair;
            }
            first = second;
            ++pair;
        }
        if (last_exchanged < 0) break;
        limit = last_exchanged;
    }
    list->resetToEnd();
    return comparisons;
}

}  // namespace dirclient_test

#endif
