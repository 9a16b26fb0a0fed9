#ifndef DIRCLIENT_LDAP_FILTER_H
#define DIRCLIENT_LDAP_FILTER_H

// Search filters evaluated as an LDAP server evaluates them: the text of RFC 4515 (hex
// escapes, attribute options, OIDs as names), each comparison by the matching rules of
// the attribute type in a schema, and the three-valued logic of RFC 4511 (a comparison
// the server cannot decide is Undefined, and so is its negation).

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace dirschema {

class Schema;

enum class Truth { kFalse, kTrue, kUndefined };

// A filter text that cannot be evaluated; what() says why in the user's terms.
class FilterError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// An entry as name/value pairs: values(entry, wants, visit, state) asks wants(state, name)
// once for each attribute (name as stored, options included) and, when it says yes,
// calls visit(state, name, value) for each of its values, until visit returns true;
// it returns whether visit did.
using NameFilter = bool (*)(void* state, std::string_view name);
using ValueVisitor = bool (*)(void* state, std::string_view name, std::string_view value);
using EntryValues = bool (*)(const void* entry, NameFilter wants, ValueVisitor visit, void* state);

class LdapFilter {
  public:
    // Parses a complete filter such as "(&(objectClass=person)(cn=J*))" against schema,
    // which must outlive the filter. Throws FilterError.
    static LdapFilter parse(std::string_view text, const Schema& schema);
    // The assertion "attribute=value" with value taken as it is (no escapes), as a
    // comparison or a value check needs it. Throws FilterError for a bad attribute.
    static LdapFilter equality(std::string_view attribute, std::string_view value,
                               const Schema& schema);

    LdapFilter(LdapFilter&&) noexcept;
    LdapFilter& operator=(LdapFilter&&) noexcept;
    ~LdapFilter();

    Truth evaluate(const void* entry, EntryValues values) const;
    // True only for kTrue: the entries a search returns.
    bool accepts(const void* entry, EntryValues values) const {
        return evaluate(entry, values) == Truth::kTrue;
    }

    struct Node;

  private:
    explicit LdapFilter(std::unique_ptr<Node> root);
    std::unique_ptr<Node> root_;
};

// Whether two values of the named attribute are equal under its equality rule; values
// the rule cannot compare (no rule, unknown attribute, invalid value) are equal when
// their bytes are.
bool equalValues(std::string_view attribute, std::string_view a, std::string_view b,
                 const Schema& schema);

}  // namespace dirschema

#endif
