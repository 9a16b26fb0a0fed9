// dirtool end to end on flat LDIF files: the built program, run as a user runs it.
#include <gtest/gtest.h>
#include <ldap.h>

#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dirtool_runner.h"
#include "error_report.h"
#include "ldif_reader.h"
#include "test_processes.h"

namespace dirtool::test {
namespace {

using dirclient::test::read_file;
using dirclient::test::TempDir;
using dirclient::test::write_file;

const char kSeed[] =
    "version: 1\n"
    "\n"
    "dn: o=acme\n"
    "objectClass: organization\n"
    "o: acme\n"
    "\n"
    "dn: ou=people,o=acme\n"
    "objectClass: organizationalUnit\n"
    "ou: people\n"
    "\n"
    "dn: cn=Bo Berg,ou=people,o=acme\n"
    "objectClass: person\n"
    "cn: Bo Berg\n"
    "sn: Berg\n"
    "\n"
    "dn: cn=Al Ames,ou=people,o=acme\n"
    "objectClass: person\n"
    "cn: Al Ames\n"
    "sn: Ames\n";

class FlatFile : public ::testing::Test {
  protected:
    void SetUp() override { write_file(path_, kSeed); }

    // dirtool on the seeded file, named relative to the folder it runs in.
    RunResult dirtool(std::vector<std::string> args, const std::string& input = "") {
        args.insert(args.begin(), {"-H", "FILE:///dir.ldif"});
        RunOptions options;
        options.input = input;
        options.cwd = dir_.path();
        return run_dirtool(args, options);
    }

    // Runs dirtool, expects it to succeed, and returns its output.
    std::string ok(std::vector<std::string> args, const std::string& input = "") {
        RunResult r = dirtool(std::move(args), input);
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out;
    }

    std::string saved() { return read_file(path_); }

    // The seed as it was, never rewritten.
    void expect_untouched() {
        EXPECT_EQ(saved(), kSeed);
        struct stat st;
        EXPECT_NE(stat((path_ + ".txt").c_str(), &st), 0);
    }

