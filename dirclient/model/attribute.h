#ifndef DIRCLIENT_ATTRIBUTE_H
#define DIRCLIENT_ATTRIBUTE_H

#include "dirclient_export.h"

#include <cstddef>

#include "dbinary.h"
#include "dlist.h"
#include "object_memory.h"
#include "owned_text.h"

// One named, multi-valued directory attribute. The values are items of a DList, so one
// attribute may hold strings (type 5), binary values (4), ints (2) and longs (3) side by
// side. Names are compared ignoring case; an attribute owns its name, its value list and
// the LDAP value array set with setBerVal.
class Attribute : public ObjectMemory {
  public:
    Attribute() = default;
    DIRCLIENT_API explicit Attribute(const char* name);
    // Takes the record over (it must be a tagged block with tagged bytes, as copy_binary_shared
    // makes); the attribute releases it.
    DIRCLIENT_API Attribute(const char* name, Dbinary* value);
    DIRCLIENT_API Attribute(const char* name, int value);
    DIRCLIENT_API Attribute(const char* name, const char* value);  // the value is copied
    DIRCLIENT_API Attribute(const char* name, long value);
    // Releases the name, the values and the LDAP value array.
    DIRCLIENT_API ~Attribute();
    Attribute(const Attribute&) = delete;
    Attribute& operator=(const Attribute&) = delete;

    // The name, null when none; getBaseName is the same (options are not split off).
    const char* getName() const { return name_.get(); }
    const char* getBaseName() const { return name_.get(); }
    DIRCLIENT_API bool setName(const char* name);  // stores a copy, releasing the old name

    DList* getValues() const { return values_; }
    DIRCLIENT_API bool setValues(DList* values);  // takes values over; the old list is deleted
    DIRCLIENT_API int size() const;

    // Append a copy of the value; the caller keeps its argument. A null text or record
    // appends an item without a value.
    DIRCLIENT_API bool addValue(const char* value);
    DIRCLIENT_API bool addValue(Dbinary* value);
    DIRCLIENT_API bool addValue(int value);
    DIRCLIENT_API bool addValue(long value);

    // Whether a value of exactly this type equals *value: numbers by value, strings
    // ignoring case, binary values byte for byte. value points at the number, at the
    // char* holding the text, or at the Dbinary. On a match the cursor rests on it.
    DIRCLIENT_API bool hasValue(int type, void* value);
    // Delete the first value of the matching type that equals the argument.
    DIRCLIENT_API bool removeValue(const char* value);
    DIRCLIENT_API bool removeValue(int value);
    DIRCLIENT_API bool removeValue(long value);
    DIRCLIENT_API bool removeValue(Dbinary* value);

    // New lists owned by the caller (release with delete), or null when no value has the
    // form: the values' text (type 5 items) or binary form (type 4 items), copied.
    DIRCLIENT_API DList* getStringValues();
    DIRCLIENT_API DList* getBinaryValues();
    // A new list (release with delete) referring to the attribute's own values of exactly
    // this type, or null when there is none. Its items are borrowed (type 0): releasing the
    // list leaves the values alone, and the list must not outlive them. The values are of
    // the type asked for: int* for getIntValues, long* for getLongValues.
    DIRCLIENT_API DList* getValuesOfType(int type);
    DList* getIntValues() { return getValuesOfType(DLIST_INT); }
    DList* getLongValues() { return getValuesOfType(DLIST_LONG); }
    // True when every value is a string, and when there are no values.
    DIRCLIENT_API bool hasOnlyStringValues() const;

    // The null-terminated array of LDAP struct berval pointers the values came from, owned
    // and released with the attribute. Setting does not release an array set before.
    void** getBerVal() const { return berVal_; }
    DIRCLIENT_API bool setBerVal(void** berVal);

    // Cursor operations of the value list; null (or false) without a list.
    DIRCLIENT_API DListItem* getFirstValueItem();
    DIRCLIENT_API DListItem* getNextValueItem();
    DIRCLIENT_API DListItem* getPreviousValueItem();
    DIRCLIENT_API DListItem* getLastValueItem();
    DIRCLIENT_API void* getValue();
    DIRCLIENT_API void* getFirstValue();
    DIRCLIENT_API void* getNextValue();
    DIRCLIENT_API void* getPreviousValue();
    DIRCLIENT_API void* getLastValue();
    DIRCLIENT_API bool resetToBegin();
    DIRCLIENT_API bool resetToEnd();

    // Compares the first values of the two attributes (both cursors move to the first
    // value): numbers numerically, texts ignoring case, anything else byte for byte with
    // numbers as their decimal text. Negative, 0 or positive; reversed when order is false;
    // 0 when either has no first value or a type outside 2..5.
    DIRCLIENT_API int attrcmp(Attribute* other, bool order);

    // Text dumps; the caller releases the result with check_free.
    DIRCLIENT_API char* ToString();
    DIRCLIENT_API char* ToString(int indent, bool compact);

  private:
    DList* valueList();  // created SHAR on first use
    bool removeMatch(int type, void* value);

    OwnedText name_;
    DList* values_ = nullptr;
    void** berVal_ = nullptr;
};

#endif
