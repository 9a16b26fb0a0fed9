#ifndef DIRCLIENT_FFDN_H
#define DIRCLIENT_FFDN_H

// DN helpers of the flat-file directory (internal). DNs here are already normalised
// (dn_normalize); comparisons ignore the case of ASCII letters only, so that lookups do
// not depend on the application's locale. RDN boundaries follow RFC 4514: a ',' or ';'
// ends an RDN unless it is escaped with a backslash or inside a quoted value.

#include <cstddef>
#include <cstdint>
#include <string>

namespace ffdn {

// Length of the first RDN of dn (the whole text when it has a single RDN).
std::size_t rdnLength(const char* dn);

// The DN of the parent: the text after the first RDN and its separator, or null when dn
// has a single RDN.
const char* parentOf(const char* dn);

bool equalNoCase(const char* a, const char* b);

// Whether text begins with prefix, ASCII letters compared without case.
bool startsWithNoCase(const char* text, const char* prefix);

// Hash of the text with ASCII letters folded to upper case.
std::uint64_t hashNoCase(const char* text);

// Attribute type of an RDN (text before its first '='); empty when there is no '='.
std::string rdnType(const char* rdn, std::size_t length);

// Attribute value of an RDN: the text after its first '=', with quotes and escapes
// resolved ("a\,b" and "a\2Cb" give "a,b").
std::string rdnValue(const char* rdn, std::size_t length);

}  // namespace ffdn

#endif