    TempDir dir_{"dirtool-flat"};
    std::string path_ = dir_.file("dir.ldif");
};

TEST_F(FlatFile, SearchesSortsAndReadsAsLdif) {
    using Dns = std::vector<std::string>;
    EXPECT_EQ(dns_of(ok({"search", "o=acme", "sub"})),
              (Dns{"o=acme", "ou=people,o=acme", "cn=Bo Berg,ou=people,o=acme",
                   "cn=Al Ames,ou=people,o=acme"}));
    EXPECT_EQ(
        ok({"search", "ou=people,o=acme", "one", "(objectclass=person)", "sn", "--sort", "sn"}),
        "dn: cn=Al Ames,ou=people,o=acme\nsn: Ames\n\ndn: cn=Bo Berg,ou=people,o=acme\nsn: "
        "Berg\n\n");
    EXPECT_EQ(dns_of(ok({"search", "ou=people,o=acme", "1", "cn=*", "--sort=cn:desc"})),
              (Dns{"cn=Bo Berg,ou=people,o=acme", "cn=Al Ames,ou=people,o=acme"}));
    EXPECT_EQ(dns_of(ok({"search", "o=acme", "base"})), Dns{"o=acme"});

    EXPECT_EQ(ok({"read", "cn=al ames, ou=people, o=acme"}),
              "dn: cn=Al Ames,ou=people,o=acme\nobjectClass: person\ncn: Al Ames\nsn: Ames\n\n");
    EXPECT_EQ(ok({"read", "cn=Al Ames,ou=people,o=acme", "sn"}),
              "dn: cn=Al Ames,ou=people,o=acme\nsn: Ames\n\n");
}

// --match ldap answers as a server: "Berg" is no word match of "Bo Berg" there, and an
// extensible filter is refused with the reason.
TEST_F(FlatFile, MatchesAsAServerWhenAsked) {
    using Dns = std::vector<std::string>;
    EXPECT_EQ(dns_of(ok({"search", "o=acme", "sub", "(cn=Berg)"})),
              Dns{"cn=Bo Berg,ou=people,o=acme"});
    EXPECT_EQ(ok({"--match", "ldap", "search", "o=acme", "sub", "(cn=Berg)"}), "");
    EXPECT_EQ(dns_of(ok({"--match", "ldap", "search", "o=acme", "sub", "(cn=bo  BERG)"})),
              Dns{"cn=Bo Berg,ou=people,o=acme"});
    RunResult refused = dirtool({"--match", "ldap", "search", "o=acme", "sub", "(cn:dn:=x)"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(contains(refused.err, "extensible match filters are not supported")) << refused.err;
}

// A search that matches nothing is no failure; a base that does not exist is one.
TEST_F(FlatFile, TellsAnEmptyAnswerFromAMissingBase) {
    RunResult none = dirtool({"search", "o=acme", "sub", "(cn=nobody)"});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "");
    EXPECT_TRUE(contains(none.err, "no entries found")) << none.err;
    EXPECT_EQ(dirtool({"search", "", "one", "(o=none)"}).status, 0);

    RunResult missing = dirtool({"search", "o=nowhere", "sub"});
    EXPECT_EQ(missing.status, LDAP_NO_SUCH_OBJECT);  // the LDAP result, as exit status
    EXPECT_TRUE(contains(
        missing.err,
        "cannot search o=nowhere: ERROR: can not search [609]: LDAP result 32, No such object"))
        << missing.err;
    RunResult read = dirtool({"read", "cn=nobody,o=acme"});
    EXPECT_EQ(read.status, LDAP_NO_SUCH_OBJECT);
    EXPECT_TRUE(contains(read.err, "LDAP result 32")) << read.err;
}

TEST_F(FlatFile, ChangesAreSavedToTheFile) {
    write_file(
        dir_.file("new.ldif"),
        "dn: cn=Cy Cole,ou=people,o=acme\nobjectClass: person\ncn: Cy Cole\nsn: Cole\n\n"
        "dn: ou=staff,o=acme\nchangetype: add\nobjectClass: organizationalUnit\nou: staff\n");
    EXPECT_EQ(ok({"add", "new.ldif"}),
              "added cn=Cy Cole,ou=people,o=acme\nadded ou=staff,o=acme\n");
    EXPECT_TRUE(contains(saved(), "dn: cn=Cy Cole,ou=people,o=acme\n"));
    EXPECT_EQ(read_file(path_ + ".txt"), kSeed);  // the previous contents are kept

    EXPECT_EQ(ok({"modify", "cn=Cy Cole,ou=people,o=acme"},
                 "replace: sn\nsn: Cole-Ray\n-\nadd: mail\nmail: cy@acme.example\n-\n"),
              "modified cn=Cy Cole,ou=people,o=acme\n");
    EXPECT_TRUE(contains(saved(), "sn: Cole-Ray\nmail: cy@acme.example\n")) << saved();

    EXPECT_EQ(ok({"rename", "cn=Cy Cole,ou=people,o=acme", "cn=Cyd Cole"}),
              "renamed cn=Cy Cole,ou=people,o=acme to cn=Cyd Cole,ou=people,o=acme\n");
    ok({"rename", "cn=Cyd Cole,ou=people,o=acme", "cn=Cyd Cole", "ou=staff,o=acme"});
    EXPECT_EQ(ok({"read", "cn=Cyd Cole,ou=staff,o=acme", "cn"}),
              "dn: cn=Cyd Cole,ou=staff,o=acme\ncn: Cyd Cole\n\n");  // the old RDN value went
    ok({"rename", "cn=Bo Berg,ou=people,o=acme", "cn=Bob Berg", "--keep-old-rdn"});
    EXPECT_EQ(ok({"read", "cn=Bob Berg,ou=people,o=acme", "cn"}),
              "dn: cn=Bob Berg,ou=people,o=acme\ncn: Bo Berg\ncn: Bob Berg\n\n");

    EXPECT_EQ(ok({"delete", "cn=Al Ames,ou=people,o=acme"}),
              "deleted cn=Al Ames,ou=people,o=acme\n");
    RunResult parent = dirtool({"delete", "ou=people,o=acme"});
    EXPECT_EQ(parent.status, LDAP_NOT_ALLOWED_ON_NONLEAF);
    EXPECT_TRUE(contains(parent.err, "LDAP result 66")) << parent.err;
    EXPECT_TRUE(contains(parent.err, "delete -r removes them too")) << parent.err;
    ok({"delete", "-r", "ou=people,o=acme"});
    EXPECT_EQ(dns_of(saved()), (std::vector<std::string>{"o=acme", "ou=staff,o=acme",
                                                         "cn=Cyd Cole,ou=staff,o=acme"}));
}

TEST_F(FlatFile, ComparesAndReportsChanges) {
    EXPECT_EQ(ok({"compare", "cn=Al Ames,ou=people,o=acme", "sn", "ames"}), "true\n");
    RunResult no = dirtool({"compare", "cn=Al Ames,ou=people,o=acme", "sn", "Ames", "Berg"});
    EXPECT_EQ(no.status, kExitFalse);
    EXPECT_EQ(no.out, "false\n");
    RunResult absent = dirtool({"compare", "cn=Al Ames,ou=people,o=acme", "mail", "x"});
    EXPECT_EQ(absent.status, LDAP_NO_SUCH_ATTRIBUTE);
    EXPECT_TRUE(contains(absent.err, "ERROR: can not compare [603]: LDAP result 16")) << absent.err;

    RunResult changed = dirtool({"changed"});
    EXPECT_EQ(changed.status, kExitFalse);
    EXPECT_EQ(changed.out, "unchanged\n");
    EXPECT_EQ(saved(), kSeed);  // nothing was written back
}

// Values that are not plain text come out in base64, long ones folded, and read back whole.
TEST_F(FlatFile, UnsafeValuesRoundTripThroughBase64) {
    const std::string long_text(200, 'x');
    write_file(dir_.file("odd.ldif"),
               "dn: cn=odd,o=acme\nobjectClass: device\ncn: odd\n"
               "description::IGxlYWRpbmcgYmxhbms=\n"  // " leading blank"
               "l: M\xC3\xBCnchen\n"
               "seeAlso: " +
                   long_text + "\n");
    ASSERT_EQ(dirtool({"add", "odd.ldif"}).status, 0);
    RunResult read = dirtool({"read", "cn=odd,o=acme"});
    EXPECT_TRUE(contains(read.out, "description:: IGxlYWRpbmcgYmxhbms=\n")) << read.out;
    EXPECT_TRUE(contains(read.out, "l:: TcO8bmNoZW4=\n")) << read.out;
    for (size_t start = 0, end; (end = read.out.find('\n', start)) != std::string::npos;
         start = end + 1)
        EXPECT_LE(end - start, 76u);
    std::vector<LdifRecord> back = parse_ldif(read.out);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].attributes[2].values[0], " leading blank");
    EXPECT_EQ(back[0].attributes[3].values[0], "M\xC3\xBCnchen");
    EXPECT_EQ(back[0].attributes[4].values[0], long_text);
}

TEST_F(FlatFile, BadInputIsAUsageErrorAndChangesNothing) {
    struct {
        std::vector<std::string> args;
        std::string input;
        std::string message;
    } cases[] = {
        {{"add", "missing.ldif"}, "", "cannot read missing.ldif: No such file or directory"},
        {{"add", "bad.ldif"}, "", "bad.ldif:3: expected \"name: value\""},
        {{"add", "change.ldif"}, "", "change.ldif:1: add takes entries"},
        {{"add", "empty.ldif"}, "", "empty.ldif holds no entries"},
        {{"modify", "o=acme"},
         "increment: description\n",
         "standard input:1: increment: description needs exactly one value"},
        {{"modify", "o=acme"}, "", "standard input: no changes given"},
        {{"search", "o=acme", "deep"}, "", "unknown scope \"deep\""},
    };
    write_file(dir_.file("bad.ldif"), "dn: cn=x,o=acme\ncn: x\nsn x\n");
    write_file(dir_.file("change.ldif"), "dn: o=acme\nchangetype: delete\n");
    write_file(dir_.file("empty.ldif"), "# nothing\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        RunResult r = dirtool(c.args, c.input);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(contains(r.err, "dirtool: " + c.message)) << r.err;
    }
    expect_untouched();
}

// The entries before the failing one stay added, and the run says how far it got.
TEST_F(FlatFile, AddStopsAtTheFirstFailure) {
    write_file(dir_.file("three.ldif"),
               "dn: cn=n1,o=acme\ncn: n1\n\n"
               "dn: cn=Al Ames,ou=people,o=acme\ncn: Al Ames\n\n"
               "dn: cn=n3,o=acme\ncn: n3\n");
    RunResult r = dirtool({"add", "three.ldif"});
    EXPECT_EQ(r.status, LDAP_ALREADY_EXISTS);
    EXPECT_EQ(r.out, "added cn=n1,o=acme\n");
    EXPECT_TRUE(contains(r.err,
                         "cannot add cn=Al Ames,ou=people,o=acme (three.ldif:4): "
                         "ERROR: can not add entry [601]: LDAP result 68, Already exists"))
        << r.err;
    EXPECT_TRUE(contains(r.err, "added 1 of 3 entries")) << r.err;
    std::vector<std::string> dns = dns_of(saved());
    EXPECT_NE(std::find(dns.begin(), dns.end(), "cn=n1,o=acme"), dns.end());
    EXPECT_EQ(std::find(dns.begin(), dns.end(), "cn=n3,o=acme"), dns.end());
}

TEST_F(FlatFile, ReportsAFileThatCannotBeWrittenBack) {
    RunOptions options;
    options.cwd = dir_.path();
    options.input = "replace: o\no: acme corporation\n";
    options.file_size_limit = 64;  // less than the file
    RunResult r = run_dirtool({"-H", "FILE:///dir.ldif", "modify", "o=acme"}, options);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "modified o=acme\n");
    EXPECT_TRUE(contains(r.err,
                         "cannot write the changes back to dir.ldif: ERROR: can not disconnect "
                         "[606]: Can't contact LDIF flat file"))
        << r.err;
    EXPECT_TRUE(contains(r.err, "cannot write dir.ldif: File too large")) << r.err;
    EXPECT_EQ(saved(), kSeed);
}

