#ifndef DIRCLIENT_ENTRY_COMPARATOR_H
#define DIRCLIENT_ENTRY_COMPARATOR_H

#include "dirclient_export.h"

#include "dentry.h"
#include "dexception.h"
#include "dlist.h"

// The ordering predicate of SearchResults::sort: whether entry a sorts after entry b.
// Applications may derive their own; the virtual functions keep this slot order.
class DIRCLIENT_API EntryComparator {
  public:
    // isGreater(a, b, true).
    virtual bool isGreater(DEntry* a, DEntry* b) = 0;
    // Text dump, released by the caller with check_free.
    virtual char* ToString() = 0;
    // True when a sorts after b; ifEqual is the answer for entries that compare equal.
    virtual bool isGreater(DEntry* a, DEntry* b, bool ifEqual) = 0;
    // Declared last so that the three slots above come first.
    virtual ~EntryComparator() = default;

    char* ToString(int indent, bool compact);
};

// Orders entries by one attribute (attrName), by a list of attributes each with its own
// direction (attrList, orderList), or by distinguished name (attrName ""). Only the first
// value of each attribute counts (Attribute::attrcmp). Entries without the attribute sort
// before those that have it in ascending order. Allocated with the ordinary new.
class DIRCLIENT_API CompareAttrNames : public EntryComparator {
  public:
    // One attribute; name is referred to, not copied, and must outlive the comparator.
    explicit CompareAttrNames(const char* name);
    CompareAttrNames(const char* name, bool order);
    // Attribute names in priority order (type 5 items), taken over; all ascending.
    explicit CompareAttrNames(DList* names);
    // Names and one direction per name (type 1 items, true = ascending), both taken over.
    // When both lists are given with different sizes and exc is not null, *exc receives
    // error 612 ("ERROR: different size lists"); the comparator is built in any case, and
    // names beyond the last direction use getOrder(). Otherwise *exc is set to null.
    CompareAttrNames(DList* names, DList* orders, DException** exc);
    ~CompareAttrNames() override;  // deletes both lists
    CompareAttrNames(const CompareAttrNames&) = delete;
    CompareAttrNames& operator=(const CompareAttrNames&) = delete;

    const char* getAttrName() const { return attrName_; }
    bool setAttrName(const char* name);
    DList* getAttrList() const { return attrList_; }
    bool setAttrList(DList* names);  // takes it over; the old list is deleted
    DList* getOrderList() const { return orderList_; }
    bool setOrderList(DList* orders);  // takes it over; the old list is deleted
    bool getOrder() const { return order_; }
    bool setOrder(bool order);

    bool isGreater(DEntry* a, DEntry* b) override;
    char* ToString() override;
    bool isGreater(DEntry* a, DEntry* b, bool ifEqual) override;
    char* ToString(int indent, bool compact);

  private:
    bool firstDirection() const;
    bool byAttribute(DEntry* a, DEntry* b, bool ifEqual);
    bool byDN(DEntry* a, DEntry* b) const;
    bool byList(DEntry* a, DEntry* b, bool ifEqual);

    const char* attrName_ = nullptr;
    DList* attrList_ = nullptr;
    DList* orderList_ = nullptr;
    bool order_ = true;
};

#endif
