// Two or more replhost processes carrying updates through the stand-in's spool folder.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "update_folder.h"
#include "update_split.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

void write_file(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// One replhost process with its standard streams in files of the test's folder.
class Host {
  public:
    Host(const fs::path& folder, const std::string& label, std::vector<std::string> args,
         const std::vector<std::string>& extra_env = {}, const std::string& input = "")
        : out_(folder / (label + ".out")), err_(folder / (label + ".err")) {
        const fs::path in = folder / (label + ".in");
        write_file(in, input);
        args.insert(args.begin(), REPLHOST_PATH);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        std::vector<std::string> env(extra_env);
        for (char** entry = environ; *entry; ++entry)
            env.emplace_back(*entry);
        std::vector<char*> envp;
        for (std::string& entry : env)
            envp.push_back(entry.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        spawned_ =
            posix_spawn(&pid_, REPLHOST_PATH, &actions, nullptr, argv.data(), envp.data()) == 0;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Host() { wait(); }

    // The exit status, or -1 when the process did not start or end normally.
    int wait() {
        if (spawned_ && status_ == -2) {
            int status = 0;
            waitpid(pid_, &status, 0);
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return spawned_ ? status_ : -1;
    }
    std::string out() const { return read_file(out_); }
    std::string err() const { return read_file(err_); }

  private:
    fs::path out_, err_;
    pid_t pid_ = 0;
    bool spawned_ = false;
    int status_ = -2;
};

class ReplHost : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/replhost-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        spool_ = "RQC_SPOOL_DIR=" + (folder_ / "spool").string();
    }
    void TearDown() override { fs::remove_all(folder_); }

    size_t queued(const std::string& queue) const {
        size_t count = 0;
        for (const auto& entry : fs::directory_iterator(folder_ / "spool" / queue))
            count += entry.path().extension() == ".msg";
        return count;
    }

    fs::path folder_;
    std::string spool_;
};

TEST_F(ReplHost, MasterAndSlaveCarryLdifRecordsBetweenProcesses) {
    Host slave(folder_, "slave", {"slave", "SLAVE1", "--count", "3", "--idle", "30"}, {spool_});
    const std::string records =
        "dn: cn=a,o=x\nchangetype: add\ncn: a\n\n\n"
        "dn: cn=b,o=x\r\nchangetype: delete\r\n\r\n"
        "dn: cn=c,o=x\nchangetype: modify\nreplace: sn\nsn: c";
    Host master(folder_, "master",
                {"master", "MASTER1", "--to", "SLAVE1", "--suffix", "Q1", "--address", "ldap://h"},
                {spool_}, records);
    ASSERT_EQ(master.wait(), 0) << master.err();
    ASSERT_EQ(slave.wait(), 0) << slave.err();
    EXPECT_EQ(slave.out(),
              "dn: cn=a,o=x\nchangetype: add\ncn: a\n\n"
              "dn: cn=b,o=x\r\nchangetype: delete\r\n\n"
              "dn: cn=c,o=x\nchangetype: modify\nreplace: sn\nsn: c\n\n");
    const std::string put_line = "replhost: [65535] Velt PutRequest to: SLAVE1 (ldap://h)\n";
    EXPECT_EQ(master.err(),
              put_line + put_line + put_line + "replhost: MASTER1 sent 3 updates to SLAVE1\n");
    EXPECT_EQ(queued("SLAVE1"), 0U);
}

TEST_F(ReplHost, UpdatesOfZeroBytesAndOneMegabyteArriveIntact) {
    std::string large(1 << 20, '\0');
    std::mt19937 random(1);
    for (char& byte : large)
        byte = static_cast<char>(random());
    EXPECT_EQ(
        Host(folder_, "empty", {"master", "M", "--to", "S", "--split", "whole"}, {spool_}).wait(),
        0);
    EXPECT_EQ(
        Host(folder_, "large", {"master", "M", "--to", "S", "--split", "whole"}, {spool_}, large)
            .wait(),
        0);
    ASSERT_EQ(queued("S"), 2U);
    // A fetched update of 0 bytes reads as none to the host; the one behind it still comes.
    Host slave(folder_, "slave",
               {"slave", "S", "--count", "1", "--out", (folder_ / "got").string()}, {spool_});
    ASSERT_EQ(slave.wait(), 0) << slave.err();
    EXPECT_TRUE(read_file(folder_ / "got" / "update-000001") == large);
    EXPECT_FALSE(fs::exists(folder_ / "got" / "update-000002"));
    EXPECT_EQ(queued("S"), 0U);
}

TEST_F(ReplHost, SeveralMastersFeedOneSlave) {
    std::string lines[2];
    std::set<std::string> expected;
    for (int m = 0; m < 2; ++m)
        for (int i = 0; i < 25; ++i) {
            std::string update = "master " + std::to_string(m) + " update " + std::to_string(i);
            lines[m] += update + "\n";
            expected.insert(update);
        }
    Host slave(folder_, "slave", {"slave", "S", "--count", "50", "--idle", "30"}, {spool_});
    Host first(folder_, "m0", {"master", "M0", "--to", "S", "--split", "line"}, {spool_}, lines[0]);
    Host second(folder_, "m1", {"master", "M1", "--to", "S", "--split", "line"}, {spool_},
                lines[1]);
    ASSERT_EQ(first.wait(), 0) << first.err();
    ASSERT_EQ(second.wait(), 0) << second.err();
    ASSERT_EQ(slave.wait(), 0) << slave.err();
    std::istringstream out(slave.out());
    std::set<std::string> received;
    for (std::string line; std::getline(out, line);)
        if (!line.empty()) received.insert(line);
    EXPECT_EQ(received, expected);
}

TEST_F(ReplHost, FailuresReachTheHostsLogAndExitStatus) {
    Host master(folder_, "master", {"master", "M", "--to", "S"}, {spool_, "RQC_TEST_FAIL=put"},
                "update\n");
    EXPECT_EQ(master.wait(), 1);
    EXPECT_NE(master.err().find("Velt FAILED to PUTMSG to: S\n"
                                "replhost: [65535] Error - Result CompCode = 2, RtnType = 9, "
                                "OpType = 3\n"),
              std::string::npos)
        << master.err();

    Host slave(folder_, "slave", {"slave", "a/b"}, {spool_});
    EXPECT_EQ(slave.wait(), 1);
    EXPECT_NE(slave.err().find("Velt FAILED to initialize SLAVE: a/b\n"), std::string::npos);
    EXPECT_NE(slave.err().find("application name \"a/b\" cannot name a queue"), std::string::npos);

    Host unset(folder_, "unset", {"slave", "S"}, {"RQC_SPOOL_DIR="});
    EXPECT_EQ(unset.wait(), 1);
    EXPECT_NE(unset.err().find("RQC_SPOOL_DIR is not set"), std::string::npos);
}

TEST_F(ReplHost, RefusesBadCommandLinesAndForeignLibraries) {
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {}, {"master", "M"}, {"slave"}, {"slave", "S", "--count", "x"}, {"relay", "R"}}) {
        Host host(folder_, "usage", args, {spool_});
        EXPECT_EQ(host.wait(), 2);
        EXPECT_EQ(host.err().rfind("usage: replhost", 0), 0U);
    }
    Host missing(folder_, "missing", {"--plugin", "/no/such.so", "slave", "S"}, {spool_});
    EXPECT_EQ(missing.wait(), 1);
    Host foreign(folder_, "foreign", {"--plugin", RQC_LIBRARY_DIR "/librqc.so", "slave", "S"},
                 {spool_});
    EXPECT_EQ(foreign.wait(), 1);
    EXPECT_NE(foreign.err().find("no qdxDllEntry"), std::string::npos) << foreign.err();
}

