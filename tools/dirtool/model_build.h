#ifndef DIRTOOL_MODEL_BUILD_H
#define DIRTOOL_MODEL_BUILD_H

// LDIF records as objects of the directory model, ready for DConnection.

#include <vector>

#include "ldif_reader.h"

class DEntry;
class ModificationSet;

namespace dirtool {

// A new entry with the record's DN and attributes, released with delete. Values are
// strings, except those holding a NUL byte, which only a binary value can carry.
DEntry* make_entry(const LdifRecord& record);

// A new set of the modifications in order, released with delete.
ModificationSet* make_modification_set(const std::vector<LdifModification>& modifications);

}  // namespace dirtool

#endif