// Runs started together on one file take turns: none loses another's entry.
TEST_F(FlatFile, ConcurrentRunsOnOneFileLoseNothing) {
    std::string script =
        "pids=; for i in 1 2 3 4 5 6 7 8; do \"$0\" -H FILE:///dir.ldif add "
        "e$i.ldif >/dev/null & pids=\"$pids $!\"; done; status=0; "
        "for p in $pids; do wait $p || status=1; done; exit $status";
    for (int i = 1; i <= 8; ++i) {
        std::string n = std::to_string(i);
        write_file(dir_.file("e" + n + ".ldif"), "dn: cn=u" + n + ",o=acme\ncn: u" + n + "\n");
    }
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        write_file(path_, kSeed);
        int status = dirclient::test::run(
            {"/bin/bash", "-c", "cd '" + dir_.path() + "' && " + script, DIRTOOL_PATH});
        EXPECT_EQ(status, 0);
        std::vector<std::string> dns = dns_of(saved());
        EXPECT_EQ(dns.size(), 4u + 8u);
        for (int i = 1; i <= 8; ++i) {
            std::string dn = "cn=u" + std::to_string(i) + ",o=acme";
            EXPECT_NE(std::find(dns.begin(), dns.end(), dn), dns.end()) << dn;
        }
    }
}

