#ifndef DIRCLIENT_LDAP_ASSERTION_H
#define DIRCLIENT_LDAP_ASSERTION_H

// Internal: one comparison of an LDAP filter, compiled against the schema once (the
// attribute names that answer for the description, the rule, the normalised assertion)
// and then evaluated entry after entry.

#include <bitset>
#include <string>
#include <string_view>
#include <vector>

#include "ldap_filter.h"
#include "matching_rules.h"

namespace dirschema {

struct AttributeType;
struct ObjectClass;

enum class Operation { kEqual, kApprox, kGreaterOrEqual, kLessOrEqual, kPresent, kSubstrings };

struct SubstringsPattern {
    std::string initial;
    std::vector<std::string> any;
    std::string final;
    bool hasInitial = false, hasFinal = false;
};

class Assertion {
  public:
    // description is "type[;option...]"; value and pattern are unescaped. A description
    // that is not a valid attribute description throws FilterError.
    Assertion(Operation op, std::string_view description, std::string_view value,
              const SubstringsPattern& pattern, const Schema& schema);

    Truth evaluate(const void* entry, EntryValues values) const;

  private:
    struct Visit;
    static bool wantsName(void* state, std::string_view name);
    static bool visitValue(void* state, std::string_view name, std::string_view value);
    bool describes(std::string_view name) const;
    Truth compareValue(std::string_view value) const;
    bool substringsMatch(const std::string& value) const;
    void compile(std::string_view value, const SubstringsPattern& pattern);

    Operation op_;
    const Schema& schema_;
    const AttributeType* type_ = nullptr;  // null: unknown attribute
    std::vector<std::string> names_;       // lower-cased names and OIDs that answer
    std::bitset<256> firstLetters_;        // their first characters
    std::vector<std::string> options_;     // lower-cased options the value must carry
    Rule rule_ = Rule::kNone;
    bool decidable_ = false;     // false: Undefined (or false for presence) on every entry
    std::string value_;          // normalised assertion value
    bool phonetic_ = false;      // approximate matching by words (approx_match.h)
    std::string raw_;            // the assertion value as given
    SubstringsPattern pattern_;  // normalised pieces
    const ObjectClass* objectClass_ = nullptr;  // superclass matching of objectClass
};

}  // namespace dirschema

#endif
