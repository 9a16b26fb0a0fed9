#ifndef DIRCLIENT_DENTRY_H
#define DIRCLIENT_DENTRY_H

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
    DEntry();
    explicit DEntry(const char* dn);            // copies dn
    DEntry(const char* dn, AttributeSet* set);  // copies dn, takes set over
    ~DEntry();  // releases the DN and deletes the set with its attributes
    DEntry(const DEntry&) = delete;
    DEntry& operator=(const DEntry&) = delete;

    const char* getDN() const { return dn_.get(); }
    bool setDN(const char* dn);  // stores a copy, releasing the old DN

    // Take the attribute over, creating the set when needed. False for null and when the
    // entry already has an attribute of that name (ignoring case): the caller keeps it.
    bool addAttribute(Attribute* attribute);
    // The attribute of that name (ignoring case), cursor left on it; null when none.
    Attribute* getAttribute(const char* name);
    Attribute* getBaseAttribute(const char* name);

    AttributeSet* getAttributeSet() const { return values_; }
    AttributeSet* getValues() const { return values_; }
    bool setValues(AttributeSet* set);  // takes set over; the old set is deleted
    int size() const;

    // Cursor operations of the attribute set; null (or false) without a set.
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
    OwnedText dn_;
    AttributeSet* values_ = nullptr;
};

#endif