// A reader that stops early (dirtool ... | head) must not cost the changes already made.
TEST_F(FlatFile, ReaderGoingAwayLosesNoChanges) {
    std::string many;
    for (int i = 0; i < 3000; ++i)
        many += "dn: cn=n" + std::to_string(i) + ",o=acme\ncn: n" + std::to_string(i) + "\n\n";
    write_file(dir_.file("many.ldif"), many);
    RunOptions options;
    options.cwd = dir_.path();
    std::string script =
        "\"$0\" -H FILE:///dir.ldif add many.ldif | head -c 10 >/dev/null; exit ${PIPESTATUS[0]}";
    int status = dirclient::test::run(
        {"/bin/bash", "-c", "cd '" + dir_.path() + "' && " + script, DIRTOOL_PATH});
    EXPECT_EQ(status, 1);  // the output was lost, and the status says so
    EXPECT_EQ(dns_of(saved()).size(), 4u + 3000u);
}

TEST_F(FlatFile, OpensEveryFormOfFileHost) {
    auto dns = [&](const std::string& host, const RunOptions& options) {
        RunResult r = run_dirtool({"-H", host, "search", "o=acme", "base"}, options);
        EXPECT_EQ(r.status, 0) << host << ": " << r.err;
        return dns_of(r.out);
    };
    const std::vector<std::string> acme{"o=acme"};
    RunOptions here;
    here.cwd = dir_.path();
    EXPECT_EQ(dns("file:///dir.ldif", here), acme);
    EXPECT_EQ(dns("FILE:///dir.ldif/o=acme", here), acme);  // a base DN after the path
    EXPECT_EQ(dns("FILE:///" + path_, {}), acme);           // four slashes: absolute
    RunOptions env = here;
    env.env = {{"DIRTOOL_HOST", "FILE:///dir.ldif"}};
    RunResult from_env = run_dirtool({"read", "o=acme", "o"}, env);
    EXPECT_EQ(from_env.out, "dn: o=acme\no: acme\n\n") << from_env.err;

    // Three slashes before an absolute path name a relative one: say so.
    RunResult wrong = run_dirtool({"-H", "FILE://" + path_, "read", "o=acme"});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_TRUE(contains(wrong.err, "cannot connect to FILE://" + path_)) << wrong.err;
    EXPECT_TRUE(contains(wrong.err, "the path after FILE:/// is relative: FILE:///" + path_))
        << wrong.err;
}

