// The word-oriented, case-insensitive wildcard matcher behind every filter comparison.
//
// The procedure is deliberately not a general glob: a match starts at a word start unless
// the pattern opens with '*', '*' does not backtrack, and the repeat count ("run") of the
// first matched character lets later pattern characters slip forward. Stored filters and
// applications depend on these exact results, so the steps are kept literally.

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
        escaped_ = false;
        return inWord_ ? continueWord(c) : findStart(c);
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
            atWordStart_ = false;
            if (i_ >= n_) return Step::kContinue;
        }
        run_ = 0;
        while (at(i_ + run_) == c) ++run_;
        inWord_ = true;
        afterStar_ = false;
        ++p_;
        return Step::kContinue;
    }

    Step continueWord(int c) {
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
    return Matcher(value, pattern).run() ? 1 : 0;
}
