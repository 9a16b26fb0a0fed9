#ifndef DIRTOOL_LDIF_READER_H
#define DIRTOOL_LDIF_READER_H

// Reading LDIF records (RFC 2849): entries ("content records") and change records, on the
// runtime's line codec. Values are raw bytes; base64 values are decoded and values written
// "name:< file:///path" are read from that file.

#include <stdexcept>
#include <string>
#include <vector>

namespace dirtool {

enum class ChangeType { kNone, kAdd, kDelete, kModify, kModRdn };

struct LdifAttribute {
    std::string name;
    std::vector<std::string> values;
};

// "increment:" has no operation code in the directory model; it is resolved against the
// entry before the change is sent.
constexpr int kModIncrement = 3;

struct LdifModification {
    int op = 0;  // MOD_OP_ADD, MOD_OP_DELETE, MOD_OP_REPLACE (modification.h) or kModIncrement
    std::string attribute;
    // Never empty for ADD; one integer for kModIncrement; an empty REPLACE removes the
    // attribute, if present.
    std::vector<std::string> values;
};

struct LdifRecord {
    int line = 0;  // line of the "dn:" line, counted from 1
    std::string dn;
    ChangeType change = ChangeType::kNone;
    // kNone and kAdd: at least one attribute; lines of the same attribute (case ignored)
    // are gathered under its first spelling, in order of first appearance.
    std::vector<LdifAttribute> attributes;
    std::vector<LdifModification> modifications;  // kModify: at least one
    std::string new_rdn;                          // kModRdn
    bool delete_old_rdn = true;
    bool has_new_superior = false;
    std::string new_superior;
};

// A fault in LDIF text, with the number of the line it was found on.
class LdifError : public std::runtime_error {
  public:
    LdifError(int line, const std::string& message) : std::runtime_error(message), line_(line) {}
    int line() const { return line_; }

  private:
    int line_;
};

// Every record of text, in order; the "search:"/"result:" trailer of a search listing is
// skipped. Throws LdifError at the first fault: a line that is not
// "name: value", invalid base64, a record without "dn:", an entry without attributes, an
// unknown or misplaced change type, a NUL byte, a value file that cannot be read.
std::vector<LdifRecord> parse_ldif(const std::string& text);

// The modifications to apply to dn, read from text that holds either one whole
// "changetype: modify" record for dn or only its modification blocks ("replace: mail",
// "mail: ...", "-", ...). Throws LdifError, also when the record names another entry.
std::vector<LdifModification> parse_modify_input(const std::string& text, const std::string& dn);

// Whether name is an attribute description: letters, digits and '-' (or a dotted numeric
// OID), options after ';'.
bool is_attribute_name(const std::string& name);

}  // namespace dirtool

#endif
