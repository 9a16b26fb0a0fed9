#include "ldap_filter_encoder.h"

#include <cctype>
#include <string>
#include <vector>

namespace dirclient::ldapaccess {

namespace {

// Context tags of the Filter choice (RFC 4511 section 4.5.1).
constexpr ber_tag_t kAnd = 0xA0;
constexpr ber_tag_t kOr = 0xA1;
constexpr ber_tag_t kNot = 0xA2;
constexpr ber_tag_t kEquality = 0xA3;
constexpr ber_tag_t kSubstrings = 0xA4;
constexpr ber_tag_t kGreaterOrEqual = 0xA5;
constexpr ber_tag_t kLessOrEqual = 0xA6;
constexpr ber_tag_t kPresent = 0x87;
constexpr ber_tag_t kApprox = 0xA8;
constexpr ber_tag_t kExtensible = 0xA9;
constexpr ber_tag_t kSubInitial = 0x80;
constexpr ber_tag_t kSubAny = 0x81;
constexpr ber_tag_t kSubFinal = 0x82;
constexpr ber_tag_t kRuleId = 0x81;
constexpr ber_tag_t kRuleType = 0x82;
constexpr ber_tag_t kRuleValue = 0x83;
constexpr ber_tag_t kRuleDnAttributes = 0x84;

constexpr int kMaxDepth = 256;  // bounds the recursion on hostile input

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One value piece with its escapes resolved: "\XX" is a byte; a backslash before any other
// character keeps that character (the older escaping that clients still send).
bool unescape(std::string_view text, std::string* out) {
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out->push_back(text[i]);
            continue;
        }
        if (i + 1 >= text.size()) return false;
        int hi = hex_digit(text[i + 1]);
        int lo = i + 2 < text.size() ? hex_digit(text[i + 2]) : -1;
        if (hi >= 0 && lo >= 0) {
            out->push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
        } else {
            out->push_back(text[i + 1]);
            i += 1;
        }
    }
    return true;
}

// Splits a value at its unescaped '*'.
std::vector<std::string_view> split_at_stars(std::string_view value) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\') {
            ++i;
        } else if (value[i] == '*') {
            pieces.push_back(value.substr(start, i - start));
            start = i + 1;
        }
    }
    pieces.push_back(value.substr(start));
    return pieces;
}

bool valid_description(std::string_view attr) {
    if (attr.empty()) return false;
    for (char c : attr) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != ';' &&
            c != '_')
            return false;
    }
    return true;
}

bool put_string(BerElement* ber, ber_tag_t tag, const std::string& s) {
    return ber_printf(ber, "to", tag, s.data(), static_cast<ber_len_t>(s.size())) != -1;
}

class FilterWriter {
  public:
    FilterWriter(BerElement* ber, std::string_view text) : ber_(ber), text_(text) {}

    bool write_whole() {
        if (!filter(0)) return false;
        return pos_ == text_.size();
    }

  private:
    // filter = "(" filtercomp ")"
    bool filter(int depth) {
        if (depth > kMaxDepth || !take('(')) return false;
        bool ok = false;
        if (pos_ < text_.size()) {
            switch (text_[pos_]) {
                case '&':
                    ++pos_;
                    ok = filter_set(kAnd, depth);
                    break;
                case '|':
                    ++pos_;
                    ok = filter_set(kOr, depth);
                    break;
                case '!':
                    ++pos_;
                    ok = negation(depth);
                    break;
                default:
                    ok = item();
                    break;
            }
        }
        return ok && take(')');
    }

    bool filter_set(ber_tag_t tag, int depth) {
        if (ber_printf(ber_, "t[", tag) == -1) return false;
        int count = 0;
        while (pos_ < text_.size() && text_[pos_] == '(') {
            if (!filter(depth + 1)) return false;
            ++count;
        }
        return count > 0 && ber_printf(ber_, "]") != -1;
    }

    bool negation(int depth) {
        return ber_printf(ber_, "t{", kNot) != -1 && filter(depth + 1) &&
               ber_printf(ber_, "}") != -1;
    }

