// Reading schema files: statements of the slapd configuration text form, whose
// definitions follow the RFC 4512 grammar. A statement begins at a line that does not
// start with blank space and continues over the lines that do; '#' starts a comment line.

#include "schema.h"

#include <cctype>
#include <map>

namespace dirschema {

namespace {

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

struct Token {
    enum Kind { kWord, kQuoted, kOpen, kClose, kDollar, kEnd } kind;
    std::string text;
};

class Tokens {
  public:
    explicit Tokens(const std::string& text) : text_(text) {}

    Token next() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) {
            ++pos_;
        }
        if (pos_ >= text_.size()) return {Token::kEnd, ""};
        char c = text_[pos_];
        if (c == '(') return ++pos_, Token{Token::kOpen, "("};
        if (c == ')') return ++pos_, Token{Token::kClose, ")"};
        if (c == '$') return ++pos_, Token{Token::kDollar, "$"};
        if (c == '\'') {
            std::size_t end = text_.find('\'', pos_ + 1);
            if (end == std::string::npos) end = text_.size();
            Token t{Token::kQuoted, text_.substr(pos_ + 1, end - pos_ - 1)};
            pos_ = end + 1;
            return t;
        }
        std::size_t start = pos_;
        while (pos_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[pos_])) &&
               text_[pos_] != '(' && text_[pos_] != ')' && text_[pos_] != '$' &&
               text_[pos_] != '\'') {
            ++pos_;
        }
        return {Token::kWord, text_.substr(start, pos_ - start)};
    }

  private:
    const std::string& text_;
    std::size_t pos_ = 0;
};

// A definition that cannot be read; the message says why.
struct BadDefinition {
    std::string message;
};

}  // namespace

// Reads the statements of one text into a schema.
class SchemaReader {
  public:
    SchemaReader(Schema& schema, const std::string& file) : schema_(schema), file_(file) {}

    void read(const std::string& text) {
        std::string statement;
        int statementLine = 0;
        int line = 0;
        std::size_t pos = 0;
        while (pos <= text.size()) {
            std::size_t end = text.find('\n', pos);
            if (end == std::string::npos) end = text.size();
            std::string current = text.substr(pos, end - pos);
            pos = end + 1;
            ++line;
            if (!current.empty() && current.back() == '\r') current.pop_back();
            if (!current.empty() && current[0] == '#') continue;
            bool continuation = !current.empty() && (current[0] == ' ' || current[0] == '\t');
            if (continuation) {
                // Indented text with no statement before it is read as one, from here.
                if (statement.empty()) statementLine = line;
                statement += ' ';
                statement += current;
                continue;
            }
            statementDone(statement, statementLine);
            statement = current;
            statementLine = line;
        }
        statementDone(statement, statementLine);
    }

  private:
    void statementDone(const std::string& statement, int line) {
        if (statement.find_first_not_of(" \t") == std::string::npos) return;
        try {
            statementBody(statement);
        } catch (const BadDefinition& bad) {
            schema_.problems_.push_back({file_, line, bad.message});
        }
    }

    void statementBody(const std::string& statement) {
        std::size_t cut = statement.find_first_of(" \t(");
        std::string keyword = lower(statement.substr(0, cut));
        std::string rest = cut == std::string::npos ? "" : statement.substr(cut);
        if (keyword == "attributetype" || keyword == "attributetypes") {
            schema_.addAttribute(attributeType(rest));
        } else if (keyword == "objectclass" || keyword == "objectclasses") {
            schema_.addObjectClass(objectClass(rest));
        } else if (keyword == "objectidentifier") {
            Tokens tokens(rest);
            Token name = tokens.next();
            Token value = tokens.next();
            if (name.kind != Token::kWord || value.kind != Token::kWord) {
                throw BadDefinition{"objectidentifier needs a name and an OID"};
            }
            macros_[lower(name.text)] = expand(value.text);
        } else if (keyword == "ldapsyntax" || keyword == "ditcontentrule") {
            // Syntaxes and content rules play no part in matching.
        } else {
            throw BadDefinition{"unknown statement \"" + keyword + "\""};
        }
    }

    // "name:suffix" and bare macro names become OIDs.
    std::string expand(const std::string& oid) const {
        std::size_t colon = oid.find(':');
        std::string head = lower(oid.substr(0, colon));
        auto found = macros_.find(head);
        if (found == macros_.end()) return oid;
        if (colon == std::string::npos) return found->second;
        return found->second + "." + oid.substr(colon + 1);
    }