TEST_F(FlatFile, ProfileReportGoesToStandardErrorOrItsFile) {
    RunResult r = dirtool({"--profile", "search", "o=acme", "sub"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dns_of(r.out).size(), 4u);  // standard output stays LDIF
    EXPECT_TRUE(contains(r.err, "dirtool CPU: ")) << r.err;
    EXPECT_TRUE(contains(r.err, "  operation CPU: ")) << r.err;
    EXPECT_TRUE(contains(r.err, "  ldif_output CPU: ")) << r.err;
    EXPECT_TRUE(contains(r.err, "count: 1\n")) << r.err;

    RunOptions options;
    options.cwd = dir_.path();
    options.env = {{"QDX_PROFILE_FILE", dir_.file("profile.txt")},
                   {"QDX_PROFILE_REPORT_COUNT", "1"}};
    RunResult to_file =
        run_dirtool({"-H", "FILE:///dir.ldif", "--profile", "read", "o=acme"}, options);
    EXPECT_EQ(to_file.status, 0);
    EXPECT_EQ(to_file.err, "");
    std::string report = read_file(dir_.file("profile.txt"));
    EXPECT_TRUE(contains(report, "Thread 0\ndirtool count: 1\n")) << report;
    EXPECT_TRUE(contains(report, "Total threads:")) << report;
}

// The options of the usual LDAP tools, with their meaning, beside dirtool's own syntax.
TEST_F(FlatFile, SearchesWithTheLdapToolsOptions) {
    write_file(dir_.file("filters.txt"), "Ames\n\nBerg\n");
    struct {
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err;  // part of standard error
    } cases[] = {
        {{"-x", "-b", "o=acme", "-s", "one", "-LLL", "(ou=*)", "ou"},
         0,
         "dn: ou=people,o=acme\nou: people\n\n",
         ""},
        {{"-xLLL", "-b", "o=acme", "-s", "base", "(o=acme)", "1.1"}, 0, "dn: o=acme\n\n", ""},
        {{"search", "-b", "ou=people,o=acme", "-s", "children", "-S", "sn", "(cn=*)", "sn"},
         0,
         "dn: cn=Al Ames,ou=people,o=acme\nsn: Ames\n\ndn: cn=Bo Berg,ou=people,o=acme\nsn: "
         "Berg\n\n",
         ""},
        {{"-b", "ou=people,o=acme", "-s", "children", "-LLL", "(objectClass=*)", "1.1"},
         0,
         "dn: cn=Bo Berg,ou=people,o=acme\n\ndn: cn=Al Ames,ou=people,o=acme\n\n",
         ""},
        {{"-b", "o=acme", "-s", "base", "-LL", "(o=*)", "o"},
         0,
         "version: 1\n\ndn: o=acme\no: acme\n\n",
         ""},
        {{"-b", "o=acme", "-z", "1"},
         4,
         "dn: o=acme\nobjectClass: organization\no: acme\n\n",
         "size limit exceeded"},
        {{"-b", "o=acme", "-A", "(cn=Al Ames)"},
         0,
         "dn: cn=Al Ames,ou=people,o=acme\nobjectClass:\ncn:\nsn:\n\n",
         ""},
        {{"-b", "o=acme", "-l", "5", "-s", "base", "(o=*)", "o"},
         0,
         "dn: o=acme\no: acme\n\n",
         "-l has no effect on a flat file"},
        {{"-b", "ou=people,o=acme", "-f", "filters.txt", "(sn=%s)", "cn"},
         0,
         "dn: cn=Al Ames,ou=people,o=acme\ncn: Al Ames\n\ndn: cn=Bo Berg,ou=people,o=acme\ncn: "
         "Bo Berg\n\n",
         ""},
        {{"-n", "-b", "o=acme", "(cn=*)"}, 0, "", "would search o=acme (subtree) for (cn=*)"},
        {{"-b", "o=nowhere"}, LDAP_NO_SUCH_OBJECT, "", "LDAP result 32, No such object"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        RunResult r = dirtool(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_TRUE(contains(r.err, c.err)) << r.err;
    }
    // -L: comments and a version line, which read back as entries.
    RunResult commented = dirtool({"-b", "ou=people,o=acme", "-L", "(sn=Ames)"});
    EXPECT_TRUE(contains(commented.out, "# filter: (sn=Ames)\n")) << commented.out;
    EXPECT_EQ(dns_of(commented.out), std::vector<std::string>{"cn=Al Ames,ou=people,o=acme"});
}

const char kChanges[] =
    "version: 1\n"
    "\n"
    "# a new unit\n"
    "dn: ou=staff,o=acme\n"
    "changetype: add\n"
    "objectClass: organizationalUnit\n"
    "ou: staff\n"
    "\n"
    "dn: cn=Al Ames,ou=people,o=acme\n"
    "changetype: modify\n"
    "add: mail\n"
    "mail: al@acme.example\n"
    "-\n"
    "replace: sn\n"
    "sn: Ames-Ray\n"
    "-\n"
    "add: uidNumber\n"
    "uidNumber: 41\n"
    "-\n"
    "\n"
    "dn: cn=Al Ames,ou=people,o=acme\n"
    "changetype: modify\n"
    "increment: uidNumber\n"
    "uidNumber: 2\n"
    "-\n"
    "delete: mail\n"
    "mail: al@acme.example\n"
    "-\n"
    "replace: description\n"
    "-\n"
    "\n"
    "dn: cn=Bo Berg,ou=people,o=acme\n"
    "changetype: modrdn\n"
    "newrdn: cn=Bob Berg\n"
    "deleteoldrdn: 0\n"
    "\n"
    "dn: cn=Bob Berg,ou=people,o=acme\n"
    "changetype: moddn\n"
    "newrdn: cn=Bob Berg\n"
    "deleteoldrdn: 1\n"
    "newsuperior: ou=staff,o=acme\n"
    "\n"
    "dn: cn=Al Ames,ou=people,o=acme\n"
    "changetype: delete\n";

TEST_F(FlatFile, AppliesAChangeFileInOrder) {
    write_file(dir_.file("changes.ldif"), kChanges);
    const std::string expected =
        "added ou=staff,o=acme\n"
        "modified cn=Al Ames,ou=people,o=acme\n"
        "modified cn=Al Ames,ou=people,o=acme\n"
        "renamed cn=Bo Berg,ou=people,o=acme to cn=Bob Berg,ou=people,o=acme\n"
        "renamed cn=Bob Berg,ou=people,o=acme to cn=Bob Berg,ou=staff,o=acme\n"
        "deleted cn=Al Ames,ou=people,o=acme\n";
    // Stop before the delete to see what the modifications left.
    write_file(dir_.file("head.ldif"),
               std::string(kChanges, std::string(kChanges).find("dn: cn=Bo Berg")));
    EXPECT_EQ(ok({"apply", "head.ldif"}),
              "added ou=staff,o=acme\nmodified cn=Al Ames,ou=people,o=acme\n"
              "modified cn=Al Ames,ou=people,o=acme\n");
    EXPECT_EQ(ok({"read", "cn=Al Ames,ou=people,o=acme"}),
              "dn: cn=Al Ames,ou=people,o=acme\nobjectClass: person\ncn: Al Ames\nsn: "
              "Ames-Ray\nuidNumber: 43\n\n");

    // Every spelling of the command, each on the seed.
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"apply", "changes.ldif"}, {"modify", "-f", "changes.ldif"}, {"-f", "changes.ldif"}}) {
        SCOPED_TRACE(args[0]);
        write_file(path_, kSeed);
        EXPECT_EQ(ok(args), expected);
        EXPECT_EQ(dns_of(saved()),
                  (std::vector<std::string>{"o=acme", "ou=people,o=acme", "ou=staff,o=acme",
                                            "cn=Bob Berg,ou=staff,o=acme"}));
        // deleteoldrdn: 0 kept the first name.
        EXPECT_EQ(ok({"read", "cn=Bob Berg,ou=staff,o=acme", "cn"}),
                  "dn: cn=Bob Berg,ou=staff,o=acme\ncn: Bo Berg\ncn: Bob Berg\n\n");
    }
}

