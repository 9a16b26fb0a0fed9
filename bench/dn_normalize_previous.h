#ifndef DIRCLIENT_BENCH_DN_NORMALIZE_PREVIOUS_H
#define DIRCLIENT_BENCH_DN_NORMALIZE_PREVIOUS_H

// The DN normaliser as it was before it read hex pairs, kept only so that the model
// benchmark can time the current one against it in the same run. Being inline here, it
// may be inlined into the loop, which can only favour it.

#include <cstddef>

#include <dirclient/object_memory.h>

namespace previous_dn {

enum class State {
    kBeforeType,
    kInType,
    kBeforeEquals,
    kBeforeValue,
    kInValue,
    kInQuoted,
    kBeforeSeparator
};

inline bool is_space(char c) {
    return c == ' ' || c == '\n';
}
inline bool is_separator(char c) {
    return c == ',' || c == ';' || c == '+';
}
// Characters whose escape carries meaning inside a value and is therefore kept.
inline bool keeps_escape(char c) {
    return c == '\\' || c == '"' || is_separator(c);
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
            step(c, escaped);
            escaped = c == '\\' && !escaped;
        }
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

    void end_value(char separator) {
        while (out_ > kept_ && is_space(text_[out_ - 1]))
            --out_;
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
            // A leading blank must stay escaped, or the next pass would drop it.
            if (is_space(c) && out_ == value_start_ + 1) {
                put(c);
                kept_ = out_;
            } else {
                unescape(c);
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
    State state_ = State::kBeforeType;
};

inline char* normalize(const char* dn) {
    char* text = strcopy(dn);
    if (text != nullptr) Normalizer(text).run();
    return text;
}

}  // namespace previous_dn

#endif
