#ifndef DIRCLIENT_ATTRIBUTE_SET_H
#define DIRCLIENT_ATTRIBUTE_SET_H

#include <cstddef>
#include <memory>

#include "attribute.h"
#include "dlist.h"
#include "object_memory.h"

// The attributes of an entry, at most one per name (names compared ignoring case), kept in
// a DList of type 6 items. The set owns the attributes added to it. A large set keeps an
// index of its names, checked against the list before each use and rebuilt when the list
// changed; the names of attributes held in the set are not changed in place.
class AttributeSet : public ObjectMemory {
  public:
    AttributeSet() = default;
    ~AttributeSet();  // deletes every attribute
    AttributeSet(const AttributeSet&) = delete;
    AttributeSet& operator=(const AttributeSet&) = delete;

    // Append and take over the attribute. False for null and when the set already holds an
    // attribute of that name: the caller then keeps the attribute.
    bool add(Attribute* attribute);
    bool addAttribute(Attribute* attribute);

    // The first attribute of that name (ignoring case), with the cursor left on it; null for
    // a null name or when there is none. Attributes without a name are never found.
    Attribute* getAttribute(const char* name);
    Attribute* getBaseAttribute(const char* name);
    bool remove(const char* name);  // delete the attribute found by getAttribute(name)

    Attribute* elementAt(int pos);  // null when out of range
    bool removeElementAt(int pos);
    bool removeIt();  // delete the attribute under the cursor
    int size() const;

    DList* getAttributes() const { return values_; }
    DList* getValues() const { return values_; }
    bool setValues(DList* values);  // takes the list over; the old one is deleted

    // Cursor operations of the list; null (or false) without a list.
    Attribute* getAttribute();
    Attribute* getFirstAttribute();
    Attribute* getNextAttribute();
    Attribute* getPreviousAttribute();
    Attribute* getLastAttribute();
    DListItem* getFirstAttributeItem();
    DListItem* getNextAttributeItem();
    DListItem* getPreviousAttributeItem();
    DListItem* getLastAttributeItem();
    bool resetToBegin();
    bool resetToEnd();

    // Text dumps; the caller releases the result with check_free.
    char* ToString();
    char* ToString(int indent, bool compact);

  private:
    class NameIndex;
    struct DropIndex {
        void operator()(NameIndex* index) const;
    };

    // The index of the current list, or null for a set small enough to scan.
    NameIndex* index();
    DListItem* findItem(const char* name);

    DList* values_ = nullptr;
    std::unique_ptr<NameIndex, DropIndex> index_;
};

#endif
