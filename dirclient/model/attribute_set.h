#ifndef DIRCLIENT_ATTRIBUTE_SET_H
#define DIRCLIENT_ATTRIBUTE_SET_H

#include "dirclient_export.h"

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
    DIRCLIENT_API ~AttributeSet();  // deletes every attribute
    AttributeSet(const AttributeSet&) = delete;
    AttributeSet& operator=(const AttributeSet&) = delete;

    // Append and take over the attribute. False for null and when the set already holds an
    // attribute of that name: the caller then keeps the attribute.
    DIRCLIENT_API bool add(Attribute* attribute);
    DIRCLIENT_API bool addAttribute(Attribute* attribute);

    // The first attribute of that name (ignoring case), with the cursor left on it; null for
    // a null name or when there is none. Attributes without a name are never found.
    DIRCLIENT_API Attribute* getAttribute(const char* name);
    DIRCLIENT_API Attribute* getBaseAttribute(const char* name);
    DIRCLIENT_API bool remove(
        const char* name);  // delete the attribute found by getAttribute(name)

    DIRCLIENT_API Attribute* elementAt(int pos);  // null when out of range
    DIRCLIENT_API bool removeElementAt(int pos);
    DIRCLIENT_API bool removeIt();  // delete the attribute under the cursor
    DIRCLIENT_API int size() const;

    DList* getAttributes() const { return values_; }
    DList* getValues() const { return values_; }
    DIRCLIENT_API bool setValues(DList* values);  // takes the list over; the old one is deleted

    // Cursor operations of the list; null (or false) without a list.
    DIRCLIENT_API Attribute* getAttribute();
    DIRCLIENT_API Attribute* getFirstAttribute();
    DIRCLIENT_API Attribute* getNextAttribute();
    DIRCLIENT_API Attribute* getPreviousAttribute();
    DIRCLIENT_API Attribute* getLastAttribute();
    DIRCLIENT_API DListItem* getFirstAttributeItem();
    DIRCLIENT_API DListItem* getNextAttributeItem();
    DIRCLIENT_API DListItem* getPreviousAttributeItem();
    DIRCLIENT_API DListItem* getLastAttributeItem();
    DIRCLIENT_API bool resetToBegin();
    DIRCLIENT_API bool resetToEnd();

    // Text dumps; the caller releases the result with check_free.
    DIRCLIENT_API char* ToString();
    DIRCLIENT_API char* ToString(int indent, bool compact);

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
