#include "ldif_codec.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

struct Parsed {
    int rc = -1;
    std::string type;
    std::string value;
};

Parsed parse(std::string line) {
    Parsed p;
    char *type = nullptr, *value = nullptr;
    int len = -1;
    p.rc = str_parse_line(line.data(), &type, &value, &len);
    if (p.rc == 0) {
        p.type = type;
        p.value.assign(value, static_cast<size_t>(len));
    }
    return p;
}

std::string format(const std::string& type, const std::string& value) {
    char* text = ldif_type_and_value(type.c_str(), value.data(), static_cast<int>(value.size()));
    std::string out(text);
    free(text);
    return out;
}

// All logical lines of an LDIF text, up to the first blank line.
std::vector<std::string> logical_lines(std::string text, std::vector<int>* physical = nullptr) {
    std::vector<std::string> lines;
    char* next = text.data();
    int count = 0;
    while (char* line = ldif_getline(&next, &count)) {
        lines.emplace_back(line);
        if (physical) physical->push_back(count);
    }
    return lines;
}

// Formats, splits and parses again; the type and value must survive, the room must suffice
// and no physical line may pass the width unless the type alone does.
void expect_round_trip(const std::string& type, const std::string& value) {
    std::string text = format(type, value);
    EXPECT_LE(text.size() + 1, ldif_size_needed(type.size(), value.size()));
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
        if (start > 0) {
            EXPECT_LE(nl - start, size_t{LDIF_LINE_WIDTH}) << text;
        }
    }
    std::vector<std::string> lines = logical_lines(text);
    ASSERT_EQ(lines.size(), 1u) << text;
    Parsed p = parse(lines[0]);
    ASSERT_EQ(p.rc, 0) << text;
    EXPECT_EQ(p.type, type);
    EXPECT_EQ(p.value, value) << text;
}

TEST(LdifParseLine, Table) {
    struct Row {
        const char* line;
        int rc;
        const char* type;
        std::string value;
    };
    const Row rows[] = {
        {"cn: abc", 0, "cn", "abc"},
        {"  cn \t:    abc", 0, "cn", "abc"},
        {"cn::YWJj", 0, "cn", "abc"},
        {"cn:: YWJj", 0, "cn", "abc"},
        {"cn:: YQ==", 0, "cn", "a"},
        {"cn:: YWI=", 0, "cn", "ab"},
        {"cn:: AGI=", 0, "cn", std::string("\0b", 2)},
        {"cn: a:b: c", 0, "cn", "a:b: c"},
        {": abc", 0, "", "abc"},
        {"cn: abc \r", 0, "cn", "abc \r"},  // a plain value keeps its trailing blanks
        {"cn:: YWJj \r", 0, "cn", "abc"},   // base64 ignores them
        {"cn:", 0, "cn", ""},               // an empty value is a value
        {"cn:   ", 0, "cn", ""},
        {"cn::", 0, "cn", ""},
        {"cn abc", -1, "", ""},
        {"", -1, "", ""},
        {"cn:: Y!Jj", -1, "", ""},
        {"cn:: YWJ!", -1, "", ""},    // the fourth character counts too
        {"cn:: =WJj", -1, "", ""},    // padding where data must stand
        {"cn:: YWJjZA", -1, "", ""},  // group cut short by the end
        {"cn:: YWJjZ", -1, "", ""},
        {"cn:: YW\xC3\x89j", -1, "", ""},  // bytes above 0x7F are not base64
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        Parsed p = parse(rows[i].line);
        ASSERT_EQ(p.rc, rows[i].rc);
        if (p.rc == 0) {
            EXPECT_EQ(p.type, rows[i].type);
            EXPECT_EQ(p.value, rows[i].value);
        }
    }
}

