#ifndef DIRCLIENT_FFMATCHING_H
#define DIRCLIENT_FFMATCHING_H

// Internal: the parts of flat-file operations that depend on the LDAP matching mode
// (FF_MATCH_LDAP): filters parsed as RFC 4515 and values compared by the rules of the
// process's schema.

#include <optional>
#include <string>

#include "ldap_filter.h"

class Attribute;
class DEntry;
class DListItem;

namespace ffmatching {

// The filter for text, or null with a static description of why it was refused.
const char* parseFilter(const std::string& text, std::optional<dirschema::LdapFilter>& out);

// Position of the first value of held equal to given under the equality rule of held's
// attribute type (bytes compared where there is no rule); -1 when there is none.
int findEqual(Attribute* held, DListItem* given);

// Whether entry holds given as a value of attribute (or of a subtype).
dirschema::Truth holds(DEntry* entry, const char* attribute, DListItem* given);

}  // namespace ffmatching

#endif
