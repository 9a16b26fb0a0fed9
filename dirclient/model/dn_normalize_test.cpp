#include "dn_normalize.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "object_memory.h"

namespace {

std::string normalize(const std::string& dn) {
    char* out = dn_normalize(dn.c_str());
    std::string result(out);
    check_free(out);
    return result;
}

struct Row {
    const char* input;
    const char* expected;
};

void check_rows(const Row* rows, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(testing::Message() << i << ": [" << rows[i].input << "]");
        EXPECT_EQ(normalize(rows[i].input), rows[i].expected);
    }
}

TEST(DnNormalize, DropsBlanksAroundTypesEqualsAndSeparatorsButNotAtTheEnd) {
    const Row rows[] = {
        {" cn = John  Smith , o = Acme ; c=US", "cn=John  Smith,o=Acme,c=US"},
        {"cn=x+sn=y", "cn=x+sn=y"},
        {"cn=x + sn=y", "cn=x+sn=y"},
        {"  cn=a", "cn=a"},
        {"c n=x", "cn=x"},
        {"cn\n=\nx\n,o=y", "cn=x,o=y"},
        {"cn=a\t,o=b", "cn=a\t,o=b"},  // only blank and newline count as spaces
        {"", ""},
        {"   ", ""},
        // Blanks at the very end stay.
        {"o = Acme ", "o=Acme "},
        {"cn=a,o=b  \n", "cn=a,o=b  \n"},
        {"cn=a, ", "cn=a,"},  // after a separator the blanks precede no value
    };
    check_rows(rows, std::size(rows));
}

TEST(DnNormalize, RemovesUnneededEscapesAndKeepsMeaningfulOnes) {
    const Row rows[] = {
        {"CN=a\\b,O=x", "CN=ab,O=x"},
        {"cn=a\\,b ,o=x", "cn=a\\,b,o=x"},
        {"cn=a\\;b", "cn=a\\;b"},
        {"cn=a\\+b", "cn=a\\+b"},
        {"cn=\\\"a", "cn=\\\"a"},
        {"cn=a\\=b", "cn=a\\=b"},        // a server refuses "a=b"
        {"cn=a\\ ,o=x", "cn=a\\ ,o=x"},  // an escaped trailing blank is part of the value
        {"cn=a\\", "cn=a\\"},            // a lone backslash at the end stays
        {"cn=a\\,", "cn=a\\,"},
        // The escape of a leading blank stays.
        {"cn=\\ a", "cn=\\ a"},
        {"cn= \\ a ,o=x", "cn=\\ a,o=x"},
        {"cn=\\ ,o=x", "cn=\\ ,o=x"},
    };
    check_rows(rows, std::size(rows));
}

TEST(DnNormalize, HexPairsAndEscapesOfOneByteGiveOneSpelling) {
    const Row rows[] = {
        {"cn=Plain\\2C Comma,ou=rt", "cn=Plain\\, Comma,ou=rt"},
        {"cn=Plain\\2c Comma,ou=rt", "cn=Plain\\, Comma,ou=rt"},
        {"cn=\\41bc", "cn=Abc"},
        {"cn=\\C3\\A9t\\c3\\a9", "cn=\xC3\xA9t\xC3\xA9"},
        {"cn=a\\2B\\3B\\22\\5C\\3Db", "cn=a\\+\\;\\\"\\\\\\=b"},
        {"cn=\\3C\\3E\\<\\>", "cn=\\<\\>\\<\\>"},
        // Blanks and '#' keep their escape where a reader would otherwise lose them.
        {"cn=\\20a\\20b\\20,o=x", "cn=\\ a b\\ ,o=x"},
        {"cn=a\\20 ,o=x", "cn=a\\ ,o=x"},
        {"cn=a\\20\\20", "cn=a \\ "},
        {"cn=a\\  ", "cn=a  "},
        {"cn=\\23a\\23,o=x", "cn=\\#a#,o=x"},
        {"cn=\\#a", "cn=\\#a"},
        {"cn=#a", "cn=#a"},
        {"cn=\"a\\2Cb\\22\",o=x", "cn=\"a,b\\\"\",o=x"},
        // Not a pair: the escape goes as before; a NUL keeps its pair.
        {"cn=\\4x\\g1", "cn=4xg1"},
        {"cn=a\\00b", "cn=a\\00b"},
        {"cn=a\\\\41", "cn=a\\\\41"},
        {"c\\6E=x", "c\\6E=x"},
    };
    check_rows(rows, std::size(rows));
}

TEST(DnNormalize, EscapedBackslashIsAPairThatEscapesNothingElse) {
    const Row rows[] = {
        {"cn=a\\\\b", "cn=a\\\\b"},
        // The comma after an escaped backslash separates: the RDNs must not merge.
        {"cn=a\\\\,o=x", "cn=a\\\\,o=x"},
        {"cn=a\\\\ ,o=x", "cn=a\\\\,o=x"},
        {"cn=\"a\\\\\",o=x", "cn=\"a\\\\\",o=x"},
        {"cn=a\\\\\\,b", "cn=a\\\\\\,b"},
    };
    check_rows(rows, std::size(rows));
}

TEST(DnNormalize, QuotedValuesStayWholeAndJunkAfterThemGoes) {
    const Row rows[] = {
        {"cn=\"Smith, J\" junk ;o=x", "cn=\"Smith, J\";o=x"},
        {"cn=\"a;b+c\",o=x", "cn=\"a;b+c\",o=x"},
        {"cn=\"a\\\"b\",o=x", "cn=\"a\\\"b\",o=x"},
        {"cn=\"a\\b\"", "cn=\"ab\""},
        {"cn=\"x\" ", "cn=\"x\""},
        {"cn=\"unterminated, o=x", "cn=\"unterminated, o=x"},
    };
    check_rows(rows, std::size(rows));
}

TEST(DnNormalize, ASeparatorRightAfterEqualsBelongsToTheValue) {
    const Row rows[] = {
        {"cn= ,o=x", "cn=,o=x"},
        {"cn=;o=x", "cn=;o=x"},
        {"cn,o=x", "cn,o=x"},
    };
    check_rows(rows, std::size(rows));
}

TEST(DnNormalize, NullGivesNullAndCaseVariantUpperCases) {
    EXPECT_EQ(dn_normalize(nullptr), nullptr);
    EXPECT_EQ(dn_normalize_case(nullptr), nullptr);
    char* upper = dn_normalize_case(" o = Acme ");
    EXPECT_STREQ(upper, "O=ACME ");
    check_free(upper);
}

// Random DNs built from the characters that matter to the state machine.
TEST(DnNormalize, IsNeverLongerAndNormalisingTwiceChangesNothing) {
    const char alphabet[] = "ab2C0#=,;+\\\" \n";
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> pick(0, sizeof alphabet - 2);
    std::uniform_int_distribution<int> length(0, 24);
    for (int round = 0; round < 20000; ++round) {
        std::string dn;
        for (int n = length(random); n > 0; --n)
            dn += alphabet[pick(random)];
        SCOPED_TRACE("[" + dn + "]");
        const std::string once = normalize(dn);
        ASSERT_LE(once.size(), dn.size());
        ASSERT_EQ(normalize(once), once);
    }
}

}  // namespace