TEST(LdifGetline, JoinsContinuationLinesBeforeTheTypeIsSplit) {
    struct Row {
        const char* text;
        const char* type;
        const char* value;
    };
    const Row rows[] = {
        {"description: first\n second\n", "description", "firstsecond"},
        {"description: first\n  second\n", "description", "first second"},
        {"descr\n iption: x\n", "description", "x"},  // folded inside the type
        {"cn:\n  abc\n", "cn", "abc"},                // folded right after the colon
        {"cn: a\r\n b\r\n", "cn", "ab\r"},            // CR LF folds lose their CR
        {"cn: a\n\tb\n", "cn", "ab"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        std::vector<std::string> lines = logical_lines(rows[i].text);
        ASSERT_EQ(lines.size(), 1u);
        Parsed p = parse(lines[0]);
        ASSERT_EQ(p.rc, 0);
        EXPECT_EQ(p.type, rows[i].type);
        EXPECT_EQ(p.value, rows[i].value);
    }
}

TEST(LdifGetline, StopsAtBlankLinesAndTheEnd) {
    std::vector<int> physical;
    EXPECT_EQ(logical_lines("dn: a\ncn: b\n c\n\ncn: later\n", &physical),
              (std::vector<std::string>{"dn: a", "cn: bc"}));
    EXPECT_EQ(physical, (std::vector<int>{1, 2}));
    EXPECT_EQ(logical_lines("dn: a\r\n\r\ncn: later\n"), std::vector<std::string>{"dn: a\r"});
    EXPECT_TRUE(logical_lines("\ndn: a\n").empty());
    EXPECT_TRUE(logical_lines("").empty());

    std::string text = "dn: a\ncn: last";
    char* next = text.data();
    EXPECT_STREQ(str_getline(&next), "dn: a");
    EXPECT_STREQ(str_getline(&next), "cn: last");
    EXPECT_EQ(next, nullptr);
    EXPECT_EQ(str_getline(&next), nullptr);
    EXPECT_EQ(str_getline(nullptr), nullptr);

    std::string folded_last = "cn: a\n b";
    next = folded_last.data();
    EXPECT_STREQ(str_getline(&next), "cn: ab");
    EXPECT_EQ(next, nullptr);
}

TEST(LdifFormat, Table) {
    const std::string letters100(100, 'x');
    struct Row {
        std::string type;
        std::string value;
        std::string out;
    };
    const Row rows[] = {
        {"cn", "abc", "cn: abc\n"},
        {"cn", " abc", "cn:: IGFiYw==\n"},
        {"cn", "abc ", "cn:: YWJjIA==\n"},
        {"cn", ":abc", "cn:: OmFiYw==\n"},
        {"cn", "<abc", "cn:: PGFiYw==\n"},
        {"cn", "\xE9", "cn:: 6Q==\n"},
        {"cn", "a\nb", "cn:: YQpi\n"},
        {"cn", "", "cn: \n"},
        {"cn", letters100,
         "cn: " + letters100.substr(0, 72) + "\n " + letters100.substr(72) + "\n"},
        // a run of blanks at the fold moves whole to the next line
        {"cn", std::string(70, 'a') + "     bbb",
         "cn: " + std::string(70, 'a') + "\n " + "     bbb\n"},
        {"cn", "a" + std::string(80, ' ') + "b", ""},  // base64, checked below
        {"cn", std::string(60, 'y') + "\xE9", ""},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        std::string text = format(rows[i].type, rows[i].value);
        if (rows[i].out.empty()) {
            EXPECT_EQ(text.compare(0, 4, "cn::"), 0) << text;
        } else {
            EXPECT_EQ(text, rows[i].out);
        }
        expect_round_trip(rows[i].type, rows[i].value);
    }
}

TEST(LdifFormat, FoldsBase64At76Columns) {
    std::string text = format("jpegPhoto", std::string(200, '\x01'));
    EXPECT_EQ(text.find('\n'), size_t{LDIF_LINE_WIDTH});
    EXPECT_EQ(text.compare(LDIF_LINE_WIDTH, 2, "\n "), 0);
    expect_round_trip("jpegPhoto", std::string(200, '\x01'));
}

TEST(LdifFormat, LongTypeNeverMovesBackIntoTheSeparator) {
    std::string type(74, 't');
    EXPECT_EQ(format(type, "xyz"), type + ": \n xyz\n");
    expect_round_trip(type, "xyz");
    expect_round_trip(std::string(75, 't'), "a b c");
    expect_round_trip(std::string(90, 't'), std::string(200, 'v'));
}

TEST(LdifFormat, BlankRunsThatWouldFillALineTerminate) {
    // The first fold carries these blanks to a line that they fill completely.
    for (int blanks = 70; blanks <= 152; ++blanks) {
        SCOPED_TRACE(blanks);
        expect_round_trip("cn", "a" + std::string(static_cast<size_t>(blanks), ' ') + "x");
        expect_round_trip(
            "cn", std::string(40, 'w') + std::string(static_cast<size_t>(blanks), ' ') + "x y");
    }
}

TEST(LdifFormat, RoundTripsRandomValues) {
    std::mt19937 rng(20240131);
    const std::string alphabets[] = {std::string("ab  c"), std::string("abcdefgh ij:<#=-"),
                                     std::string("\x01\x80\xFF a\r\n", 8)};
    for (int i = 0; i < 3000; ++i) {
        const std::string& alphabet = alphabets[i % 3];
        std::string value(rng() % 300, ' ');
        for (char& c : value)
            c = alphabet[rng() % alphabet.size()];
        std::string type(1 + rng() % 80, 'T');
        SCOPED_TRACE(i);
        expect_round_trip(type, value);
        if (HasFatalFailure()) return;
    }
}

TEST(LdifFormat, PutWritesInPlaceWithoutNul) {
    std::vector<char> buf(ldif_size_needed(2, 3), '#');
    char* out = buf.data();
    put_type_and_value(&out, "cn", "abc", 3);
    EXPECT_EQ(std::string(buf.data(), out), "cn: abc\n");
    EXPECT_EQ(*out, '#');
    out = buf.data();
    put_type_and_value(&out, "cn", "abc", -5);
    EXPECT_EQ(std::string(buf.data(), out), "cn: \n");
}

// A copy of exactly `text.size()` bytes, so that the sanitizers catch a read past the end.
std::unique_ptr<char[]> exact_copy(const std::string& text) {
    auto copy = std::make_unique<char[]>(text.size() + 1);
    memcpy(copy.get(), text.data(), text.size());
    return copy;
}

// Bytes that ldif_getline takes for the first logical line of the text; 0 at a blank line.
size_t getline_extent(std::string text) {
    char* next = text.data();
    if (ldif_getline(&next, nullptr) == nullptr) return 0;
    return next == nullptr ? text.size() : static_cast<size_t>(next - text.data());
}

size_t canonical_length(const std::string& text) {
    return ldif_canonical_line(exact_copy(text).get(), text.size());
}

// What ldif_canonical_line claims: the accepted lines come back byte for byte from a parse
// and a format, and they are the whole logical line.
void expect_claim_holds(const std::string& text) {
    auto copy = exact_copy(text);
    size_t n = ldif_canonical_line(copy.get(), text.size());
    size_t extent = getline_extent(text);
    if (extent > 0 && text.find('\0') == std::string::npos) {
        EXPECT_EQ(ldif_logical_line_length(copy.get(), text.size()), extent);
    }
    if (n == 0) return;
    ASSERT_LE(n, text.size());
    EXPECT_EQ(n, ldif_logical_line_length(copy.get(), text.size())) << text;
    std::string line = text.substr(0, n);
    std::vector<std::string> lines = logical_lines(line);
    ASSERT_EQ(lines.size(), 1u) << text;
    Parsed p = parse(lines[0]);
    ASSERT_EQ(p.rc, 0) << text;
    EXPECT_EQ(format(p.type, p.value), line) << text;
}

TEST(LdifCanonicalLine, Table) {
    const std::string x100(100, 'x');
    struct Row {
        std::string text;
        bool canonical;
    };
    const Row rows[] = {
        {"cn: abc\n", true},
        {"cn: abc\ndn: next\n", true},  // only the first line counts
        {"cn: a:b<c\n", true},
        {"cn:: IGFiYw==\n", true},  // leading blank
        {"cn:: YWJjIA==\n", true},  // trailing blank
        {"cn:: 6Q==\n", true},      // not ASCII
        {"cn:: PGFiYw==\n", true},  // "<abc"
        {"cn:: AGI=\n", true},
        {"cn: " + x100.substr(0, 72) + "\n " + x100.substr(72) + "\n", true},
        {"cn: " + std::string(70, 'a') + "\n      bbb\n", true},  // blanks moved to the fold
        {"cn: abc", false},                                       // no line end
        {"cn: abc\r\n", false},                                   // the CR belongs to the value
        {"cn:  abc\n", false},                                    // two blanks
        {"cn:abc\n", false},                                      // no blank
        {" cn: abc\n", false},                                    // blank before the type
        {"cn : abc\n", false},                                    // blank after the type
        {"cn: abc \n", false},                                    // trailing blank: base64
        {"cn: :abc\n", false},                                    // base64
        {"cn: <abc\n", false},                                    // base64
        {"cn: \xE9\n", false},                                    // base64
        {"cn: \n", false},  // an empty value is left to the formatter
        {"cn:\n", false},
        {": abc\n", false},  // empty type
        {"cn abc\n", false},
        {"cn:: YWJj\n", false},  // "abc" is written plain
        {"cn:: 6R==\n", false},  // stray bits in the padding
        {"cn:: 6Q=\n", false},   // short group
        {"cn:: 6Q\n", false},
        {"cn:: 6Q==\n QUFB\n", false},  // text after the padding
        {"cn:: 6Q ==\n", false},
        {"cn::  6Q==\n", false},
        {"cn::6Q==\n", false},
        {"cn: " + x100.substr(0, 71) + "\n " + x100.substr(71) + "\n", false},   // folded early
        {"cn: " + x100.substr(0, 72) + "\n\t" + x100.substr(72) + "\n", false},  // tab fold
        {"cn: " + x100.substr(0, 72) + "\n  " + x100.substr(72) + "\n", true},   // value " x..."
        {"cnn:: " + std::string(69, '/') + "Q\n ==\n", true},                    // padding folded
        {"cn:: " + std::string(69, '/') + "Q=\n =\n", true},
        {"cn:: " + std::string(69, '/') + "Q=\n\n", false},
        {"cn: " + std::string(71, 'a') + " \n bbb\n", false},  // a blank that should move
        {std::string(73, 't') + ": x\n", false},               // type too long to bother
        {std::string("c\0n: x\n", 7), false},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        size_t first_line = ldif_logical_line_length(rows[i].text.data(), rows[i].text.size());
        EXPECT_EQ(canonical_length(rows[i].text), rows[i].canonical ? first_line : 0)
            << rows[i].text;
        expect_claim_holds(rows[i].text);
    }
}

TEST(LdifCanonicalLine, RecognisesWhatTheFormatterWrites) {
    std::mt19937 rng(4711);
    const std::string words = "abcdefghij klmnop";
    for (int i = 0; i < 3000; ++i) {
        SCOPED_TRACE(i);
        std::string type(1 + rng() % 20, 'a' + static_cast<char>(rng() % 26));
        std::string value(1 + rng() % 400, ' ');
        bool binary = i % 2 == 1;
        for (char& c : value)
            c = binary ? static_cast<char>(rng()) : words[rng() % words.size()];
        if (!binary) value.front() = value.back() = 'w';
        if (binary) value.front() = '\x01';
        std::string text = format(type, value);
        EXPECT_EQ(canonical_length(text + "next: line\n"), text.size()) << text;
    }
}

TEST(LdifCanonicalLine, AcceptsOnlyLinesThatComeBackUnchanged) {
    std::mt19937 rng(1966);
    const char edits[] = {' ', '\t', '\r', '\n', ':', '<', '=', 'A', '/', '\x80', '\0', 'x'};
    for (int i = 0; i < 20000; ++i) {
        SCOPED_TRACE(i);
        std::string value(rng() % 200, 'v');
        for (char& c : value)
            c = i % 3 == 0 ? static_cast<char>(rng()) : "ab  c"[rng() % 5];
        std::string text = format(std::string(1 + rng() % 8, 't'), value);
        for (int e = static_cast<int>(rng() % 3); e > 0; --e) {
            size_t at = rng() % (text.size() + 1);
            char c = edits[rng() % std::size(edits)];
            switch (rng() % 3) {
                case 0:
                    text.insert(at, 1, c);
                    break;
                case 1:
                    if (at < text.size()) text.erase(at, 1);
                    break;
                default:
                    if (at < text.size()) text[at] = c;
            }
        }
        if (rng() % 2) text += rng() % 2 ? " more\n" : "next: x\n";
        expect_claim_holds(text);
        if (HasFatalFailure()) return;
    }
}

TEST(LdifLogicalLineLength, TakesWhatGetlineTakes) {
    const char* texts[] = {"a\n b\nc\n", "a\n\r\nb\n",      "a\n\rb\n",    "a\n\tb", "a",
                           "a\n",        "a\r\n b\r\n\r\n", "a\n \n b\nc", "a\n\r"};
    const size_t taken[] = {5, 2, 5, 4, 1, 2, 7, 7, 3};
    for (size_t i = 0; i < std::size(texts); ++i) {
        SCOPED_TRACE(texts[i]);
        EXPECT_EQ(ldif_logical_line_length(texts[i], strlen(texts[i])), taken[i]);
        EXPECT_EQ(getline_extent(texts[i]), taken[i]);
    }
}

}  // namespace
