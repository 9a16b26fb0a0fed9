#ifndef DIRCLIENT_MODIFICATION_SET_H
#define DIRCLIENT_MODIFICATION_SET_H

#include "dirclient_export.h"

#include "attribute.h"
#include "dlist.h"
#include "modification.h"

// The ordered changes of one modify request. Items of type 7 are owned and deleted with the
// set; items of type 0 are only referred to. Allocated with the ordinary new.
class ModificationSet {
  public:
    ModificationSet() = default;
    DIRCLIENT_API ~ModificationSet();  // deletes the owned modifications
    ModificationSet(const ModificationSet&) = delete;
    ModificationSet& operator=(const ModificationSet&) = delete;

    // Append a new Modification(op, attribute); the attribute is taken over.
    DIRCLIENT_API bool add(int op, Attribute* attribute);
    // Append modification with type 7 (the set takes it over) or 0 (the set refers to it,
    // the caller keeps it). False for null and for any other type code.
    DIRCLIENT_API bool addModification(Modification* modification, int type);

    DIRCLIENT_API Modification* elementAt(int pos);  // null when out of range
    // Delete every modification whose attribute is named name (ignoring case); true when
    // at least one went.
    DIRCLIENT_API bool remove(const char* name);
    DIRCLIENT_API bool removeElementAt(int pos);
    DIRCLIENT_API int size() const;

    DList* getValues() const { return values_; }
    DIRCLIENT_API bool setValues(DList* values);  // takes the list over; the old one is deleted

    // Cursor operations of the list; null (or false) without a list.
    DIRCLIENT_API Modification* getModification();
    DIRCLIENT_API Modification* getFirstModification();
    DIRCLIENT_API Modification* getNextModification();
    DIRCLIENT_API Modification* getPreviousModification();
    DIRCLIENT_API Modification* getLastModification();
    DIRCLIENT_API DListItem* getFirstModificationItem();
    DIRCLIENT_API DListItem* getNextModificationItem();
    DIRCLIENT_API DListItem* getPreviousModificationItem();
    DIRCLIENT_API DListItem* getLastModificationItem();
    // The same moves, returning the attribute of the modification reached (null when the
    // move fails or the modification has no attribute).
    DIRCLIENT_API Attribute* getAttribute();
    DIRCLIENT_API Attribute* getFirstAttribute();
    DIRCLIENT_API Attribute* getNextAttribute();
    DIRCLIENT_API Attribute* getPreviousAttribute();
    DIRCLIENT_API Attribute* getLastAttribute();
    DIRCLIENT_API bool resetToBegin();
    DIRCLIENT_API bool resetToEnd();

    // Text dumps; the caller releases the result with check_free.
    DIRCLIENT_API char* ToString();
    DIRCLIENT_API char* ToString(int indent, bool compact);

  private:
    DList* values_ = nullptr;
};

#endif
