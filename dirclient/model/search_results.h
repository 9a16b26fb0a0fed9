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
class SearchResults {
  public:
    SearchResults() = default;
    DIRCLIENT_API ~SearchResults();  // deletes every entry and exception
    SearchResults(const SearchResults&) = delete;
    SearchResults& operator=(const SearchResults&) = delete;

    // Append and take over; false for null.
    DIRCLIENT_API bool addEntry(DEntry* entry);
    DIRCLIENT_API bool addException(DException* exception);

    // The first / next element that is an entry, skipping exceptions; null at the end.
    DIRCLIENT_API DEntry* first();
    DIRCLIENT_API DEntry* next();
    // Elements of either kind (check DElement::getType()).
    DIRCLIENT_API DElement* firstElement();
    DIRCLIENT_API DElement* getFirstElement();
    DIRCLIENT_API DElement* nextElement();
    DIRCLIENT_API DElement* getNextElement();
    DIRCLIENT_API DElement* getElement();
    DIRCLIENT_API DElement* getPreviousElement();
    DIRCLIENT_API DElement* getLastElement();
    DIRCLIENT_API DListItem* getFirstElementItem();
    DIRCLIENT_API DListItem* getNextElementItem();
    DIRCLIENT_API DListItem* getPreviousElementItem();
    DIRCLIENT_API DListItem* getLastElementItem();
    // Whether an element follows the cursor; the cursor stays.
    DIRCLIENT_API bool hasMoreElements() const;
    DIRCLIENT_API int size() const;  // entries and exceptions together

    DList* getValues() const { return values_; }
    DIRCLIENT_API bool setValues(DList* values);  // takes the list over; the old one is deleted
    DIRCLIENT_API bool resetToBegin();
    DIRCLIENT_API bool resetToEnd();

    // Orders the entries so that no entry is greater (comparator->isGreater(a, b, false))
    // than one after it. Stable: entries that compare equal keep their order. Exceptions
    // keep their positions. O(n log n) comparisons; the cursor ends on the last item.
    DIRCLIENT_API void sort(EntryComparator* comparator);

    // Text dumps; the caller releases the result with check_free.
    DIRCLIENT_API char* ToString();
    DIRCLIENT_API char* ToString(int indent, bool compact);

  private:
    DList* values_ = nullptr;
};

#endif
