#ifndef DIRCLIENT_SEARCH_RESULTS_H
#define DIRCLIENT_SEARCH_RESULTS_H

#include "dirclient_export.h"

#include "delement.h"
#include "dentry.h"
#include "dexception.h"
#include "dlist.h"

class EntryComparator;

// The outcome of a search: entries (type 8 items) and exceptions for parts of the search
// that failed (type 9 items), in the order of addition until sort reorders the entries.
// Owns both kinds. Allocated with the ordinary new. Every operation returns null, 0 or
// false while nothing has been added.
class DIRCLIENT_API SearchResults {
  public:
    SearchResults() = default;
    ~SearchResults();  // deletes every entry and exception
    SearchResults(const SearchResults&) = delete;
    SearchResults& operator=(const SearchResults&) = delete;

    // Append and take over; false for null.
    bool addEntry(DEntry* entry);
    bool addException(DException* exception);

    // The first / next element that is an entry, skipping exceptions; null at the end.
    DEntry* first();
    DEntry* next();
    // Elements of either kind (check DElement::getType()).
    DElement* firstElement();
    DElement* getFirstElement();
    DElement* nextElement();
    DElement* getNextElement();
    DElement* getElement();
    DElement* getPreviousElement();
    DElement* getLastElement();
    DListItem* getFirstElementItem();
    DListItem* getNextElementItem();
    DListItem* getPreviousElementItem();
    DListItem* getLastElementItem();
    // Whether an element follows the cursor; the cursor stays.
    bool hasMoreElements() const;
    int size() const;  // entries and exceptions together

    DList* getValues() const { return values_; }
    bool setValues(DList* values);  // takes the list over; the old one is deleted
    bool resetToBegin();
    bool resetToEnd();

    // Orders the entries so that no entry is greater (comparator->isGreater(a, b, false))
    // than one after it. Stable: entries that compare equal keep their order. Exceptions
    // keep their positions. O(n log n) comparisons; the cursor ends on the last item.
    void sort(EntryComparator* comparator);

    // Text dumps; the caller releases the result with check_free.
    char* ToString();
    char* ToString(int indent, bool compact);

  private:
    DList* values_ = nullptr;
};

#endif