// Without -c the run stops at the failing record; with it the run goes on, and both name
// the record's line and end with the failure's LDAP result.
TEST_F(FlatFile, ContinuesPastAFailedChangeOnlyWithC) {
    write_file(dir_.file("three.ldif"),
               "dn: cn=n1,o=acme\nchangetype: add\ncn: n1\n\n"
               "dn: cn=nobody,o=acme\nchangetype: delete\n\n"
               "dn: cn=n3,o=acme\ncn: n3\n");
    RunResult stop = dirtool({"apply", "three.ldif"});
    EXPECT_EQ(stop.status, LDAP_NO_SUCH_OBJECT);
    EXPECT_EQ(stop.out, "added cn=n1,o=acme\n");
    EXPECT_TRUE(contains(stop.err, "cannot delete cn=nobody,o=acme (three.ldif:5): ")) << stop.err;
    EXPECT_TRUE(contains(stop.err, "applied 1 of 3 changes")) << stop.err;
    EXPECT_EQ(dns_of(saved()).size(), 5u);

    write_file(path_, kSeed);
    RunResult go_on = dirtool({"-c", "apply", "three.ldif"});
    EXPECT_EQ(go_on.status, LDAP_NO_SUCH_OBJECT);
    EXPECT_EQ(go_on.out, "added cn=n1,o=acme\nadded cn=n3,o=acme\n");
    EXPECT_TRUE(contains(go_on.err, "(three.ldif:5)")) << go_on.err;
    EXPECT_TRUE(contains(go_on.err, "1 of 3 changes failed")) << go_on.err;
    EXPECT_EQ(dns_of(saved()).size(), 6u);
}

