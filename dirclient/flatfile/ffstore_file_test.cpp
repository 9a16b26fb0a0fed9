// What a save does to the file on disk: other processes' changes win, links stay links,
// owner and mode stay, leftovers of dead writers go, and failures say why.

#include "flatfile_test_support.h"
#include "ldap_result_codes.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

namespace {

using namespace fftest;
namespace fs = std::filesystem;

class FFStoreFileTest : public StoreTest {
  protected:
    void TearDown() override {
        FFConnection::holdFile(false);
        StoreTest::TearDown();
    }

    // Adds an entry and disconnects; the exception of the save (null: saved).
    DException* changeAndSave(FFConnection& c, const std::string& dn = "cn=mine,o=x") {
        addOk(c, dn);
        DException* e = nullptr;
        c.disconnect(&e);
        return e;
    }

    static std::string saveFailure(const std::string& why) {
        return "Can't contact LDIF flat file: " + why;
    }
};

const char kSeed[] = "dn: o=x\no: x\n\n";

// Exit status of a child process running body (0: it held).
int inChild(const std::function<bool()>& body) {
    pid_t child = fork();
    if (child == 0) _exit(body() ? 0 : 1);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(FFStoreFileTest, AFileChangedSinceTheLoadIsNeverOverwritten) {
    const std::string changed =
        saveFailure("dir.ldif was changed by another process since it was loaded; not overwritten");
    struct Row {
        const char* what;
        std::function<void()> otherProcess;
        const char* left;  // the file afterwards; null: none
    } rows[] = {
        {"rewritten", [] { writeText("dir.ldif", "dn: o=theirs\n\n"); }, "dn: o=theirs\n\n"},
        {"replaced",
         [] {
             writeText("new.ldif", "dn: o=x\no: y\n\n");
             fs::rename("new.ldif", "dir.ldif");
         },
         "dn: o=x\no: y\n\n"},
        {"deleted", [] { fs::remove("dir.ldif"); }, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        FFConnection c;
        load(c, kSeed);
        row.otherProcess();
        DException* e = changeAndSave(c);
        expectFailure(e, DEXC_DISCONNECT, QDX_LDAP_SUCCESS, changed.c_str());
        if (row.left != nullptr) {
            EXPECT_EQ(read("dir.ldif"), row.left);
        } else {
            EXPECT_FALSE(fs::exists("dir.ldif"));
        }
        c.disconnect(&e);  // still refused: the changes stay unsaved
        expectFailure(e, DEXC_DISCONNECT, QDX_LDAP_SUCCESS, changed.c_str());
        FFConnection::empty();
        fs::remove("dir.ldif.txt");
    }
}

// Two processes that loaded one file: the first save wins, the second is refused.
TEST_F(FFStoreFileTest, OfTwoWritersTheSecondIsRefused) {
    FFConnection c;
    load(c, kSeed);
    EXPECT_EQ(inChild([&] {
                  DException* e = changeAndSave(c, "cn=child,o=x");
                  return e == nullptr;
              }),
              0);
    DException* e = changeAndSave(c, "cn=parent,o=x");
    ASSERT_NE(e, nullptr);
    EXPECT_NE(entrytest::failureText(*e).find("changed by another process"), std::string::npos);
    delete e;
    EXPECT_NE(read("dir.ldif").find("cn=child,o=x"), std::string::npos);
    EXPECT_EQ(read("dir.ldif").find("cn=parent,o=x"), std::string::npos);
}

// Holding: the file stays locked from the load; a writer that finds it locked waits.
TEST_F(FFStoreFileTest, AHeldFileIsLockedUntilTheLastConnectionLetsGo) {
    FFConnection::holdFile(true);
    FFConnection c;
    load(c, kSeed);
    auto lockedElsewhere = [] {
        return inChild([] {
                   int fd = ::open("dir.ldif", O_RDONLY);
                   return ::flock(fd, LOCK_EX | LOCK_NB) != 0;
               }) == 0;
    };
    EXPECT_TRUE(lockedElsewhere());
    DException* e = changeAndSave(c);
    ASSERT_EQ(e, nullptr);
    EXPECT_FALSE(lockedElsewhere());
    EXPECT_NE(read("dir.ldif").find("cn=mine,o=x"), std::string::npos);
    // The next connection takes the lock again, on the file the save put in place.
    c.connect("FILE:///dir.ldif", 0, &e);
    ASSERT_EQ(e, nullptr);
    EXPECT_TRUE(lockedElsewhere());
}

TEST_F(FFStoreFileTest, ASymlinkIsWrittenThroughAndStaysALink) {
    fs::create_directory("real");
    writeText("real/dir.ldif", kSeed);
    fs::create_symlink("real/dir.ldif", "link.ldif");
    FFConnection c;
    DException* e = nullptr;
    c.connect("FILE:///link.ldif", 0, &e);
    ASSERT_EQ(e, nullptr);
    e = changeAndSave(c);
    ASSERT_EQ(e, nullptr);
    EXPECT_TRUE(fs::is_symlink("link.ldif"));
    EXPECT_NE(read("real/dir.ldif").find("cn=mine,o=x"), std::string::npos);
    // The previous contents are kept beside the file that was written.
    EXPECT_EQ(read("real/dir.ldif.txt"), kSeed);
    EXPECT_FALSE(fs::exists("link.ldif.txt"));
}

TEST_F(FFStoreFileTest, OnlyRegularFilesAreWritten) {
    FFConnection c;
    load(c, kSeed);
    fs::remove("dir.ldif");
    ASSERT_EQ(mkfifo("dir.ldif", 0600), 0);
    DException* e = changeAndSave(c);
    expectFailure(e, DEXC_DISCONNECT, QDX_LDAP_SUCCESS,
                  saveFailure("dir.ldif is not a regular file; not overwritten").c_str());
    EXPECT_TRUE(fs::is_fifo("dir.ldif"));
    // Holding, a FIFO is refused at once instead of waiting for a writer.
    FFConnection::empty();
    FFConnection::holdFile(true);
    FFConnection other;
    other.connect("FILE:///dir.ldif", 0, &e);
    expectFailure(e, DEXC_CONNECT, QDX_LDAP_SERVER_DOWN, "dir.ldif is not a regular file");
}

TEST_F(FFStoreFileTest, OwnerAndModeStayForTheFileAndItsBackup) {
    if (geteuid() != 0) GTEST_SKIP() << "giving files away needs root";
    FFConnection c;
    load(c, kSeed);
    ASSERT_EQ(::chown("dir.ldif", 4321, 4322), 0);
    ASSERT_EQ(::chmod("dir.ldif", 0600), 0);
    DException* e = changeAndSave(c);
    ASSERT_EQ(e, nullptr);
    for (const char* name : {"dir.ldif", "dir.ldif.txt"}) {
        SCOPED_TRACE(name);
        struct stat st {};
        ASSERT_EQ(::stat(name, &st), 0);
        EXPECT_EQ(st.st_uid, 4321u);
        EXPECT_EQ(st.st_gid, 4322u);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
    }
}

TEST_F(FFStoreFileTest, TemporariesOfDeadWritersAreRemoved) {
    pid_t dead = fork();
    if (dead == 0) _exit(0);
    waitpid(dead, nullptr, 0);
    const std::string gone = std::to_string(dead);
    const std::string kept[] = {"dir.ldif.1.5.tmp",  // pid 1 runs
                                "dir.ldif." + std::to_string(getpid()) + ".999.tmp",
                                "dir.ldif.x.1.tmp", "other.ldif." + gone + ".1.tmp"};
    const std::string stale[] = {"dir.ldif." + gone + ".1.tmp", "dir.ldif.txt." + gone + ".2.tmp"};
    FFConnection c;
    load(c, kSeed);
    for (const std::string& name : kept)
        writeText(name, "x");
    for (const std::string& name : stale)
        writeText(name, "x");
    DException* e = changeAndSave(c);
    ASSERT_EQ(e, nullptr);
    for (const std::string& name : kept)
        EXPECT_TRUE(fs::exists(name)) << name;
    for (const std::string& name : stale)
        EXPECT_FALSE(fs::exists(name)) << name;
}

// A full disk is named as such, and the file stays as it was. The small file system is
// mounted in a private mount namespace of a child process.
TEST_F(FFStoreFileTest, AFullDiskSaysSo) {
    fs::create_directory("small");
    int status = inChild([] {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", "small", "tmpfs", 0, "size=64k") != 0) {
            _exit(77);
        }
        writeText("small/dir.ldif", kSeed);
        FFConnection c;
        DException* e = nullptr;
        c.connect("FILE:///small/dir.ldif", 0, &e);
        if (e != nullptr) return false;
        for (int i = 0; i < 1000; ++i) {
            delete tryAdd(c, "cn=" + std::to_string(i) + ",o=x",
                          {{"description", std::string(100, 'd')}});
        }
        c.disconnect(&e);
        bool said = e != nullptr && entrytest::failureText(*e) ==
                                        "Can't contact LDIF flat file: cannot write "
                                        "small/dir.ldif: No space left on device";
        delete e;
        return said && ScopedTestDir::read("small/dir.ldif") == kSeed &&
               std::distance(fs::directory_iterator("small"), fs::directory_iterator()) == 1;
    });
    if (status == 77) GTEST_SKIP() << "no private mount namespace";
    EXPECT_EQ(status, 0);
}

// Connecting says why a file cannot be loaded.
TEST_F(FFStoreFileTest, ALoadRefusedForPermissionSaysSo) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
    writeText("dir.ldif", kSeed);
    ::chmod("dir.ldif", 0600);
    ::chmod(".", 0755);
    EXPECT_EQ(inChild([] {
                  if (setgid(65534) != 0 || setuid(65534) != 0) return false;
                  FFConnection c;
                  DException* e = nullptr;
                  c.connect("FILE:///dir.ldif", 0, &e);
                  bool said = e != nullptr && entrytest::failureText(*e) ==
                                                  "cannot open dir.ldif: Permission denied";
                  delete e;
                  return said && std::string(FFConnection::lastConnectFailure()) ==
                                     "cannot open dir.ldif: Permission denied";
              }),
              0);
}

}  // namespace
