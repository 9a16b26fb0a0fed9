#include "dfilter.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Match, ReferenceTable) {
    struct Row {
        const char* value;
        const char* pattern;
        int expected;
    } rows[] = {
        {"John Smith", "john", 1},
        {"John Smith", "smith", 1},
        {"John Smith", "mith", 0},
        {"John Smith", "*mith", 1},
        {"John Smith", "jo", 0},
        {"John Smith", "jo*", 1},
        {"John Smith", "j?hn", 1},
        {"John Smith", "john smith", 1},
        {"abc", "", 0},
        {"", "", 1},
        {"", "*", 1},
        {"abc", "a*c", 1},
        {"abc", "*b", 0},
        {"abc", "*b*", 1},
        {"hello", "l*", 0},
        {"mississippi", "m*i", 0},
        {"mississippi", "*ppi", 1},
        {"tester", "t*t", 0},
        {"tester", "t*r", 1},
        {"aab", "ab", 1},
        {"aabbcc", "abc", 1},
        {"abbc", "abc", 0},
        {"abc", "aabc", 0},
        {"a c", "a?c", 0},
        {"abc", "????", 0},
        {"a*b", "a\\*b", 1},
        {"axb", "a\\*b", 0},
        {"hello there world", "the* wor*", 1},
        {"hello there world", "hello *rld", 0},
        {"hello  world", "hello world", 0},
        {"abc", " abc", 0},
        // Only ASCII letters fold; other bytes compare exactly.
        {"JOHN", "john", 1},
        {"Ölaf", "Ölaf", 1},
        {"Ölaf", "ölaf", 0},
        // Words: any word may start the match and it may span words, but it never starts
        // inside a word and must end at a word end.
        {"a b c", "b", 1},
        {"a b c", "b c", 1},
        {"ab cd", "b", 0},
        {"ab cd", "*d", 1},
        {"ab", "a", 0},
        {"a", "a ", 0},  // a trailing blank needs a blank in the value
        {"a b", "a ", 0},
        {"a  b", "a ", 1},
        {" lead", "lead", 1},  // an empty first word before the blank
        {" Jensen ", "jensen", 1},
        {"x  Jensen", "jensen", 1},
        {" Jensen", "?ensen", 1},
        {" Jensen", "ensen", 0},
        // Question marks and escapes.
        {"abc", "???", 1},
        {"abc", "??", 0},
        {"abc", "a??", 1},
        {"ab cd", "a? cd", 1},
        {"a)b", "a\\)b", 1},
        {"a?c", "a\\?c", 1},
        {"abc", "a\\?c", 0},
        {"a\\b", "a\\\\b", 1},  // escaped backslash is a literal backslash
        {"ab", "a\\", 0},       // dangling backslash never matches the end
        {"a", "\\", 0},
        // An escaped literal stays literal when the search for it fails.
        {"abc", "\\*", 0},
        {"*", "\\*", 1},
        {"a *", "\\*", 1},
        {"abc", "*\\*", 0},
        {"ab*", "*\\*", 1},
        {"abc", "\\?", 0},
        {"ab\\", "*\\\\", 1},
        {"abc", "*\\\\", 0},
        // An empty pattern finds only the empty value.
        {"a", "", 0},
        {"x a", "", 0},
        // Stars, and the run of the first matched character.
        {"anything at all", "*", 1},
        {"", "a", 0},
        {"", "**", 1},
        {"abc", "**c", 1},
        {"aaa", "a", 1},  // the run lets the word run on past the pattern
        {"xaaay", "*a", 0},
        {"abab", "ab", 0},
        {"abab", "ab*", 1},
        {"foo bar foo", "*foo", 1},
        {"foobar", "foo*bar", 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << "value \"" << row.value << "\" pattern \"" << row.pattern << "\"");
        EXPECT_EQ(match(row.value, row.pattern), row.expected);
    }
}

TEST(Match, NullArgumentsNeverMatch) {
    EXPECT_EQ(match(nullptr, "*"), 0);
    EXPECT_EQ(match("a", nullptr), 0);
}

// Long inputs must finish quickly: the procedure is at most quadratic.
TEST(Match, TerminatesOnLongAdversarialInput) {
    std::string value(20000, 'a');
    value += 'b';
    std::string pattern = "*" + std::string(300, 'a') + "c";
    EXPECT_EQ(match(value.c_str(), pattern.c_str()), 0);
    std::string words;
    for (int i = 0; i < 5000; ++i)
        words += "ab ";
    EXPECT_EQ(match(words.c_str(), "ab ab ab abx"), 0);
    EXPECT_EQ(match(words.c_str(), "?b ab*"), 1);
}

}  // namespace
