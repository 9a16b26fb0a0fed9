#include "dn_normalize.h"

#include <cctype>
#include <cstring>

#include "object_memory.h"

// DN syntax: RFC 4514 (attribute type, '=', value; RDNs separated by ',', with ';' accepted
// on input; '+' joins the parts of a multi-valued RDN; '\' escapes a character or, with two
// hex digits, a byte; values may be quoted). Each byte of a value comes out in one spelling,
// so that "a\2C b", "a\2c b" and "a\, b" compare equal.

namespace {

enum class State {
    kBeforeType,
    kInType,
    kBeforeEquals,
    kBeforeValue,
    kInValue,
    kInQuoted,
    kBeforeSeparator
};

bool is_space(char c) {
    return c == ' ' || c == '\n';
}
bool is_separator(char c) {
    return c == ',' || c == ';' || c == '+';
}
// Characters whose escape carries meaning inside a value and is therefore kept; '=', '<'
// and '>' keep theirs because servers refuse them unescaped.
bool keeps_escape(char c) {
    return c == '\\' || c == '"' || c == '=' || c == '<' || c == '>' || is_separator(c);
}

// Rewrites text in place: every input character yields at most one output character, so
// the writer never overtakes the reader.
class Normalizer {
  public:
    explicit Normalizer(char* text) : text_(text) {}

    void run() {
        bool escaped = false;  // previous character was a backslash that escapes this one
        for (std::size_t in = 0; text_[in] != '\0'; ++in) {
            const char c = text_[in];
            if (!escaped) {
                step(c, false);
                escaped = c == '\\';
                continue;
            }
            escaped = false;
            const int byte = inValue() ? dn_hex_pair(text_ + in) : -1;
            if (byte < 0) {
                step(c, true);
                continue;
            }
            // A hex pair stands for one byte, which then goes the way that byte goes; a NUL
            // cannot stand in the text and keeps its pair.
            ++in;
            if (byte == 0) {
                put('0');
                put('0');
            } else {
                step(static_cast<char>(byte), true);
            }
        }
        if (state_ == State::kInValue) escapeTrailingBlank();
        text_[out_] = '\0';
    }

  private:
    void put(char c) { text_[out_++] = c; }

    // Replace the escaping backslash just written by the character it escaped.
    void unescape(char c) {
        if (out_ > 0 && text_[out_ - 1] == '\\')
            text_[out_ - 1] = c;
        else
            put(c);
    }

    bool inValue() const { return state_ == State::kInValue || state_ == State::kInQuoted; }

    // An escaped blank that ends the value keeps its escape; one inside the value does not
    // need it. The escape dropped when the blank was read is put back here: it took at
    // least two input characters, so the writer still stays behind the reader.
    void escapeTrailingBlank() {
        if (escaped_blank_ == 0 || out_ != escaped_blank_ + 1) return;
        text_[out_] = text_[out_ - 1];
        text_[out_ - 1] = '\\';
        ++out_;
    }

    void end_value(char separator) {
        while (out_ > kept_ && is_space(text_[out_ - 1]))
            --out_;
        escapeTrailingBlank();
        escaped_blank_ = 0;
        put(separator == '+' ? '+' : ',');
        state_ = State::kBeforeType;
    }

    void step(char c, bool escaped) {
        switch (state_) {
            case State::kBeforeType:
                if (!is_space(c)) {
                    put(c);
                    state_ = State::kInType;
                }
                break;
            case State::kInType:
            case State::kBeforeEquals:
                if (c == '=') {
                    put(c);
                    state_ = State::kBeforeValue;
                } else if (is_space(c)) {
                    state_ = State::kBeforeEquals;
                } else {
                    put(c);
                }
                break;
            case State::kBeforeValue:
                if (is_space(c)) break;
                value_start_ = out_;
                escaped_blank_ = 0;
                put(c);
                state_ = c == '"' ? State::kInQuoted : State::kInValue;
                break;
            case State::kInValue:
                in_value(c, escaped);
                break;
            case State::kInQuoted:
                if (c == '"' && !escaped) {
                    put(c);
                    state_ = State::kBeforeSeparator;
                } else if (escaped && c != '\\' && c != '"') {
                    unescape(c);
                } else {
                    put(c);
                }
                break;
            case State::kBeforeSeparator:
                if (is_separator(c)) {
                    put(c);
                    state_ = State::kBeforeType;
                }
                break;
        }
    }

    void in_value(char c, bool escaped) {
        if (is_separator(c) && !escaped) {
            end_value(c);
        } else if (escaped && !keeps_escape(c)) {
            // A leading blank or '#' must stay escaped, or the next pass would drop it or
            // read a hex string.
            if ((is_space(c) || c == '#') && out_ == value_start_ + 1) {
                put(c);
                kept_ = out_;
            } else {
                unescape(c);
                if (is_space(c)) {
                    kept_ = out_;
                    escaped_blank_ = out_ - 1;
                }
            }
        } else {
            put(c);
            if (escaped) kept_ = out_;
        }
    }

    char* text_;
    std::size_t out_ = 0;
    std::size_t kept_ = 0;  // trailing blanks are trimmed down to here, never further
    std::size_t value_start_ = 0;
    std::size_t escaped_blank_ = 0;  // output position of the last escaped blank, 0 for none
    State state_ = State::kBeforeType;
};

}  // namespace

int dn_hex_pair(const char* text) {
    auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    const int high = digit(text[0]);
    const int low = high < 0 ? -1 : digit(text[1]);
    return low < 0 ? -1 : high * 16 + low;
}

char* dn_normalize(const char* dn) {
    char* text = strcopy(dn);
    if (text != nullptr) Normalizer(text).run();
    return text;
}

char* dn_normalize_case(const char* dn) {
    char* text = dn_normalize(dn);
    if (text == nullptr) return nullptr;
    for (char* p = text; *p != '\0'; ++p)
        *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    return text;
}
