#ifndef DIRCLIENT_MODIFICATION_SET_H
#define DIRCLIENT_MODIFICATION_SET_H

#include "dirclient_export.h"

#include "attribute.h"
#include "dlist.h"
#include "modification.h"

// The ordered changes of one modify request. Items of type 7 are owned and deleted with the
// set; items of type 0 are only referred to. Allocated with the ordinary new.
class DIRCLIENT_API ModificationSet {
  public:
    ModificationSet() = default;
    ~ModificationSet();  // deletes the owned modifications
    ModificationSet(const ModificationSet&) = delete;
    ModificationSet& operator=(const ModificationSet&) = delete;

    // Append a new Modification(op, attribute); the attribute is taken over.
    bool add(int op, Attribute* attribute);
    // Append modification with type 7 (the set takes it over) or 0 (the set refers to it,
    // the caller keeps it). False for null and for any other type code.
    bool addModification(Modification* modification, int type);

    Modification* elementAt(int pos);  // null when out of range
    // Delete every modification whose attribute is named name (ignoring case); true when
    // at least one went.
    bool remove(const char* name);
    bool removeElementAt(int pos);
    int size() const;

    DList* getValues() const { return values_; }
    bool setValues(DList* values);  // takes the list over; the old one is deleted

    // Cursor operations of the list; null (or false) without a list.
    Modification* getModification();
    Modification* getFirstModification();
    Modification* getNextModification();
    Modification* getPreviousModification();
    Modification* getLastModification();
    DListItem* getFirstModificationItem();
    DListItem* getNextModificationItem();
    DListItem* getPreviousModificationItem();
    DListItem* getLastModificationItem();
    // The same moves, returning the attribute of the modification reached (null when the
    // move fails or the modification has no attribute).
    Attribute* getAttribute();
    Attribute* getFirstAttribute();
    Attribute* getNextAttribute();
    Attribute* getPreviousAttribute();
    Attribute* getLastAttribute();
    bool resetToBegin();
    bool resetToEnd();

    // Text dumps; the caller releases the result with check_free.
    char* ToString();
    char* ToString(int indent, bool compact);

  private:
    DList* values_ = nullptr;
};

#endif