    // item = simple / present / substring / extensible, up to the closing parenthesis.
    bool item() {
        size_t end = pos_;
        while (end < text_.size() && text_[end] != ')') {
            if (text_[end] == '\\') ++end;
            ++end;
        }
        if (end > text_.size()) return false;
        std::string_view whole = text_.substr(pos_, end - pos_);
        pos_ = end;
        size_t eq = whole.find('=');
        if (eq == std::string_view::npos || eq == 0) return false;
        std::string_view value = whole.substr(eq + 1);
        char before = whole[eq - 1];
        if (before == ':') return extensible(whole.substr(0, eq - 1), value);
        if (before == '~') return assertion(kApprox, whole.substr(0, eq - 1), value);
        if (before == '>') return assertion(kGreaterOrEqual, whole.substr(0, eq - 1), value);
        if (before == '<') return assertion(kLessOrEqual, whole.substr(0, eq - 1), value);
        return equality_or_substrings(whole.substr(0, eq), value);
    }

    bool assertion(ber_tag_t tag, std::string_view attr, std::string_view value) {
        std::string v;
        if (!valid_description(attr) || !unescape(value, &v)) return false;
        std::string a(attr);
        return ber_printf(ber_, "t{so}", tag, a.c_str(), v.data(),
                          static_cast<ber_len_t>(v.size())) != -1;
    }

    bool equality_or_substrings(std::string_view attr, std::string_view value) {
        if (!valid_description(attr)) return false;
        std::vector<std::string_view> pieces = split_at_stars(value);
        if (pieces.size() == 1) return assertion(kEquality, attr, value);
        std::string a(attr);
        if (pieces.size() == 2 && pieces[0].empty() && pieces[1].empty())
            return ber_printf(ber_, "ts", kPresent, a.c_str()) != -1;
        if (ber_printf(ber_, "t{s{", kSubstrings, a.c_str()) == -1) return false;
        std::string v;
        for (size_t i = 0; i < pieces.size(); ++i) {
            if (pieces[i].empty()) continue;
            ber_tag_t tag = i == 0 ? kSubInitial : i + 1 == pieces.size() ? kSubFinal : kSubAny;
            if (!unescape(pieces[i], &v) || !put_string(ber_, tag, v)) return false;
        }
        return ber_printf(ber_, "}}") != -1;
    }

    // extensible = attr [":dn"] [":" rule] ":=" value  /  [":dn"] ":" rule ":=" value
    bool extensible(std::string_view left, std::string_view value) {
        std::string attr, rule, v;
        bool dn_attributes = false;
        size_t colon = left.find(':');
        attr = std::string(left.substr(0, colon));
        while (colon != std::string_view::npos) {
            size_t next = left.find(':', colon + 1);
            std::string_view part =
                left.substr(colon + 1, next == std::string_view::npos ? std::string_view::npos
                                                                      : next - colon - 1);
            if (part.size() == 2 && std::tolower(static_cast<unsigned char>(part[0])) == 'd' &&
                std::tolower(static_cast<unsigned char>(part[1])) == 'n' && rule.empty() &&
                !dn_attributes) {
                dn_attributes = true;
            } else if (valid_description(part) && rule.empty()) {
                rule = std::string(part);
            } else {
                return false;
            }
            colon = next;
        }
        if ((attr.empty() && rule.empty()) || (!attr.empty() && !valid_description(attr)))
            return false;
        if (!unescape(value, &v) || ber_printf(ber_, "t{", kExtensible) == -1) return false;
        if (!rule.empty() && !put_string(ber_, kRuleId, rule)) return false;
        if (!attr.empty() && !put_string(ber_, kRuleType, attr)) return false;
        if (!put_string(ber_, kRuleValue, v)) return false;
        if (dn_attributes && ber_printf(ber_, "tb", kRuleDnAttributes, 1) == -1) return false;
        return ber_printf(ber_, "}") != -1;
    }

    bool take(char c) {
        if (pos_ >= text_.size() || text_[pos_] != c) return false;
        ++pos_;
        return true;
    }

    BerElement* ber_;
    std::string_view text_;
    size_t pos_ = 0;
};

}  // namespace

bool encode_filter(BerElement* ber, std::string_view filter) {
    while (!filter.empty() && std::isspace(static_cast<unsigned char>(filter.front())))
        filter.remove_prefix(1);
    while (!filter.empty() && std::isspace(static_cast<unsigned char>(filter.back())))
        filter.remove_suffix(1);
    if (filter.empty()) return false;
    if (filter.front() != '(') {
        std::string wrapped = "(" + std::string(filter) + ")";
        return FilterWriter(ber, wrapped).write_whole();
    }
    return FilterWriter(ber, filter).write_whole();
}

}  // namespace dirclient::ldapaccess
