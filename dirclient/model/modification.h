#ifndef DIRCLIENT_MODIFICATION_H
#define DIRCLIENT_MODIFICATION_H

#include "dirclient_export.h"

#include "attribute.h"

// Operation codes of a modification (the LDAP modify operations).
enum ModificationOp { MOD_OP_ADD = 0, MOD_OP_DELETE = 1, MOD_OP_REPLACE = 2 };

// One change of an entry: an operation and the attribute holding the values to add, delete
// or put in place. Allocated with the ordinary new; owns its attribute.
class Modification {
  public:
    Modification() = default;  // REPLACE without attribute
    Modification(int op, Attribute* attribute) : op_(op), attribute_(attribute) {}
    DIRCLIENT_API ~Modification();  // deletes the attribute
    Modification(const Modification&) = delete;
    Modification& operator=(const Modification&) = delete;

    // Any int is kept; only 0, 1 and 2 are meaningful operations.
    int getOp() const { return op_; }
    DIRCLIENT_API bool setOp(int op);

    Attribute* getAttribute() const { return attribute_; }
    DIRCLIENT_API bool setAttribute(Attribute* attribute);  // takes it over; the old one is deleted

    // Text dumps; the caller releases the result with check_free.
    DIRCLIENT_API char* ToString();
    DIRCLIENT_API char* ToString(int indent, bool compact);

  private:
    int op_ = MOD_OP_REPLACE;
    Attribute* attribute_ = nullptr;
};

#endif
