// Runs the built ldifmigrate on the files of testdata/ and compares what it writes with the
// expected files: <case>.ldif in, <case>.out expected output, and optionally <case>.stdout
// and <case>.stderr (otherwise nothing may be written there).
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

namespace {

namespace fs = std::filesystem;

const fs::path kProgram = fs::path(DIRCLIENT_BINARY_DIR) / "bin" / "ldifmigrate";
const fs::path kData = fs::path(DIRCLIENT_SOURCE_DIR) / "migrate" / "testdata";

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class Ldifmigrate : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ldifmigrate-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        tmp_ = pattern;
    }
    void TearDown() override { fs::remove_all(tmp_); }

    // Runs the program in `dir` with the arguments (already quoted as needed).
    Outcome run(const fs::path& dir, const std::string& args) {
        std::string command = "cd '" + dir.string() + "' && '" + kProgram.string() + "' " + args +
                              " >'" + (tmp_ / "stdout").string() + "' 2>'" +
                              (tmp_ / "stderr").string() + "'";
        int raw = system(command.c_str());
        Outcome r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = slurp(tmp_ / "stdout");
        r.err = slurp(tmp_ / "stderr");
        return r;
    }

    // Migrates testdata/<name>.ldif and checks every expected file.
    void expect_case(const std::string& name, int status) {
        SCOPED_TRACE(name);
        fs::path out = tmp_ / (name + ".out");
        Outcome r = run(kData, name + ".ldif '" + out.string() + "'");
        EXPECT_EQ(r.status, status) << r.err;
        EXPECT_EQ(slurp(out), slurp(kData / (name + ".out")));
        fs::path expected_stdout = kData / (name + ".stdout");
        EXPECT_EQ(r.out, fs::exists(expected_stdout) ? slurp(expected_stdout) : "");
        fs::path expected_stderr = kData / (name + ".stderr");
        EXPECT_EQ(r.err, fs::exists(expected_stderr) ? slurp(expected_stderr) : "");
    }

    fs::path tmp_;
};

TEST_F(Ldifmigrate, MigratesTheSampleFiles) {
    const std::pair<const char*, int> cases[] = {
        {"worked_example", 0},
        {"plain_records", 0},             // records without metadata are only reformatted
        {"blank_lines_and_comments", 0},  // neither ends the run
        {"versions", 0},
        {"definitions", 0},
        {"malformed", 1},  // reported and left out
        {"long_lines", 0},
        {"crlf", 0},
        {"change_records", 0},  // separators and URL values are kept verbatim
        {"empty", 0},
    };
    for (const auto& [name, status] : cases)
        expect_case(name, status);
}

TEST_F(Ldifmigrate, UsageUnlessExactlyTwoArguments) {
    const std::string usage =
        "\nUsage: ldifmigrate <input file> <output file>\n\n"
        "       Migrates an aXT v300/310 LDIF to an aXT v320 LDIF\n\n"
        "       <input filename>  - Name of the input file.\n"
        "       <output filename> - Name of the output file.\n";
    for (const char* args : {"", "a.ldif", "a.ldif b.ldif c.ldif"}) {
        SCOPED_TRACE(args);
        Outcome r = run(tmp_, args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, usage);
        EXPECT_FALSE(fs::exists(tmp_ / "b.ldif"));
    }
}

TEST_F(Ldifmigrate, UnopenableFilesFailWithTheSystemMessage) {
    Outcome r = run(tmp_, "missing.ldif out.ldif");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "missing.ldif: No such file or directory\n");
    EXPECT_FALSE(fs::exists(tmp_ / "out.ldif"));

    std::ofstream(tmp_ / "in.ldif") << "dn: a\n";
    r = run(tmp_, "in.ldif no-such-dir/out.ldif");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "no-such-dir/out.ldif: No such file or directory\n");
}

TEST_F(Ldifmigrate, RefusesToOverwriteItsInput) {
    std::ofstream(tmp_ / "in.ldif") << "dn: a\n";
    Outcome r = run(tmp_, "in.ldif ./in.ldif");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ldifmigrate: in.ldif and ./in.ldif are the same file\n");
    EXPECT_EQ(slurp(tmp_ / "in.ldif"), "dn: a\n");
}

TEST_F(Ldifmigrate, AFailedWriteIsNotASuccess) {
    std::ofstream(tmp_ / "in.ldif") << "dn: a\ncn: " << std::string(100000, 'x') << "\n";
    Outcome r = run(tmp_, "in.ldif /dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ldifmigrate: error writing /dev/full: No space left on device\n");
}

// The output holds what the input holds: a private input gives a private output, also over
// an existing, more open file.
TEST_F(Ldifmigrate, OutputTakesTheModeOfTheInput) {
    std::ofstream(tmp_ / "in.ldif") << "dn: cn=a\nuserPassword: {SSHA}x\n";
    std::ofstream(tmp_ / "old.ldif") << "old\n";
    fs::permissions(tmp_ / "in.ldif", fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(tmp_ / "old.ldif", fs::perms(0666));
    for (const char* name : {"new.ldif", "old.ldif"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(run(tmp_, std::string("in.ldif ") + name).status, 0);
        struct stat st {};
        ASSERT_EQ(stat((tmp_ / name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
}

}  // namespace
