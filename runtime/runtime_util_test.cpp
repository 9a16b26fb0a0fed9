#include "runtime_util.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

#include "ch_malloc.h"
#include "string_translators.h"

namespace {

TEST(Qdxitoa, WritesSignedDecimalText) {
    char buf[QDX_ITOA_SIZE];
    EXPECT_STREQ(qdxitoa(0, buf), "0");
    EXPECT_STREQ(qdxitoa(-42, buf), "-42");
    EXPECT_STREQ(qdxitoa(1234567, buf), "1234567");
    EXPECT_STREQ(qdxitoa(INT_MAX, buf), "2147483647");
    EXPECT_STREQ(qdxitoa(INT_MIN, buf), "-2147483648");
}

TEST(KeyBuilders, PutTheCodeByteFirst) {
    char buf[64];
    EXPECT_STREQ(qdxgenCD(buf, 'A', 7), "A7");
    EXPECT_STREQ(qdxgenCD(buf, 'Z', -1), "Z-1");
    EXPECT_STREQ(qdxgenCSD(buf, 'A', "key", 7), "Akey7");
    EXPECT_STREQ(qdxgenCSD(buf, 'B', "", 0), "B0");
}

TEST(StringTranslators, IncomingTurnsNextLineIntoLineFeed) {
    char text[] =
        "a\x85"
        "b\x85";
    char* buf = text;
    unsigned long len = 4;
    ASSERT_EQ(iso8859_to_ascii(&buf, &len, 0), 0);
    EXPECT_NE(buf, text);
    EXPECT_EQ(std::string(buf, len), "a\nb\n");
    EXPECT_EQ(std::string(text, 4),
              "a\x85"
              "b\x85");  // the caller's input is untouched
    ch_free(buf);

    buf = text;
    ASSERT_EQ(iso8859_to_ascii(&buf, &len, 1), 0);
    EXPECT_EQ(buf, text);
    EXPECT_EQ(std::string(text, 4), "a\nb\n");
}

TEST(StringTranslators, OutgoingCopiesOrLeavesAlone) {
    char text[] = "x\x85y";
    char* buf = text;
    unsigned long len = 3;
    ASSERT_EQ(ascii_to_iso8859(&buf, &len, 0), 0);
    EXPECT_NE(buf, text);
    EXPECT_EQ(std::string(buf, len), "x\x85y");
    ch_free(buf);
    buf = text;
    ASSERT_EQ(ascii_to_iso8859(&buf, &len, 1), 0);
    EXPECT_EQ(buf, text);
}

// The library's ldap_memfree must not be exported, or it would take the place of the LDAP
// client library's function for every program that loads both.
TEST(LibraryExports, KeepLdapMemfreeHidden) {
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&ch_malloc), &info), 0);
    std::string command = std::string("nm -D --defined-only '") + info.dli_fname + "'";
    FILE* nm = popen(command.c_str(), "r");
    ASSERT_NE(nm, nullptr);
    std::string symbols;
    char line[512];
    while (fgets(line, sizeof line, nm))
        symbols += line;
    ASSERT_EQ(pclose(nm), 0);
    EXPECT_NE(symbols.find(" ch_malloc\n"), std::string::npos);
    EXPECT_NE(symbols.find(" iso8859_to_ascii\n"), std::string::npos);
    EXPECT_EQ(symbols.find(" ldap_memfree\n"), std::string::npos);
}

}  // namespace
