#ifndef DIRCLIENT_MATCHING_RULES_H
#define DIRCLIENT_MATCHING_RULES_H

// The matching rules of LDAP attribute types (RFC 4517, with RFC 4518 string preparation
// simplified): each rule turns a value into a normalised form, after which equality is
// byte equality and ordering is the comparison the rule defines.

#include <string>
#include <string_view>

namespace dirschema {

class Schema;

enum class Rule {
    kNone,
    kCaseIgnore,
    kCaseExact,
    kCaseIgnoreIA5,
    kCaseExactIA5,
    kCaseIgnoreList,
    kTelephone,
    kNumericString,
    kInteger,
    kOctetString,
    kGeneralizedTime,
    kBoolean,
    kObjectIdentifier,
    kDistinguishedName,
    kUniqueMember,
    kBitString,
};

// The rule named by a matching rule name or OID (equality, ordering or substrings form,
// case ignored); kNone for rules this mode does not implement.
Rule ruleNamed(std::string_view name);

// Appends the normalised form of value under rule to out (cleared first). False when the
// value is not valid for the rule (the comparison is then Undefined). schema resolves
// names in DNs and OIDs.
bool normalize(Rule rule, std::string_view value, const Schema& schema, std::string& out);

// Normalisation of one piece of a substrings assertion (no validity check beyond what
// the rule's string preparation needs). A blank at either edge stays as one space: a
// server keeps it, except before the initial piece and after the final one.
void normalizePiece(Rule rule, std::string_view piece, std::string& out);
// Whether a substrings piece holds only characters the rule's syntax allows (a piece
// outside it makes the comparison Undefined).
bool validPiece(Rule rule, std::string_view piece);

// Orders two normalised values of rule: negative, 0 or positive.
int compareNormalized(Rule rule, const std::string& a, const std::string& b);

}  // namespace dirschema

#endif
