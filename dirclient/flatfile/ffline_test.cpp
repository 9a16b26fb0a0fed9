#include "ffline.h"

#include "object_memory.h"
#include "test_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Feeds text through a temporary stream.
class Stream {
  public:
    explicit Stream(const std::string& text) : file_(std::tmpfile()) {
        std::fwrite(text.data(), 1, text.size(), file_);
        std::rewind(file_);
    }
    ~Stream() { std::fclose(file_); }
    FILE* get() const { return file_; }

  private:
    FILE* file_;
};

std::vector<std::string> physicalLines(const std::string& text) {
    Stream in(text);
    std::vector<std::string> lines;
    char* buf = nullptr;
    int size = 0;
    while (getline(in.get(), &buf, &size))
        lines.push_back(buf);
    EXPECT_STREQ(buf, "++EOF++");
    check_free(buf);
    return lines;
}

std::vector<std::string> logicalLines(const std::string& text) {
    Stream in(text);
    std::vector<std::string> lines;
    char* line = nullptr;
    int lineSize = 0;
    char* next = nullptr;
    int nextSize = 0;
    while (readline(in.get(), &line, &lineSize, &next, &nextSize))
        lines.push_back(line);
    EXPECT_FALSE(readline(in.get(), &line, &lineSize, &next, &nextSize));  // stays at the end
    check_free(line);
    check_free(next);
    return lines;
}

using Lines = std::vector<std::string>;

TEST(FFGetline, SplitsLinesOfAnyLength) {
    EXPECT_EQ(physicalLines("a\nb\n"), (Lines{"a", "b"}));
    EXPECT_EQ(physicalLines(""), Lines{});
    EXPECT_EQ(physicalLines("\n\n"), (Lines{"", ""}));
    EXPECT_EQ(physicalLines("a\nlast"), (Lines{"a", "last"}));  // no final line end
    EXPECT_EQ(physicalLines("a\r\nb\r\n"), (Lines{"a", "b"}));
    EXPECT_EQ(physicalLines("a\rb\n"), (Lines{"a\rb"}));  // only a CR before the LF goes
    std::string longLine(100000, 'x');
    EXPECT_EQ(physicalLines(longLine + "\nz\n"), (Lines{longLine, "z"}));
    std::string edge(4095, 'y');  // exactly fills the first buffer with its line end
    EXPECT_EQ(physicalLines(edge + "\n" + edge + "\n"), (Lines{edge, edge}));
}

TEST(FFReadline, JoinsContinuationsAndTrimsBlanks) {
    EXPECT_EQ(logicalLines("description: first\n second\n"), Lines{"description: firstsecond"});
    EXPECT_EQ(logicalLines("description: first\n  second\n"), Lines{"description: first second"});
    EXPECT_EQ(logicalLines("a: 1\n\tx\nb: 2   \n"), (Lines{"a: 1x", "b: 2"}));
    EXPECT_EQ(logicalLines("a: 1\n \nb: 2\n"), (Lines{"a: 1", "", "b: 2"}));
    EXPECT_EQ(logicalLines("a: 1\r\n 2\r\n"), Lines{"a: 12"});
    EXPECT_EQ(logicalLines("a: 1\n 2"), Lines{"a: 12"});
    // The end of the file is not confused with a line that reads "++EOF++".
    EXPECT_EQ(logicalLines("a: 1\n++EOF++\nb: 2\n"), (Lines{"a: 1", "++EOF++", "b: 2"}));
    std::string value(10000, 'v');
    std::string folded = "cn: ";
    for (size_t i = 0; i < value.size(); i += 70)
        folded += value.substr(i, 70) + "\n ";
    folded.resize(folded.size() - 1);
    EXPECT_EQ(logicalLines(folded), Lines{"cn: " + value});
}

// Line numbers name the first physical line of each logical line; a NUL byte anywhere in
// it is flagged, never silently cut.
TEST(FFReadline, CountsLinesAndFlagsNulBytes) {
    using namespace std::string_literals;
    Stream in("a: 1\n 2\nb: x\0y\nc: 3\n d\0\ne: 4\n"s);
    char* line = nullptr;
    int lineSize = 0;
    char* next = nullptr;
    int nextSize = 0;
    LineCount count;
    std::vector<std::string> seen;
    while (readline(in.get(), &line, &lineSize, &next, &nextSize, &count))
        seen.push_back(std::to_string(count.number) + (count.hasNul ? "!" : " ") + line);
    check_free(line);
    check_free(next);
    EXPECT_EQ(seen, (Lines{"1 a: 12", "3!b: x", "4!c: 3d", "6 e: 4"}));
}

std::string putlineOutput(const std::vector<std::string>& pieces, int start, int* end) {
    FILE* out = std::tmpfile();
    int column = start;
    for (const std::string& piece : pieces)
        putline(out, piece.c_str(), &column);
    *end = column;
    std::string text(static_cast<size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    size_t got = std::fread(text.data(), 1, text.size(), out);
    text.resize(got);
    std::fclose(out);
    return text;
}

TEST(FFPutline, FoldsAtEightyColumnsAcrossCalls) {
    int column = 0;
    EXPECT_EQ(putlineOutput({"abc"}, 0, &column), "abc");
    EXPECT_EQ(column, 3);
    std::string eighty(80, 'a');
    EXPECT_EQ(putlineOutput({eighty}, 0, &column), eighty);
    EXPECT_EQ(column, 80);
    EXPECT_EQ(putlineOutput({eighty, "b"}, 0, &column), eighty + "\n b");
    EXPECT_EQ(column, 2);
    EXPECT_EQ(putlineOutput({"xy"}, 79, &column), "x\n y");
    EXPECT_EQ(column, 2);
    std::string twoHundred(200, 'c');
    std::string folded = putlineOutput({twoHundred}, 0, &column);
    EXPECT_EQ(folded,
              std::string(80, 'c') + "\n " + std::string(79, 'c') + "\n " + std::string(41, 'c'));
}

TEST(FFNormalizePath, DeletesTheNamedFileWithoutAShell) {
    ScopedTestDir dir;
    // A name full of shell syntax is just a name.
    const std::string evil = "x;touch${IFS}pwned;$(touch${IFS}pwned2)`touch${IFS}pwned3`";
    std::FILE* f = std::fopen(evil.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    std::string cmd = "del " + evil;
    normalize_path(cmd.data());
    EXPECT_FALSE(std::filesystem::exists(evil));
    EXPECT_FALSE(std::filesystem::exists("pwned"));
    EXPECT_FALSE(std::filesystem::exists("pwned2"));
    EXPECT_FALSE(std::filesystem::exists("pwned3"));
    EXPECT_EQ(cmd, "del " + evil);
}

TEST(FFNormalizePath, TurnsSlashesAndDropsTheDirectoryOfTheName) {
    std::string cmd = "copy /a/b /no/such/dir/file.ldif";
    normalize_path(cmd.data());
    EXPECT_STREQ(cmd.c_str(), "copy \\a\\b file.ldif");
    std::string single = "/no/blank/here";
    normalize_path(single.data());
    EXPECT_EQ(single, "/no/blank/here");
    normalize_path(nullptr);
}

}  // namespace