// A slave whose folder fills up: the update it could not keep is named as lost, nothing
// half-written is left, the exit status says so and the updates behind it stay queued.
TEST_F(ReplHost, AnUpdateThatCannotBeWrittenIsReportedLost) {
    if (std::system("unshare -m true 2>/dev/null") != 0) GTEST_SKIP() << "no mount namespace";
    std::string updates;
    for (char c : {'a', 'b', 'c'})
        updates += std::string(40000, c) + "\n\n";
    ASSERT_EQ(Host(folder_, "master", {"master", "M", "--to", "S"}, {spool_}, updates).wait(), 0);
    const fs::path small = folder_ / "small";
    fs::create_directory(small);
    std::string command = "unshare -m sh -c 'mount -t tmpfs -o size=64k tmpfs " + small.string() +
                          " && " + spool_ + " " REPLHOST_PATH " slave S --count 3 --out " +
                          small.string() + "/got; status=$?; ls -A " + small.string() +
                          "/got; exit $status' >" + (folder_ / "out").string() + " 2>" +
                          (folder_ / "err").string();
    int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    std::string err = read_file(folder_ / "err");
    EXPECT_NE(err.find("No space left on device"), std::string::npos) << err;
    EXPECT_NE(err.find("replhost: update 2 lost\n"), std::string::npos) << err;
    EXPECT_EQ(read_file(folder_ / "out"), "update-000001\n");
    EXPECT_EQ(queued("S"), 1U);
}

TEST(UpdateFolder, NeverReplacesAnUpdateFile) {
    char pattern[] = "/tmp/update-folder-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path folder = pattern;
    write_file(folder / "update-000002", "earlier run");
    // Two slaves on one folder, each with its own count.
    replhost::UpdateFolder first(folder.string()), second(folder.string());
    ASSERT_TRUE(first.write("one", 3));
    ASSERT_TRUE(second.write("two", 3));
    ASSERT_TRUE(first.write("three", 5));
    EXPECT_EQ(read_file(folder / "update-000001"), "one");
    EXPECT_EQ(read_file(folder / "update-000002"), "earlier run");
    EXPECT_EQ(read_file(folder / "update-000003"), "two");
    EXPECT_EQ(read_file(folder / "update-000004"), "three");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 4);
    replhost::UpdateFolder missing((folder / "none").string());
    EXPECT_FALSE(missing.write("x", 1));
    EXPECT_NE(missing.error().find("No such file or directory"), std::string::npos);
    fs::remove_all(folder);
}

TEST(UpdateSplit, DividesInputAsAsked) {
    using replhost::Split;
    struct Case {
        std::string input;
        Split how;
        std::vector<std::string> updates;
    } cases[] = {
        {"", Split::kBlankLine, {}},
        {"\n\n", Split::kBlankLine, {}},
        {"a\nb\n\n\nc", Split::kBlankLine, {"a\nb\n", "c\n"}},
        {"a\r\n\r\nb\r\n", Split::kBlankLine, {"a\r\n", "b\r\n"}},
        {"a\n\nb", Split::kLine, {"a", "b"}},
        {"", Split::kWhole, {""}},
        {"a\n\nb", Split::kWhole, {"a\n\nb"}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(replhost::split_updates(cases[i].input, cases[i].how), cases[i].updates);
    }
    EXPECT_FALSE(replhost::parse_split("lines"));
}

}  // namespace