TEST_F(FlatFile, DryRunLeavesTheFileUntouched) {
    write_file(dir_.file("changes.ldif"), kChanges);
    RunResult apply = dirtool({"-n", "apply", "changes.ldif"});
    EXPECT_EQ(apply.status, 0) << apply.err;
    EXPECT_TRUE(contains(apply.out, "would add ou=staff,o=acme\n")) << apply.out;
    EXPECT_TRUE(contains(apply.out,
                         "would modify cn=Al Ames,ou=people,o=acme (increment: uidNumber, "
                         "delete: mail, replace: description)\n"))
        << apply.out;
    EXPECT_TRUE(contains(apply.out, "would delete cn=Al Ames,ou=people,o=acme\n")) << apply.out;
    EXPECT_EQ(dirtool({"-n", "delete", "-r", "ou=people,o=acme"}).out,
              "would delete ou=people,o=acme and everything below it\n");
    EXPECT_EQ(dirtool({"rename", "-n", "o=acme", "o=other"}).out,
              "would rename o=acme to o=other\n");
    EXPECT_EQ(dirtool({"modify", "-n", "o=acme"}, "replace: o\no: x\n").status, 0);
    expect_untouched();
}

// What a search tool prints (comments, the version line, the result trailer) goes back in.
TEST_F(FlatFile, AddTakesSearchOutput) {
    write_file(dir_.file("listing.ldif"),
               "# extended LDIF\n#\n# LDAPv3\n# base <o=acme> with scope subtree\n"
               "# filter: (objectclass=*)\n# requesting: ALL\n#\n\n"
               "# n1, acme\ndn: cn=n1,o=acme\ncn: n1\n\n"
               "# search result\nsearch: 2\nresult: 0 Success\n\n"
               "# numResponses: 2\n# numEntries: 1\n");
    EXPECT_EQ(ok({"add", "-f", "listing.ldif"}), "added cn=n1,o=acme\n");
    write_file(dir_.file("broken.ldif"), "dn: cn=n2,o=acme\ncn: n2\n\nsearch: 2\nsn: x\n");
    RunResult broken = dirtool({"add", "broken.ldif"});
    EXPECT_EQ(broken.status, 2);
    EXPECT_TRUE(contains(broken.err, "broken.ldif:5: unexpected \"sn:\"")) << broken.err;
}

TEST(Dirtool, HelpAndUsageErrors) {
    RunResult help = run_dirtool({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: dirtool -H HOST", 0), 0u);
    EXPECT_TRUE(contains(help.out, "FILE:////srv/dir.ldif"));
    RunResult none = run_dirtool({});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, "dirtool: no command given\nRun \"dirtool --help\" for the usage.\n");
    RunResult no_host = run_dirtool({"search", "o=x", "sub"});
    EXPECT_EQ(no_host.status, 2);
    EXPECT_TRUE(contains(no_host.err, "use -H HOST or set DIRTOOL_HOST"));
    EXPECT_EQ(run_dirtool({"--version"}).status, 0);
}

}  // namespace
}  // namespace dirtool::test
