#ifndef DIRCLIENT_DELEMENT_H
#define DIRCLIENT_DELEMENT_H

#include "dirclient_export.h"

// Element types: search results hold entries and exceptions side by side and tell them
// apart by DElement::getType().
enum DElementType { DELEMENT_NONE = 0, DELEMENT_ENTRY = 1, DELEMENT_EXCEPTION = 2 };

// Base of DEntry (type 1) and DException (type 2). No virtual functions: code that holds a
// DElement* converts it by its type.
class DElement {
  public:
    DElement() = default;
    explicit DElement(int type) : type_(type) {}

    int getType() const { return type_; }
    bool setType(int type) {
        type_ = type;
        return true;
    }

    // Text dumps; the caller releases the result with check_free.
    DIRCLIENT_API char* ToString();
    DIRCLIENT_API char* ToString(int indent, bool compact);

  private:
    int type_ = DELEMENT_NONE;
};

#endif
