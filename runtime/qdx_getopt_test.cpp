#include "qdx_getopt.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Scan {
    std::vector<std::string> results;  // option characters, with "=arg" when there is one
    int end_index = 0;
    std::string err;
};

// Runs the scanner over the arguments until it answers -1.
Scan scan(std::vector<std::string> args, const char* optstring, bool report = true) {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    optind = 0;
    opterr = report ? 1 : 0;
    Scan s;
    ::testing::internal::CaptureStderr();
    for (int c, guard = 0;
         (c = qdx_getopt(static_cast<int>(args.size()), argv.data(), optstring)) != -1 &&
         guard < 20;
         ++guard) {
        std::string r(1, static_cast<char>(c));
        if (c == '?' || c == ':') r += static_cast<char>(optopt);
        if (optarg) r += "=" + std::string(optarg);
        s.results.push_back(r);
    }
    s.err = ::testing::internal::GetCapturedStderr();
    s.end_index = optind;
    return s;
}

TEST(QdxGetopt, Table) {
    struct Row {
        std::vector<std::string> args;
        const char* optstring;
        std::vector<std::string> results;
        int end_index;
        std::string err;
        bool report = true;  // opterr
    };
    const Row rows[] = {
        {{"prog", "-a", "-bX", "file"}, "ab:", {"a", "b=X"}, 3, ""},
        {{"prog", "-a", "-b", "X", "file"}, "ab:", {"a", "b=X"}, 4, ""},
        {{"prog", "-ab", "X"}, "ab:", {"a", "b=X"}, 3, ""},
        {{"prog", "-ba"}, "ab:", {"b=a"}, 2, ""},
        {{"prog", "-a", "--", "-b"}, "ab", {"a"}, 3, ""},
        {{"prog", "-", "-a"}, "a", {}, 1, ""},
        {{"prog"}, "a", {}, 1, ""},
        {{"prog", "-x", "-a"}, "a", {"?x", "a"}, 3, "prog: illegal option -- x\n"},
        {{"prog", "-:"}, "a:", {"?:"}, 2, "prog: illegal option -- :\n"},
        {{"prog", "-b"}, "ab:", {"?b"}, 2, "prog: option requires an argument -- b\n"},
        {{"prog", "-b"}, ":ab:", {":b"}, 2, "prog: option requires an argument -- b\n"},
        {{"prog", "-x"}, ":a", {":x"}, 2, "prog: illegal option -- x\n"},
        {{"prog", "-cV", "-c", "file"}, "c::", {"c=V", "c"}, 3, ""},
        {{"prog", "-a", "file", "-b"}, "+ab", {"a"}, 2, ""},
        {{"prog", "-x"}, "a", {"?x"}, 2, "", false},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        Scan s = scan(rows[i].args, rows[i].optstring, rows[i].report);
        EXPECT_EQ(s.results, rows[i].results);
        EXPECT_EQ(s.end_index, rows[i].end_index);
        EXPECT_EQ(s.err, rows[i].err);
    }
}

TEST(QdxGetopt, StaysEndedUntilRestarted) {
    std::string a0 = "prog", a1 = "-a", a2 = "file";
    char* argv[] = {a0.data(), a1.data(), a2.data(), nullptr};
    optind = 0;
    EXPECT_EQ(qdx_getopt(3, argv, "a"), 'a');
    EXPECT_EQ(qdx_getopt(3, argv, "a"), -1);
    EXPECT_EQ(qdx_getopt(3, argv, "a"), -1);
    EXPECT_EQ(optind, 2);
    optind = 0;
    EXPECT_EQ(qdx_getopt(3, argv, "a"), 'a');
}

}  // namespace
