// Compiling and evaluating one filter comparison. An entry's attribute answers for a
// description when its type is the described type or a subtype of it and it carries
// every option of the description; a comparison of an unknown type, or one the type has
// no rule for, or with a value the rule refuses, is Undefined.

#include "ldap_assertion.h"

#include <cctype>

#include "approx_match.h"
#include "schema.h"
#include "text_fold.h"

namespace dirschema {

namespace {

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool sameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    }
    return true;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool keyChars(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') return false;
    }
    return true;
}

// A name (letter first) or a numeric OID.
bool attributeType(std::string_view text) {
    if (text.empty()) return false;
    if (std::isalpha(static_cast<unsigned char>(text[0]))) return keyChars(text);
    if (text.back() == '.' || text.find("..") != std::string_view::npos) return false;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.') return false;
    }
    return true;
}

}  // namespace

struct Assertion::Visit {
    const Assertion* assertion;
    bool hit;
    bool undefined;
};

Assertion::Assertion(Operation op, std::string_view description, std::string_view value,
                     const SubstringsPattern& pattern, const Schema& schema)
    : op_(op), schema_(schema) {
    std::size_t semicolon = description.find(';');
    std::string_view base = description.substr(0, semicolon);
    if (!attributeType(base)) {
        throw FilterError("invalid attribute description \"" + std::string(description) + "\"");
    }
    while (semicolon != std::string_view::npos) {
        std::size_t next = description.find(';', semicolon + 1);
        std::string_view option = description.substr(semicolon + 1, next - semicolon - 1);
        if (!keyChars(option)) {
            throw FilterError("invalid attribute option in \"" + std::string(description) + "\"");
        }
        options_.push_back(lower(option));
        semicolon = next;
    }
    type_ = schema.attribute(std::string(base));
    if (type_ == nullptr) return;
    for (const AttributeType* sub : schema.subtypesOf(type_)) {
        names_.push_back(lower(sub->oid));
        for (const std::string& name : sub->names)
            names_.push_back(lower(name));
    }
    for (const std::string& name : names_) {
        if (!name.empty()) firstLetters_.set(static_cast<unsigned char>(name[0]));
    }
    compile(value, pattern);
}

void Assertion::compile(std::string_view value, const SubstringsPattern& pattern) {
    if (op_ == Operation::kPresent) {
        decidable_ = true;
        return;
    }
    bool ordering = op_ == Operation::kGreaterOrEqual || op_ == Operation::kLessOrEqual;
    const std::string& ruleName = op_ == Operation::kSubstrings ? Schema::substrOf(type_)
                                  : ordering                    ? Schema::orderingOf(type_)
                                                                : Schema::equalityOf(type_);
    rule_ = ruleNamed(ruleName);
    if (rule_ == Rule::kNone) return;
    if (op_ == Operation::kSubstrings) {
        pattern_.hasInitial = pattern.hasInitial;
        pattern_.hasFinal = pattern.hasFinal;
        normalizePiece(rule_, pattern.initial, pattern_.initial);
        if (!pattern_.initial.empty() && pattern_.initial.front() == ' ') {
            pattern_.initial.erase(0, 1);
        }
        normalizePiece(rule_, pattern.final, pattern_.final);
        if (!pattern_.final.empty() && pattern_.final.back() == ' ') pattern_.final.pop_back();
        for (const std::string& piece : pattern.any) {
            std::string normalized;
            normalizePiece(rule_, piece, normalized);
            if (!normalized.empty()) pattern_.any.push_back(normalized);
        }
        decidable_ = validPiece(rule_, pattern.initial) && validPiece(rule_, pattern.final);
        for (const std::string& piece : pattern.any)
            decidable_ = decidable_ && validPiece(rule_, piece);
        return;
    }
    if (type_->oid == "2.5.4.0" && !ordering) {
        objectClass_ = schema_.objectClass(std::string(value));
    }
    decidable_ = normalize(rule_, value, schema_, value_);
    // Directory and IA5 strings compare approximately by sound; other rules by equality.
    phonetic_ = op_ == Operation::kApprox &&
                (rule_ == Rule::kCaseIgnore || rule_ == Rule::kCaseExact ||
                 rule_ == Rule::kCaseIgnoreIA5 || rule_ == Rule::kCaseExactIA5);
    raw_.assign(value);
}

