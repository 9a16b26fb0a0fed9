// The word-oriented, case-insensitive wildcard matcher behind every filter comparison.
//
// The procedure is deliberately not a general glob: a match starts at a word start unless
// the pattern opens with '*', '*' does not backtrack, and the repeat count ("run") of the
// first matched character lets later pattern characters slip forward. Stored filters and
// applications depend on these exact results, so the steps are kept as they are, except
// where they broke their own word rules: an escape holds until its literal is matched, an
// empty word before a blank does not hide the next word, and an empty pattern matches only
// an empty value.

#include "dfilter.h"

#include <cstring>

namespace {

// Value reads past the end yield this, which equals no pattern character.
constexpr int kEnd = -1;

int upper(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
}

class Matcher {
  public:
    Matcher(const char* value, const char* pattern)
        : v_(value), n_(std::strlen(value)), pat_(pattern), m_(std::strlen(pattern)) {}

    bool run() {
        for (;;) {
            if (p_ >= m_) {
                if (i_ == n_ || at(i_) == ' ' || afterStar_) return true;
                if (run_ == 0) {
                    p_ = 0;
                    atWordStart_ = false;
                    inWord_ = false;
                } else {
                    for (size_t k = i_ + 1; k <= i_ + run_; ++k) {
                        if (k >= n_ || v_[k] == ' ') return true;
                    }
                    i_ += run_;
                    --p_;
                    escaped_ = escapedAt(p_);
                }
            }
            if (i_ > n_) return false;
            int c = (p_ < m_) ? upper(static_cast<unsigned char>(pat_[p_])) : 0;
            Step s = step(c);
            if (s == Step::kFail) return false;
        }
    }

  private:
    enum class Step { kContinue, kFail };

    int at(size_t k) const { return k < n_ ? upper(static_cast<unsigned char>(v_[k])) : kEnd; }
    bool atEnd() const { return i_ >= n_; }

    Step step(int c) {
        if (c == '?') {
            if (atEnd()) return Step::kFail;
            if (!escaped_) return anyChar();
        } else if (c == '\\') {
            if (atEnd()) return Step::kFail;
            if (!escaped_) {
                ++p_;
                escaped_ = true;
                return Step::kContinue;
            }
        } else if (c == '*') {
            if (!escaped_) {
                ++p_;
                inWord_ = false;
                afterStar_ = true;
                return Step::kContinue;
            }
        }
        // An escaped literal stays escaped until it is matched or the pattern restarts: a
        // failed search for it must not turn it back into a wildcard.
        return inWord_ ? continueWord(c) : findStart(c);
    }

    // Whether the pattern character at p is escaped: an odd run of backslashes before it.
    bool escapedAt(size_t p) const {
        size_t count = 0;
        while (count < p && pat_[p - 1 - count] == '\\')
            ++count;
        return count % 2 == 1;
    }

    // Moves i past the next blank; false when the value ends first.
    bool skipPastBlank() {
        bool passed = false;
        while (i_ < n_ && v_[i_] != ' ') {
            ++i_;
            passed = true;
        }
        if (i_ >= n_) return false;
        ++i_;
        if (passed) atWordStart_ = true;
        return true;
    }

    Step anyChar() {
        if (!afterStar_ && !atWordStart_ && !inWord_) {
            if (!skipPastBlank()) return Step::kFail;
        }
        if (atEnd()) return Step::kFail;
        char ch = v_[i_++];
        if (ch == ' ') {
            inWord_ = false;
            p_ = 0;
        } else {
            ++p_;
            if (!afterStar_) inWord_ = true;
        }
        return Step::kContinue;
    }

    Step findStart(int c) {
        if (i_ >= n_) {
            i_ = n_ + 1;
            return Step::kContinue;
        }
        for (;;) {
            if (!afterStar_ && !atWordStart_) {
                if (!skipPastBlank()) i_ = n_;
            }
            int ch = at(i_++);
            if (ch == c) break;
            // After a blank a word starts, even when the blank closed an empty word: a
            // value with a leading blank still has its first word found.
            atWordStart_ = ch == ' ';
            if (i_ >= n_) return Step::kContinue;
        }
        run_ = 0;
        while (at(i_ + run_) == c)
            ++run_;
        inWord_ = true;
        afterStar_ = false;
        ++p_;
        escaped_ = false;
        return Step::kContinue;
    }

    Step continueWord(int c) {
        escaped_ = false;
        if (at(i_) == c) {
            ++i_;
            ++p_;
            return Step::kContinue;
        }
        for (size_t k = i_ + 1; run_ > 0 && k <= i_ + run_; ++k) {
            if (at(k) == c) {
                i_ = k + 1;
                ++p_;
                return Step::kContinue;
            }
        }
        p_ = 0;
        run_ = 0;
        inWord_ = afterStar_ = atWordStart_ = false;
        return Step::kContinue;
    }

    const char* v_;
    size_t n_;
    const char* pat_;
    size_t m_;
    size_t i_ = 0;
    size_t p_ = 0;
    size_t run_ = 0;
    bool escaped_ = false;
    bool inWord_ = false;
    bool atWordStart_ = true;
    bool afterStar_ = false;
};

}  // namespace

int match(const char* value, const char* pattern) {
    if (value == nullptr || pattern == nullptr) return 0;
    if (std::strcmp(pattern, "*") == 0) return 1;
    // An empty pattern asks for an empty value, not for any value ending in a short word.
    if (pattern[0] == '\0') return value[0] == '\0' ? 1 : 0;
    return Matcher(value, pattern).run() ? 1 : 0;
}
