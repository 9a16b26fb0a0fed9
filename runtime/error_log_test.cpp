#include "error_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "test_dir.h"

namespace {

using ::testing::ContainsRegex;
using ::testing::MatchesRegex;

const char* kStamp = "[0-9]{14}Z  ";

class ErrorLogTest : public ::testing::Test {
  protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset() {
        errlog_set_rotation(nullptr, 0);
        errlog_close();
    }
    ScopedTestDir dir_;
};

TEST_F(ErrorLogTest, DefaultFileHoldsTheLastMessageOnly) {
    ErrorLog("first %d\n", 1);
    ErrorLog("second %d %s\n", 2, "x");
    EXPECT_THAT(ScopedTestDir::read("qdxserv.log"),
                MatchesRegex(std::string("^") + kStamp + "second 2 x\n$"));
}

TEST_F(ErrorLogTest, RotatesOverTheListOfFiles) {
    const char* files[] = {"a.log", "b.log", nullptr};
    errlog_set_rotation(files, 2);
    for (int i = 1; i <= 4; ++i)
        ErrorLog("message %d\n", i);
    EXPECT_THAT(ScopedTestDir::read("a.log"),
                MatchesRegex(std::string(kStamp) + "message 1\n" + kStamp + "message 2\n"));
    EXPECT_THAT(ScopedTestDir::read("b.log"),
                MatchesRegex(std::string(kStamp) + "message 3\n" + kStamp + "message 4\n"));
    ErrorLog("message 5\n");
    EXPECT_THAT(ScopedTestDir::read("a.log"), MatchesRegex(std::string(kStamp) + "message 5\n"));
    EXPECT_FALSE(std::filesystem::exists("qdxserv.log"));
}

TEST_F(ErrorLogTest, UnopenableListEntryFallsBackToTheDefaultFile) {
    const char* files[] = {"missing-dir/a.log", nullptr};
    errlog_set_rotation(files, 5);
    ErrorLog("kept\n");
    EXPECT_THAT(ScopedTestDir::read("qdxserv.log"), ContainsRegex("kept\n$"));
}

TEST_F(ErrorLogTest, ALogOnTheDefaultFileIsRedirectedToTheList) {
    errlog_set_rotation(nullptr, 10);
    ErrorLog("before\n");
    const char* files[] = {"list.log", nullptr};
    errlog_set_rotation(files, 10);
    ErrorLog("after\n");
    EXPECT_THAT(ScopedTestDir::read("list.log"),
                MatchesRegex(std::string(kStamp) +
                             "ERROR OUTPUT HAS BEEN REDIRECTED FROM A PREVIOUS SOURCE\n" + kStamp +
                             "OTHER ERROR OUTPUT EXISTS IN: qdxserv.log\n" + kStamp + "after\n"));
    EXPECT_THAT(ScopedTestDir::read("qdxserv.log"), ContainsRegex("before\n$"));
}

TEST_F(ErrorLogTest, WritesToStandardErrorWhenNoFileOpensThenRedirectsWithANote) {
    std::filesystem::create_directory("qdxserv.log");  // not writable, even for root
    ::testing::internal::CaptureStderr();
    ErrorLog("nowhere else %d\n", 7);  // the log closes after each line and tries again
    errlog_set_rotation(nullptr, 3);   // now standard error stays open and can be redirected
    ErrorLog("again\n");
    const char* files[] = {"x.log", nullptr};
    errlog_set_rotation(files, 3);
    ErrorLog("on file\n");
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_THAT(err, MatchesRegex(std::string(kStamp) + "nowhere else 7\n" + kStamp + "again\n"));
    EXPECT_THAT(ScopedTestDir::read("x.log"),
                MatchesRegex(std::string(kStamp) +
                             "ERROR OUTPUT HAS BEEN REDIRECTED FROM A PREVIOUS SOURCE\n" + kStamp +
                             "OTHER ERROR OUTPUT EXISTS IN: \\(stderr\\) device/file\n" + kStamp +
                             "on file\n"));
}

// A link planted under the log's name must not lead the log to truncate its target; a log
// the library creates is readable by its owner only.
TEST_F(ErrorLogTest, DefaultFileIsNeverALinkAndIsCreatedOwnerOnly) {
    ErrorLog("private\n");
    struct stat st {};
    ASSERT_EQ(stat("qdxserv.log", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    errlog_close();
    std::filesystem::remove("qdxserv.log");
    std::ofstream("precious") << "keep me\n";
    std::filesystem::create_symlink("precious", "qdxserv.log");
    ::testing::internal::CaptureStderr();
    ErrorLog("diverted\n");
    EXPECT_THAT(::testing::internal::GetCapturedStderr(), ContainsRegex("diverted\n$"));
    EXPECT_EQ(ScopedTestDir::read("precious"), "keep me\n");
}

}  // namespace
