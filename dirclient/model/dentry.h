#ifndef DIRCLIENT_DENTRY_H
#define DIRCLIENT_DENTRY_H

#include "dirclient_export.h"

#include <cstddef>

#include "attribute.h"
#include "attribute_set.h"
#include "delement.h"
#include "object_memory.h"
#include "owned_text.h"

// A directory entry: a distinguished name and its attributes. The DN is stored as given
// (normalise it with dn_normalize before comparing); the entry owns the DN and the set.
class DEntry : public DElement, public ObjectMemory {
  public:
    DIRCLIENT_API DEntry();
    DIRCLIENT_API explicit DEntry(const char* dn);            // copies dn
    DIRCLIENT_API DEntry(const char* dn, AttributeSet* set);  // copies dn, takes set over
    DIRCLIENT_API ~DEntry();  // releases the DN and deletes the set with its attributes
    DEntry(const DEntry&) = delete;
    DEntry& operator=(const DEntry&) = delete;

    const char* getDN() const { return dn_.get(); }
    DIRCLIENT_API bool setDN(const char* dn);  // stores a copy, releasing the old DN

    // Take the attribute over, creating the set when needed. False for null and when the
    // entry already has an attribute of that name (ignoring case): the caller keeps it.
    DIRCLIENT_API bool addAttribute(Attribute* attribute);
    // The attribute of that name (ignoring case), cursor left on it; null when none.
    DIRCLIENT_API Attribute* getAttribute(const char* name);
    DIRCLIENT_API Attribute* getBaseAttribute(const char* name);

    AttributeSet* getAttributeSet() const { return values_; }
    AttributeSet* getValues() const { return values_; }
    DIRCLIENT_API bool setValues(AttributeSet* set);  // takes set over; the old set is deleted
    DIRCLIENT_API int size() const;

    // Cursor operations of the attribute set; null (or false) without a set.
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
    OwnedText dn_;
    AttributeSet* values_ = nullptr;
};

#endif