    // One name or a parenthesised list of names separated by '$' (or blanks).
    static std::vector<std::string> list(Tokens& tokens) {
        Token t = tokens.next();
        if (t.kind == Token::kWord || t.kind == Token::kQuoted) return {t.text};
        if (t.kind != Token::kOpen) throw BadDefinition{"a name or a list was expected"};
        std::vector<std::string> out;
        for (t = tokens.next(); t.kind != Token::kClose; t = tokens.next()) {
            if (t.kind == Token::kEnd) throw BadDefinition{"a list is not closed"};
            if (t.kind == Token::kWord || t.kind == Token::kQuoted) out.push_back(t.text);
        }
        return out;
    }

    static std::string single(Tokens& tokens, const std::string& keyword) {
        Token t = tokens.next();
        if (t.kind != Token::kWord && t.kind != Token::kQuoted) {
            throw BadDefinition{keyword + " needs a value"};
        }
        return t.text;
    }

    std::string opening(Tokens& tokens) const {
        if (tokens.next().kind != Token::kOpen) throw BadDefinition{"'(' expected"};
        Token oid = tokens.next();
        if (oid.kind != Token::kWord) throw BadDefinition{"an OID expected after '('"};
        return expand(oid.text);
    }

    // Keywords both kinds of definition share; false when keyword is none of them.
    static bool common(const std::string& keyword, Tokens& tokens,
                       std::vector<std::string>& names) {
        if (keyword == "NAME") {
            names = list(tokens);
        } else if (keyword == "DESC") {
            single(tokens, keyword);
        } else if (keyword == "OBSOLETE") {
        } else if (keyword.rfind("X-", 0) == 0) {
            list(tokens);
        } else {
            return false;
        }
        return true;
    }

    AttributeType attributeType(const std::string& text) const {
        Tokens tokens(text);
        AttributeType type;
        type.oid = opening(tokens);
        for (Token t = tokens.next(); t.kind != Token::kClose; t = tokens.next()) {
            if (t.kind == Token::kEnd) throw BadDefinition{"the definition is not closed"};
            if (t.kind != Token::kWord) throw BadDefinition{"unexpected \"" + t.text + "\""};
            const std::string& k = t.text;
            if (common(k, tokens, type.names)) continue;
            if (k == "SUP") {
                type.sup = single(tokens, k);
            } else if (k == "EQUALITY") {
                type.equality = single(tokens, k);
            } else if (k == "ORDERING") {
                type.ordering = single(tokens, k);
            } else if (k == "SUBSTR") {
                type.substr = single(tokens, k);
            } else if (k == "SYNTAX") {
                std::string syntax = single(tokens, k);
                type.syntax = expand(syntax.substr(0, syntax.find('{')));
            } else if (k == "SINGLE-VALUE") {
                type.singleValue = true;
            } else if (k == "USAGE") {
                single(tokens, k);
            } else if (k != "COLLECTIVE" && k != "NO-USER-MODIFICATION") {
                throw BadDefinition{"unknown keyword \"" + k + "\" in attributetype " + type.oid};
            }
        }
        return type;
    }

    ObjectClass objectClass(const std::string& text) const {
        Tokens tokens(text);
        ObjectClass cls;
        cls.oid = opening(tokens);
        for (Token t = tokens.next(); t.kind != Token::kClose; t = tokens.next()) {
            if (t.kind == Token::kEnd) throw BadDefinition{"the definition is not closed"};
            if (t.kind != Token::kWord) throw BadDefinition{"unexpected \"" + t.text + "\""};
            const std::string& k = t.text;
            if (common(k, tokens, cls.names)) continue;
            if (k == "SUP") {
                cls.sups = list(tokens);
            } else if (k == "MUST") {
                cls.must = list(tokens);
            } else if (k == "MAY") {
                cls.may = list(tokens);
            } else if (k != "ABSTRACT" && k != "STRUCTURAL" && k != "AUXILIARY") {
                throw BadDefinition{"unknown keyword \"" + k + "\" in objectclass " + cls.oid};
            }
        }
        return cls;
    }

    Schema& schema_;
    std::string file_;
    std::map<std::string, std::string> macros_;
};

void Schema::addText(const std::string& text, const std::string& file) {
    SchemaReader(*this, file).read(text);
}

}  // namespace dirschema
