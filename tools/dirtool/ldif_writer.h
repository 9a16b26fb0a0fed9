#ifndef DIRTOOL_LDIF_WRITER_H
#define DIRTOOL_LDIF_WRITER_H

// Entries of the directory model as LDIF text (RFC 2849), through the runtime's line codec:
// values that would not read back as plain text (binary bytes, non-ASCII text, leading or
// trailing blanks) come out in base64, and long lines are folded.

#include <cstddef>
#include <string>

class DEntry;

namespace dirtool {

// Appends "type: value" (or "type:: base64"), folded, ending with a line end.
void append_ldif_line(std::string& out, const char* type, const char* value, size_t length);

// Appends the entry as one LDIF record: the "dn:" line, one line per value of every
// attribute in order, then an empty line. Values of every kind are written in their binary
// form (strings without terminator, numbers in decimal); attributes without values and
// boolean values have no LDIF form and are left out.
void append_entry_ldif(std::string& out, DEntry* entry);

// Appends the entry's DN and the names of its attributes, one "name:" line each, without
// values (what a search for attribute names only prints).
void append_entry_names_ldif(std::string& out, DEntry* entry);

}  // namespace dirtool

#endif
