// Metaphone (Lawrence Philips, 1990) over the letters A-Z, and the word-order test of
// approximate matching.

#include "approx_match.h"

#include <cctype>
#include <cstdint>
#include <vector>

namespace dirschema {

namespace {

constexpr std::size_t kMaxKey = 4;

bool vowel(char c) {
    return c == 'A' || c == 'E' || c == 'I' || c == 'O' || c == 'U';
}
bool frontVowel(char c) {
    return c == 'E' || c == 'I' || c == 'Y';
}
bool keptAsIs(char c) {  // letters that stand for themselves
    return c == 'F' || c == 'J' || c == 'L' || c == 'M' || c == 'N' || c == 'R';
}
bool softensH(char c) {  // letters after which H is silent
    return c == 'C' || c == 'G' || c == 'P' || c == 'S' || c == 'T';
}
bool blocksGhF(char c) {  // B--GH, D--GH, H--GH are not F
    return c == 'B' || c == 'D' || c == 'H';
}

// Base letters of U+00C0..U+017F ('.' where the letter has none and is dropped).
constexpr char kLatinBase[] =
    "AAAAAA.CEEEEIIII.NOOOOO..UUUUY.."   // C0-DF
    "aaaaaa.ceeeeiiii.nooooo..uuuuy.y"   // E0-FF
    "AaAaAaCcCcCcCcDd..EeEeEeEeEeGgGg"   // 100-11F
    "GgGgHh..IiIiIiIiI...JjKk.LlLlLl."   // 120-13F
    "...NnNnNn...OoOoOo..RrRrRrSsSsSs"   // 140-15F
    "SsTtTt..UuUuUuUuUuUuWwYyYZzZzZz.";  // 160-17F

// The ASCII text approximate matching compares.
std::string asciiFold(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (length == 2 && i + 1 < text.size()) {
            std::uint32_t code = ((c & 0x1F) << 6) | (text[i + 1] & 0x3F);
            if (code >= 0xC0 && code <= 0x17F && kLatinBase[code - 0xC0] != '.') {
                out += kLatinBase[code - 0xC0];
            }
        }
        i += length;
    }
    return out;
}

class Metaphone {
  public:
    explicit Metaphone(std::string_view word) {
        for (char c : word) {
            auto u = static_cast<unsigned char>(c);
            if (u >= 0x80 || std::isspace(u) || std::ispunct(u)) break;
            if (std::isalpha(u)) letters_ += static_cast<char>(std::toupper(u));
        }
    }

    std::string key() {
        if (letters_.empty()) return "";
        std::size_t start = initialRule();
        bool pendingS = false;  // the S of an X coded as KS takes the next position
        for (std::size_t n = start; n <= letters_.size() && key_.size() < kMaxKey; ++n) {
            if (pendingS) {
                pendingS = false;
                key_ += 'S';
                continue;
            }
            if (n > 0 && at(n - 1) == at(n) && at(n) != 'C') continue;
            if (at(n) == 'X' && n != start) {
                key_ += 'K';
                pendingS = true;
                continue;
            }
            if (keptAsIs(at(n)) || (n == start && vowel(at(n)))) {
                key_ += at(n);
            } else {
                consonant(n, start);
            }
        }
        if (key_.size() > kMaxKey) key_.resize(kMaxKey);
        return key_;
    }

  private:
    // Letters outside the word read as NUL.
    char at(std::size_t n) const { return n < letters_.size() ? letters_[n] : '\0'; }
    char before(std::size_t n, std::size_t back) const { return n >= back ? at(n - back) : '\0'; }

    // Silent or changed first letters; the index where coding starts.
    std::size_t initialRule() {
        char first = at(0), second = at(1);
        bool silent = ((first == 'P' || first == 'K' || first == 'G') && second == 'N') ||
                      (first == 'A' && second == 'E') || (first == 'W' && second == 'R');
        if (first == 'W' && second == 'H') {
            letters_[1] = 'W';
            silent = true;
        }
        if (silent) {
            letters_[0] = '\0';  // reads as nothing before the new first letter
            return 1;
        }
        if (first == 'X') letters_[0] = 'S';
        return 0;
    }

    void consonant(std::size_t n, std::size_t start) {
        char c = at(n), next = at(n + 1), after = at(n + 2), prev = before(n, 1);
        switch (c) {
            case 'B':
                if (next != '\0' || prev != 'M') key_ += 'B';
                break;
            case 'C':
                if (prev != 'S' || !frontVowel(next)) {
                    if (next == 'I' && after == 'A') {
                        key_ += 'X';
                    } else if (frontVowel(next)) {
                        key_ += 'S';
                    } else if (next == 'H') {
                        key_ += ((n == start && !vowel(after)) || prev == 'S') ? 'K' : 'X';
                    } else {
                        key_ += 'K';
                    }
                }
                break;
            case 'D':
                key_ += (next == 'G' && frontVowel(after)) ? 'J' : 'T';
                break;
            case 'G':
                if ((next != 'H' || vowel(after)) &&
                    (next != 'N' || (next != '\0' && (after != 'E' || at(n + 3) != 'D'))) &&
                    (prev != 'D' || !frontVowel(next))) {
                    key_ += (frontVowel(next) && after != 'G') ? 'J' : 'K';
                } else if (next == 'H' && !blocksGhF(before(n, 3)) && before(n, 4) != 'H') {
                    key_ += 'F';
                }
                break;
            case 'H':
                if (!softensH(prev) && (!vowel(prev) || vowel(next))) key_ += 'H';
                break;
            case 'K':
                if (prev != 'C') key_ += 'K';
                break;
            case 'P':
                key_ += next == 'H' ? 'F' : 'P';
                break;
            case 'Q':
                key_ += 'K';
                break;
            case 'S':
                key_ +=
                    (next == 'H' || (next == 'I' && (after == 'O' || after == 'A'))) ? 'X' : 'S';
                break;
            case 'T':
                if (next == 'I' && (after == 'O' || after == 'A')) {
                    key_ += 'X';
                } else if (next == 'H') {
                    key_ += '0';
                } else if (next != 'C' || after != 'H') {
                    key_ += 'T';
                }
                break;
            case 'V':
                key_ += 'F';
                break;
            case 'W':
            case 'Y':
                if (vowel(next)) key_ += c;
                break;
            case 'X':
                key_ += 'S';
                break;  // at the start; elsewhere KS, above
            case 'Z':
                key_ += 'S';
                break;
            default:
                break;
        }
    }

    std::string letters_;
    std::string key_;
};

// The words of text cut at every space (empty words included).
std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (;;) {
        std::size_t space = text.find(' ', start);
        out.push_back(text.substr(start, space - start));
        if (space == std::string_view::npos) return out;
        start = space + 1;
    }
}

}  // namespace

std::string metaphone(std::string_view word) {
    return Metaphone(word).key();
}

bool approxMatch(std::string_view value, std::string_view assertion) {
    std::string held = asciiFold(value), wanted = asciiFold(assertion);
    std::vector<std::string> keys;
    for (std::string_view word : words(held))
        keys.push_back(metaphone(word));
    std::size_t next = 0;
    bool seen = false;
    for (std::string_view word : words(wanted)) {
        if (word.empty()) continue;
        std::string key = metaphone(word);
        std::size_t i = next;
        while (i < keys.size() && keys[i] != key)
            ++i;
        if (i >= keys.size()) return false;
        next = i + 1;
        seen = true;
    }
    return seen;
}

}  // namespace dirschema
