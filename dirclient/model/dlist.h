#ifndef DIRCLIENT_DLIST_H
#define DIRCLIENT_DLIST_H

#include "dirclient_export.h"

#include <cstddef>

#include "dbinary.h"
#include "object_memory.h"

// Type codes of list items. The code decides how the value is shown, converted and
// released when the item lets go of it.
enum DListItemType {
    DLIST_BORROWED = 0,      // anything; never released, only forgotten
    DLIST_BOOL = 1,          // bool in its own tagged block
    DLIST_INT = 2,           // int in its own tagged block
    DLIST_LONG = 3,          // long (64 bits here) in its own tagged block
    DLIST_BINARY = 4,        // Dbinary: tagged record and tagged bytes
    DLIST_STRING = 5,        // NUL-terminated text in a tagged block
    DLIST_ATTRIBUTE = 6,     // Attribute, deleted with the item
    DLIST_MODIFICATION = 7,  // Modification, deleted with the item
    DLIST_ENTRY = 8,         // DEntry, deleted with the item
    DLIST_EXCEPTION = 9,     // DException, deleted with the item
    DLIST_ASYNVAL = 10       // pending asynchronous request record, a tagged block
};
// Codes outside 0..10 are carried along but never released.

// One node of a DList: a type code, a value owned according to that code, and the links.
// Items are tagged HEAP blocks; the list they belong to deletes them.
class DListItem : public ObjectMemory {
  public:
    DListItem() = default;
    DListItem(void* value, int type) : type_(type), value_(value) {}
    DIRCLIENT_API ~DListItem();  // releases the value by its type code
    DListItem(const DListItem&) = delete;
    DListItem& operator=(const DListItem&) = delete;

    int getType() const { return type_; }
    bool isType(int type) const { return type_ == type; }
    // Change the code only; the value is not touched.
    DIRCLIENT_API bool setType(int type);
    DIRCLIENT_API bool setItemType(int type);

    void* getValue() const { return value_; }
    void* getPointer() const { return value_; }
    // Release the current value by the current code, then keep value. Setting the value
    // already held changes nothing.
    DIRCLIENT_API bool setValue(void* value);
    DIRCLIENT_API bool setItemData(void* value);
    // Keep value without releasing the old one: resetValue(nullptr) detaches a value that
    // must outlive the item.
    DIRCLIENT_API bool resetValue(void* value);
    // Release the current value by the current code, then keep type and value.
    DIRCLIENT_API bool setItem(void* value, int type);
    // Release the value by its code and forget it.
    DIRCLIENT_API void freeValue();

    DListItem* getNextItem() const { return next_; }
    DListItem* getNext() const { return next_; }
    DListItem* getPreviousItem() const { return previous_; }
    DListItem* getPrevious() const { return previous_; }
    // Set one link only; the neighbour is not updated.
    DIRCLIENT_API bool setNextItem(DListItem* item);
    DIRCLIENT_API bool setNext(DListItem* item);
    DIRCLIENT_API bool setPreviousItem(DListItem* item);
    DIRCLIENT_API bool setPrevious(DListItem* item);

    // Exchange type and value with other (null: nothing); the links stay.
    DIRCLIENT_API void switchData(DListItem* other);

    // New check_malloc text of the value, or null: ints and longs in decimal, strings
    // copied, binary values without an inner NUL as text (empty for zero bytes); null for
    // other types, for a null value and for binary values with a NUL before the last byte.
    DIRCLIENT_API char* stringValue();
    // New Dbinary (SHAR record) of the value, or null: binary values copied (SHAR bytes),
    // ints, longs and strings as their text without terminator (strcopy bytes); null for
    // other types and null values. Release with free_binary.
    DIRCLIENT_API Dbinary* binaryValue();

    // Text dumps; the caller releases the result with check_free.
    DIRCLIENT_API char* ToString();
    DIRCLIENT_API char* ToString(int indent, bool compact);

  private:
    int type_ = DLIST_BORROWED;
    void* value_ = nullptr;
    DListItem* next_ = nullptr;
    DListItem* previous_ = nullptr;
};

