// RFC 4515 filter text to a tree of compiled comparisons, and its evaluation with the
// three-valued logic of RFC 4511.

#include "ldap_filter.h"

#include <cctype>
#include <vector>

#include "ldap_assertion.h"
#include "schema.h"

namespace dirschema {

struct LdapFilter::Node {
    enum Kind { kAnd, kOr, kNot, kItem } kind;
    std::vector<std::unique_ptr<Node>> children;
    std::unique_ptr<Assertion> assertion;

    Truth evaluate(const void* entry, EntryValues values) const {
        switch (kind) {
            case kItem:
                return assertion->evaluate(entry, values);
            case kNot: {
                Truth inner = children[0]->evaluate(entry, values);
                if (inner == Truth::kUndefined) return inner;
                return inner == Truth::kTrue ? Truth::kFalse : Truth::kTrue;
            }
            case kAnd:
            case kOr: {
                // An empty AND is true and an empty OR false (RFC 4526).
                Truth decisive = kind == kAnd ? Truth::kFalse : Truth::kTrue;
                Truth result = kind == kAnd ? Truth::kTrue : Truth::kFalse;
                for (const auto& child : children) {
                    Truth truth = child->evaluate(entry, values);
                    if (truth == decisive) return decisive;
                    if (truth == Truth::kUndefined) result = Truth::kUndefined;
                }
                return result;
            }
        }
        return Truth::kUndefined;
    }
};

namespace {

// Nesting beyond this is refused rather than risking the stack on hostile input.
constexpr int kMaxDepth = 256;

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

class Parser {
  public:
    Parser(std::string_view text, const Schema& schema) : text_(text), schema_(schema) {}

    std::unique_ptr<LdapFilter::Node> whole() {
        auto node = filter(0);
        skipBlanks();
        if (at_ != text_.size()) fail("unexpected text after the filter");
        return node;
    }

  private:
    [[noreturn]] void fail(const std::string& why) const {
        throw FilterError("invalid filter at position " + std::to_string(at_ + 1) + ": " + why);
    }

    void skipBlanks() {
        while (at_ < text_.size() && text_[at_] == ' ')
            ++at_;
    }

    char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }

    void expect(char c) {
        if (peek() != c) fail(std::string("'") + c + "' expected");
        ++at_;
    }

    std::unique_ptr<LdapFilter::Node> filter(int depth) {
        if (depth > kMaxDepth) fail("nested too deeply");
        skipBlanks();
        expect('(');
        skipBlanks();
        auto node = std::make_unique<LdapFilter::Node>();
        char c = peek();
        if (c == '&' || c == '|') {
            ++at_;
            node->kind = c == '&' ? LdapFilter::Node::kAnd : LdapFilter::Node::kOr;
            for (skipBlanks(); peek() == '('; skipBlanks())
                node->children.push_back(filter(depth + 1));
        } else if (c == '!') {
            ++at_;
            node->kind = LdapFilter::Node::kNot;
            node->children.push_back(filter(depth + 1));
        } else {
            node->kind = LdapFilter::Node::kItem;
            node->assertion = item();
        }
        skipBlanks();
        expect(')');
        return node;
    }

    std::unique_ptr<Assertion> item() {
        std::size_t start = at_;
        while (at_ < text_.size() &&
               (std::isalnum(static_cast<unsigned char>(text_[at_])) || text_[at_] == '-' ||
                text_[at_] == '.' || text_[at_] == ';')) {
            ++at_;
        }
        std::string_view description = text_.substr(start, at_ - start);
        if (peek() == ':') fail("extensible match filters are not supported");
        if (description.empty()) fail("attribute description expected");
        Operation op = Operation::kEqual;
        char c = peek();
        if ((c == '~' || c == '>' || c == '<') && at_ + 1 < text_.size() && text_[at_ + 1] == '=') {
            op = c == '~'   ? Operation::kApprox
                 : c == '>' ? Operation::kGreaterOrEqual
                            : Operation::kLessOrEqual;
            at_ += 2;
        } else if (c == '=') {
            ++at_;
        } else {
            fail("comparison operator expected");
        }
        SubstringsPattern pattern;
        std::vector<std::string> pieces = value();
        if (pieces.size() == 1) {
            return std::make_unique<Assertion>(op, description, pieces[0], pattern, schema_);
        }
        if (op != Operation::kEqual) fail("'*' is only allowed with '='");
        if (pieces.size() == 2 && pieces[0].empty() && pieces[1].empty()) {
            return std::make_unique<Assertion>(Operation::kPresent, description, "", pattern,
                                               schema_);
        }
        pattern.hasInitial = !pieces.front().empty();
        pattern.initial = pieces.front();
        pattern.hasFinal = !pieces.back().empty();
        pattern.final = pieces.back();
        pattern.any.assign(pieces.begin() + 1, pieces.end() - 1);
        return std::make_unique<Assertion>(Operation::kSubstrings, description, "", pattern,
                                           schema_);
    }

    // The assertion value up to ')', unescaped and cut at each unescaped '*'.
    std::vector<std::string> value() {
        std::vector<std::string> pieces(1);
        for (;;) {
            if (at_ >= text_.size()) fail("')' expected");
            char c = text_[at_];
            if (c == ')') return pieces;
            if (c == '(') fail("'(' in a value must be written \\28");
            ++at_;
            if (c == '*') {
                pieces.emplace_back();
            } else if (c != '\\') {
                pieces.back() += c;
            } else if (at_ + 1 < text_.size() && hexValue(text_[at_]) >= 0 &&
                       hexValue(text_[at_ + 1]) >= 0) {
                pieces.back() +=
                    static_cast<char>(hexValue(text_[at_]) * 16 + hexValue(text_[at_ + 1]));
                at_ += 2;
            } else if (at_ < text_.size() &&
                       std::string_view("*()\\").find(text_[at_]) != std::string_view::npos) {
                pieces.back() += text_[at_++];  // the older form: backslash and the character
            } else {
                fail("a backslash must be followed by two hex digits");
            }
        }
    }

    std::string_view text_;
    const Schema& schema_;
    std::size_t at_ = 0;
};

}  // namespace

LdapFilter::LdapFilter(std::unique_ptr<Node> root) : root_(std::move(root)) {}
LdapFilter::LdapFilter(LdapFilter&&) noexcept = default;
LdapFilter& LdapFilter::operator=(LdapFilter&&) noexcept = default;
LdapFilter::~LdapFilter() = default;

LdapFilter LdapFilter::parse(std::string_view text, const Schema& schema) {
    return LdapFilter(Parser(text, schema).whole());
}

LdapFilter LdapFilter::equality(std::string_view attribute, std::string_view value,
                                const Schema& schema) {
    auto node = std::make_unique<Node>();
    node->kind = Node::kItem;
    node->assertion = std::make_unique<Assertion>(Operation::kEqual, attribute, value,
                                                  SubstringsPattern{}, schema);
    return LdapFilter(std::move(node));
}

Truth LdapFilter::evaluate(const void* entry, EntryValues values) const {
    return root_->evaluate(entry, values);
}

bool equalValues(std::string_view attribute, std::string_view a, std::string_view b,
                 const Schema& schema) {
    std::size_t semicolon = attribute.find(';');
    const AttributeType* type = schema.attribute(std::string(attribute.substr(0, semicolon)));
    Rule rule = type != nullptr ? ruleNamed(Schema::equalityOf(type)) : Rule::kNone;
    std::string na, nb;
    if (rule != Rule::kNone && normalize(rule, a, schema, na) && normalize(rule, b, schema, nb)) {
        return na == nb;
    }
    return a == b;
}

}  // namespace dirschema
