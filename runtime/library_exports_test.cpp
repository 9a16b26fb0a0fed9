// The shared library as programs load it (this test links libdirclient, not the floors).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ch_malloc.h"

namespace {

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
