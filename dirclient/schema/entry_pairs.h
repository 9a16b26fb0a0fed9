#ifndef DIRCLIENT_ENTRY_PAIRS_H
#define DIRCLIENT_ENTRY_PAIRS_H

// An entry as a list of name/value pairs, for evaluating LDAP filters without a store
// (tests, fuzzing). Each pair is one value; pairs of one attribute need not be adjacent.

#include <string>
#include <utility>
#include <vector>

#include "ldap_filter.h"

namespace dirschema {

using EntryPairs = std::vector<std::pair<std::string, std::string>>;

// Fits EntryValues for a const EntryPairs*.
inline bool entryPairValues(const void* entry, NameFilter wants, ValueVisitor visit, void* state) {
    for (const auto& [name, value] : *static_cast<const EntryPairs*>(entry)) {
        if (wants(state, name) && visit(state, name, value)) return true;
    }
    return false;
}

}  // namespace dirschema

#endif