// A doubly linked list of typed items with a cursor. The list owns its items and, through
// their type codes, their values.
//
// Iteration moves the cursor:
//   for (void* v = list->getFirstValue(); v != nullptr; v = list->getNextValue()) ...
// After an append to a non-empty list the cursor rests on the item before the new one, so
// getNextValue() returns the value just appended.
class DList : public ObjectMemory {
  public:
    DList() = default;
    DIRCLIENT_API ~DList();  // deletes every item, releasing the values
    DList(const DList&) = delete;
    DList& operator=(const DList&) = delete;

    // Append a new item. With copy set, a bool (type 1) and a string (type 5) are copied
    // into new check_malloc blocks; otherwise, and for every other type, the list takes
    // the pointer over.
    DIRCLIENT_API bool append(void* value, int type, bool copy);
    DIRCLIENT_API bool append_int(void* value, int type);  // append without copy
    // Append an existing item, which the list then owns. On an empty list the whole chain
    // the item belongs to is adopted (see setCursor); otherwise the item must be unlinked
    // and is linked after the tail. False (the caller keeps the item) for null and for a
    // linked item on a non-empty list.
    DIRCLIENT_API bool append(DListItem* item);
    // Insert a new item (value taken over) before position pos; the cursor stays on the
    // item that was at pos. False, with nothing allocated, when pos is not a position of
    // the list: inserting at the end is append.
    DIRCLIENT_API bool insertAt(int pos, void* value, int type);

    // Cursor to position pos (0-based; pos <= 0 is the head). False, cursor unchanged, on
    // an empty list or beyond the tail.
    DIRCLIENT_API bool goTo(int pos);
    // Position of the cursor, -1 for an empty list.
    DIRCLIENT_API int isPosition() const;
    // Delete the item under the cursor; the cursor moves to the following item, or to the
    // preceding one when the tail was removed. False on an empty list.
    DIRCLIENT_API bool removeIt();
    // Replace the whole content by the chain item belongs to, with the cursor on item; the
    // previous items are deleted (null empties the list). An item of this very list only
    // moves the cursor.
    DIRCLIENT_API bool setCursor(DListItem* item);
    // Cursor onto item, which the caller knows to be an item of this list (unchecked, so
    // that it costs no walk).
    void placeCursor(DListItem* item) { cursor_ = item; }

    DListItem* getCursor() const { return cursor_; }
    DListItem* getHead() const { return head_; }
    DListItem* getTail() const { return tail_; }
    int getSize() const { return size_; }
    int size() const { return size_; }
    // Store one field, nothing else: for code that relinks items itself.
    DIRCLIENT_API bool setHead(DListItem* item);
    DIRCLIENT_API bool setTail(DListItem* item);
    DIRCLIENT_API bool setSize(int size);

    DIRCLIENT_API DListItem* getFirstItem();  // cursor := head
    DIRCLIENT_API DListItem* getLastItem();   // cursor := tail
    // Step the cursor when there is a neighbour; else null with the cursor left in place.
    DIRCLIENT_API DListItem* getNextItem();
    DIRCLIENT_API DListItem* getPreviousItem();
    DIRCLIENT_API bool resetToBegin();
    DIRCLIENT_API bool resetToEnd();

    // Value of the cursor item, null for an empty list.
    DIRCLIENT_API void* getValue() const;
    // The matching *Item move, then the value of the cursor item; null when the move fails.
    DIRCLIENT_API void* getFirstValue();
    DIRCLIENT_API void* getLastValue();
    DIRCLIENT_API void* getNextValue();
    DIRCLIENT_API void* getPreviousValue();
    void* getFirst() { return getFirstValue(); }
    void* getLast() { return getLastValue(); }
    void* getNext() { return getNextValue(); }
    void* getPrevious() { return getPreviousValue(); }

    // Text dumps (the cursor ends on the tail); the caller releases the result with
    // check_free.
    DIRCLIENT_API char* ToString();
    DIRCLIENT_API char* ToString(int indent, bool compact);

  private:
    void deleteAll();

    DListItem* cursor_ = nullptr;
    DListItem* head_ = nullptr;
    DListItem* tail_ = nullptr;
    int size_ = 0;
};

#endif
