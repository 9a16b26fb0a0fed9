#include "runtime_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

#include "ch_malloc.h"
#include "string_translators.h"

namespace {

TEST(IntegerTexts, CoverTheWholeRangeAndPutTheCodeByteFirst) {
    char buf[QDX_ITOA_SIZE];  // exactly the promised room
    EXPECT_STREQ(qdxitoa(0, buf), "0");
    EXPECT_STREQ(qdxitoa(INT_MAX, buf), "2147483647");
    EXPECT_STREQ(qdxitoa(INT_MIN, buf), "-2147483648");
    char key[64];
    EXPECT_STREQ(qdxgenCD(key, 'Z', -1), "Z-1");
    EXPECT_STREQ(qdxgenCSD(key, 'A', "key", 7), "Akey7");
    EXPECT_STREQ(qdxgenCSD(key, 'B', "", 0), "B0");
}

// Both hooks copy when told to keep the input and work in place otherwise; only the
// incoming one turns next-line bytes into line feeds.
TEST(StringTranslators, CopyOrWorkInPlace) {
    const std::string input = "a\205b\205";
    const struct {
        int (*hook)(char**, unsigned long*, int);
        std::string out;
    } rows[] = {{iso8859_to_ascii, "a\nb\n"}, {ascii_to_iso8859, input}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.out);
        std::string text = input;
        char* buf = text.data();
        unsigned long len = 4;
        ASSERT_EQ(row.hook(&buf, &len, 0), 0);
        EXPECT_NE(buf, text.data());
        EXPECT_EQ(std::string(buf, len), row.out);
        EXPECT_EQ(text, input);  // the caller's input is untouched
        ch_free(buf);

        buf = text.data();
        ASSERT_EQ(row.hook(&buf, &len, 1), 0);
        EXPECT_EQ(buf, text.data());
        EXPECT_EQ(text, row.out);
    }
}

}  // namespace