bool Assertion::describes(std::string_view name) const {
    // Most attributes of an entry are others: their first letter tells.
    if (name.empty() || !firstLetters_.test(static_cast<unsigned char>(lowerAscii(name[0])))) {
        return false;
    }
    std::size_t semicolon = name.find(';');
    std::string_view base = name.substr(0, semicolon);
    bool known = false;
    for (const std::string& candidate : names_) {
        if (candidate.size() == base.size() && sameNoCase(base, candidate)) {
            known = true;
            break;
        }
    }
    if (!known) return false;
    for (const std::string& option : options_) {
        bool carried = false;
        for (std::size_t at = semicolon; at != std::string_view::npos && !carried;) {
            std::size_t next = name.find(';', at + 1);
            carried = sameNoCase(name.substr(at + 1, next - at - 1), option);
            at = next;
        }
        if (!carried) return false;
    }
    return true;
}

bool Assertion::substringsMatch(const std::string& value) const {
    std::size_t at = 0;
    if (pattern_.hasInitial) {
        if (value.compare(0, pattern_.initial.size(), pattern_.initial) != 0) return false;
        at = pattern_.initial.size();
    }
    for (const std::string& piece : pattern_.any) {
        std::size_t found = value.find(piece, at);
        if (found == std::string::npos) return false;
        at = found + piece.size();
    }
    if (!pattern_.hasFinal) return true;
    return value.size() >= at + pattern_.final.size() &&
           value.compare(value.size() - pattern_.final.size(), std::string::npos, pattern_.final) ==
               0;
}

Truth Assertion::compareValue(std::string_view value) const {
    if (op_ == Operation::kPresent) return Truth::kTrue;
    if (objectClass_ != nullptr) {
        if (const ObjectClass* held = schema_.objectClass(std::string(value))) {
            return Schema::inherits(held, objectClass_) ? Truth::kTrue : Truth::kFalse;
        }
    }
    // Reused across calls: a search normalises every value it looks at.
    static thread_local std::string normalized;
    if (phonetic_) {
        normalized.clear();
        prepareText(value, false, normalized);
        return approxMatch(normalized, raw_) ? Truth::kTrue : Truth::kFalse;
    }
    if (!normalize(rule_, value, schema_, normalized)) return Truth::kUndefined;
    bool result = false;
    switch (op_) {
        case Operation::kEqual:
        case Operation::kApprox:
            result = normalized == value_;
            break;
        case Operation::kGreaterOrEqual:
            result = compareNormalized(rule_, normalized, value_) >= 0;
            break;
        case Operation::kLessOrEqual:
            result = compareNormalized(rule_, normalized, value_) <= 0;
            break;
        case Operation::kSubstrings:
            result = substringsMatch(normalized);
            break;
        case Operation::kPresent:
            result = true;
            break;
    }
    return result ? Truth::kTrue : Truth::kFalse;
}

bool Assertion::wantsName(void* state, std::string_view name) {
    return static_cast<Visit*>(state)->assertion->describes(name);
}

bool Assertion::visitValue(void* state, std::string_view, std::string_view value) {
    auto* visit = static_cast<Visit*>(state);
    Truth truth = visit->assertion->compareValue(value);
    if (truth == Truth::kTrue) return visit->hit = true;
    if (truth == Truth::kUndefined) visit->undefined = true;
    return false;
}

Truth Assertion::evaluate(const void* entry, EntryValues values) const {
    if (!decidable_) return Truth::kUndefined;
    Visit visit{this, false, false};
    values(entry, wantsName, visitValue, &visit);
    if (visit.hit) return Truth::kTrue;
    return visit.undefined ? Truth::kUndefined : Truth::kFalse;
}

}  // namespace dirschema
