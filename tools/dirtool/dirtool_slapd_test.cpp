// dirtool end to end against private slapd servers (label "integration").
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <dirclient/dn_normalize.h>
#include <dirclient/ldap_result_codes.h>
#include <dirclient/object_memory.h>
#include "dirtool_runner.h"
#include "error_report.h"
#include "ldif_reader.h"
#include "slapd_server.h"
#include "test_processes.h"

namespace dirtool::test {
namespace {

using dirclient::test::SlapdServer;

constexpr const char* kPeople = SlapdServer::kPeople;
constexpr const char* kAlice = SlapdServer::kAlice;

class Server : public ::testing::Test {
  protected:
    // dirtool on the server, bound as its administrator unless anonymous.
    RunResult dirtool(std::vector<std::string> args, const std::string& input = "",
                      bool anonymous = false) {
        std::vector<std::string> head{"-H", server_.url()};
        if (!anonymous)
            head.insert(head.end(),
                        {"-D", SlapdServer::kAdminDn, "-w", SlapdServer::kAdminPassword});
        args.insert(args.begin(), head.begin(), head.end());
        return run_dirtool(args, options(input));
    }

    RunOptions options(const std::string& input = "") {
        RunOptions o;
        o.input = input;
        o.cwd = dir_.path();
        o.env = {{"QDX_NETWORK_TIMEOUT", "2"}};
        return o;
    }

    SlapdServer server_;
    dirclient::test::TempDir dir_{"dirtool-slapd"};
};

TEST_F(Server, SearchesSortsAndReadsAnonymously) {
    RunResult people = dirtool(
        {"search", kPeople, "one", "(objectClass=inetOrgPerson)", "cn", "sn", "--sort", "cn:desc"},
        "", true);
    EXPECT_EQ(people.status, 0) << people.err;
    EXPECT_EQ(people.out,
              "dn: cn=bob,ou=people,dc=example,dc=com\ncn: bob\nsn: Builder\n\n"
              "dn: cn=alice,ou=people,dc=example,dc=com\ncn: alice\nsn: Liddell\n\n");
    RunResult read = dirtool({"read", kAlice, "mail"}, "", true);
    EXPECT_EQ(read.out, "dn: cn=alice,ou=people,dc=example,dc=com\nmail: alice@example.com\n\n")
        << read.err;

    RunResult none = dirtool({"search", SlapdServer::kSuffix, "sub", "(cn=nobody)"}, "", true);
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "");
    EXPECT_TRUE(contains(none.err, "no entries found")) << none.err;
}

TEST_F(Server, AddsModifiesRenamesComparesAndDeletes) {
    dirclient::test::write_file(
        dir_.file("team.ldif"),
        "dn: ou=team,dc=example,dc=com\nobjectClass: organizationalUnit\nou: team\n\n"
        "dn: ou=squad,ou=team,dc=example,dc=com\nobjectClass: organizationalUnit\nou: squad\n\n"
        "dn: cn=carol,ou=squad,ou=team,dc=example,dc=com\nobjectClass: inetOrgPerson\n"
        "cn: carol\nsn: Carroll\njpegPhoto:: /9j/4AAQ\n");
    RunResult add = dirtool({"add", "team.ldif"});
    EXPECT_EQ(add.status, 0) << add.err;
    RunResult photo = dirtool({"read", "cn=carol,ou=squad,ou=team,dc=example,dc=com", "jpegPhoto"});
    EXPECT_TRUE(contains(photo.out, "jpegPhoto:: /9j/4AAQ\n")) << photo.out << photo.err;

    RunResult modify = dirtool({"modify", kAlice},
                               "replace: mail\nmail: alice@wonder.land\n-\nadd: telephoneNumber\n"
                               "telephoneNumber: +1 555 0199\n-\ndelete: userPassword\n-\n");
    EXPECT_EQ(modify.status, 0) << modify.err;
    EXPECT_EQ(dirtool({"read", kAlice, "mail", "telephoneNumber", "userPassword"}).out,
              "dn: cn=alice,ou=people,dc=example,dc=com\nmail: alice@wonder.land\ntelephoneNumber: "
              "+1 555 0199\n\n");

    RunResult yes = dirtool({"compare", kAlice, "mail", "ALICE@wonder.land"});
    EXPECT_EQ(yes.status, 0) << yes.err;
    EXPECT_EQ(yes.out, "true\n");
    RunResult no = dirtool({"compare", kAlice, "sn", "Liddell", "Hare"});
    EXPECT_EQ(no.status, kExitFalse);
    EXPECT_EQ(no.out, "false\n");

    // In place, then below another superior.
    EXPECT_EQ(dirtool({"rename", kAlice, "cn=alicia"}).status, 0);
    RunResult move = dirtool({"rename", "cn=alicia,ou=people,dc=example,dc=com", "cn=alice",
                              "ou=squad,ou=team,dc=example,dc=com"});
    EXPECT_EQ(move.status, 0) << move.err;
    EXPECT_EQ(move.out,
              "renamed cn=alicia,ou=people,dc=example,dc=com to "
              "cn=alice,ou=squad,ou=team,dc=example,dc=com\n");
    RunResult squad = dirtool(
        {"search", "ou=squad,ou=team,dc=example,dc=com", "one", "(cn=*)", "cn", "--sort", "cn"});
    EXPECT_EQ(squad.out,
              "dn: cn=alice,ou=squad,ou=team,dc=example,dc=com\ncn: alice\n\n"
              "dn: cn=carol,ou=squad,ou=team,dc=example,dc=com\ncn: carol\n\n")
        << squad.err;

    RunResult non_leaf = dirtool({"delete", "ou=team,dc=example,dc=com"});
    EXPECT_EQ(non_leaf.status, LDAP_NOT_ALLOWED_ON_NONLEAF);
    EXPECT_TRUE(contains(non_leaf.err, "ERROR: can not remove [614]: LDAP result 66"))
        << non_leaf.err;
    EXPECT_TRUE(contains(non_leaf.err, "delete -r")) << non_leaf.err;
    RunResult tree = dirtool({"delete", "-r", "ou=team,dc=example,dc=com"});
    EXPECT_EQ(tree.status, 0) << tree.err;
    EXPECT_EQ(dirtool({"search", SlapdServer::kSuffix, "one", "(ou=team)"}).out, "");
    EXPECT_EQ(dirtool({"delete", SlapdServer::kBob}).status, 0);
    EXPECT_EQ(dns_of(dirtool({"search", kPeople, "sub"}).out), (std::vector<std::string>{kPeople}));
}

TEST_F(Server, ReportsFailuresWithTheLdapText) {
    struct {
        std::vector<std::string> args;
        bool anonymous;
        int status;  // the LDAP result
        std::string message;
    } cases[] = {
        {{"search", kPeople, "sub", "(cn=alice"},
         true,
         QDX_LDAP_FILTER_ERROR,
         "cannot search " + std::string(kPeople) +
             ": ERROR: can not search [609]: LDAP result 87, Bad search filter"},
        {{"read", "cn=nobody,dc=example,dc=com"},
         true,
         LDAP_NO_SUCH_OBJECT,
         "ERROR: can not search [609]: LDAP result 32, No such object"},
        {{"delete", kAlice},
         true,
         LDAP_STRONG_AUTH_REQUIRED,
         "ERROR: can not remove [605]: LDAP result 8, Strong(er) authentication required"},
        {{"compare", kAlice, "uid", "x"},
         true,
         LDAP_NO_SUCH_ATTRIBUTE,
         "ERROR: can not compare [603]: LDAP result 16"},
        {{"rename", kAlice, "cn=bob"},
         false,
         LDAP_ALREADY_EXISTS,
         "ERROR: can not rename [608]: LDAP result 68, Already exists"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        RunResult r = dirtool(c.args, "", c.anonymous);
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(contains(r.err, c.message)) << r.err;
    }
    RunResult bind = run_dirtool(
        {"-H", server_.url(), "-D", SlapdServer::kAdminDn, "-w", "wrong", "read", kAlice},
        options());
    EXPECT_EQ(bind.status, LDAP_INVALID_CREDENTIALS);
    EXPECT_EQ(bind.out, "");
    EXPECT_TRUE(
        contains(bind.err,
                 "cannot bind as cn=admin,dc=example,dc=com: ERROR: can not authenticate [602]: "
                 "LDAP result 49, Invalid credentials"))
        << bind.err;
}

TEST_F(Server, TakesThePasswordFromAFile) {
    dirclient::test::write_file(dir_.file("pw"), std::string(SlapdServer::kAdminPassword) + "\r\n");
    std::vector<std::string> head{"-H", server_.url(), "-D", SlapdServer::kAdminDn};
    auto with = [&](std::vector<std::string> tail) {
        std::vector<std::string> args = head;
        args.insert(args.end(), tail.begin(), tail.end());
        return run_dirtool(args, options());
    };
    RunResult r = with({"-y", "pw", "delete", SlapdServer::kBob});
    EXPECT_EQ(r.status, 0) << r.err;
    RunResult missing = with({"-y", "no-such-file", "delete", kAlice});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "dirtool: cannot read no-such-file: No such file or directory\n");
}

TEST_F(Server, WorksOnEveryLdapHostForm) {
    const std::string port = std::to_string(server_.port());
    const std::string dead = "LDAP://127.0.0.1:" + std::to_string(dirclient::test::free_tcp_port());
    const std::vector<std::vector<std::string>> hosts = {
        {"-H", "127.0.0.1", "-p", port},
        {"-H", "127.0.0.1:" + port},
        {"-H", "ldap://127.0.0.1:" + port},
        {"-H", dead + ";" + server_.url()},  // fails over to the second server
    };
    for (std::vector<std::string> args : hosts) {
        SCOPED_TRACE(args[1]);
        args.insert(args.end(), {"read", kAlice, "sn"});
        RunResult r = run_dirtool(args, options());
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "dn: cn=alice,ou=people,dc=example,dc=com\nsn: Liddell\n\n");
    }
    RunResult down = run_dirtool({"-H", dead, "read", kAlice}, options());
    EXPECT_EQ(down.status, 1);
    EXPECT_TRUE(contains(down.err, "cannot connect to " + dead + ": ERROR: can not connect [604]"))
        << down.err;
}

TEST_F(Server, ChangedFollowsTheServersModificationCount) {
    ASSERT_EQ(dirtool({"modify", kAlice}, "replace: sn\nsn: Pleasance\n").status, 0);
    RunResult first = dirtool({"changed"}, "", true);
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, "changed\nmodifications completed: 1\n");

    RunResult quiet = dirtool({"changed", "--wait", "1"}, "", true);
    EXPECT_EQ(quiet.status, kExitFalse);
    EXPECT_EQ(quiet.out, "unchanged\nmodifications completed: 1\n");

    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        server_.replace(kAlice, "sn", "Liddell");
    });
    RunResult waited = dirtool({"changed", "--wait", "20"}, "", true);
    writer.join();
    EXPECT_EQ(waited.status, 0) << waited.err;
    EXPECT_EQ(waited.out, "changed\nmodifications completed: 2\n");

    // A plain session never reports a change, and says so.
    RunResult plain = run_dirtool(
        {"-H", "127.0.0.1", "-p", std::to_string(server_.port()), "changed"}, options());
    EXPECT_EQ(plain.status, kExitFalse);
    EXPECT_EQ(plain.out, "unchanged\n");
    EXPECT_TRUE(contains(plain.err, "only server lists")) << plain.err;
}

TEST_F(Server, SearchesWithTheLdapToolsOptions) {
    const std::string suffix = SlapdServer::kSuffix;
    RunResult units = dirtool({"-x", "-b", suffix, "-s", "one", "-LLL", "(ou=*)", "ou"}, "", true);
    EXPECT_EQ(units.status, 0) << units.err;
    EXPECT_EQ(units.out, "dn: ou=people,dc=example,dc=com\nou: people\n\n");

    RunResult children = dirtool({"-b", kPeople, "-s", "children", "-S", "cn", "(cn=*)", "cn"});
    EXPECT_EQ(dns_of(children.out), (std::vector<std::string>{kAlice, SlapdServer::kBob}))
        << children.err;

    // The server stops at the limit; the entries it sent are printed, the status says why.
    RunResult one = dirtool({"-b", kPeople, "-z", "1", "(cn=*)", "cn"});
    EXPECT_EQ(one.status, LDAP_SIZELIMIT_EXCEEDED) << one.err;
    EXPECT_EQ(dns_of(one.out).size(), 1u);
    EXPECT_TRUE(contains(one.err, "size limit exceeded")) << one.err;
    RunResult timed = dirtool({"-b", kPeople, "-l", "5", "(cn=alice)", "sn"});
    EXPECT_EQ(timed.status, 0) << timed.err;
    EXPECT_EQ(timed.out, "dn: cn=alice,ou=people,dc=example,dc=com\nsn: Liddell\n\n");

    RunResult names = dirtool({"-b", kAlice, "-s", "base", "-A"});
    EXPECT_TRUE(contains(names.out, "\nsn:\nmail:\n")) << names.out;
    EXPECT_FALSE(contains(names.out, "Liddell")) << names.out;

    RunResult missing = dirtool({"-b", "ou=nowhere," + suffix});
    EXPECT_EQ(missing.status, LDAP_NO_SUCH_OBJECT);
}

const char kServerChanges[] =
    "dn: ou=team,dc=example,dc=com\nchangetype: add\nobjectClass: organizationalUnit\n"
    "ou: team\n\n"
    "dn: cn=alice,ou=people,dc=example,dc=com\nchangetype: modify\nreplace: mail\n"
    "mail: alice@wonder.land\n-\nadd: employeeNumber\nemployeeNumber: 41\n-\n"
    "delete: userPassword\n-\nreplace: description\n-\n\n"
    "dn: cn=alice,ou=people,dc=example,dc=com\nchangetype: modify\n"
    "increment: employeeNumber\nemployeeNumber: 2\n-\n\n"
    "dn: cn=bob,ou=people,dc=example,dc=com\nchangetype: moddn\nnewrdn: cn=robert\n"
    "deleteoldrdn: 1\nnewsuperior: ou=team,dc=example,dc=com\n\n"
    "dn: cn=robert,ou=team,dc=example,dc=com\nchangetype: delete\n";

TEST_F(Server, AppliesAChangeFileWithEveryChangetype) {
    dirclient::test::write_file(dir_.file("changes.ldif"), kServerChanges);
    RunResult dry = dirtool({"-n", "-f", "changes.ldif"});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_TRUE(contains(dry.out,
                         "would rename cn=bob,ou=people,dc=example,dc=com to "
                         "cn=robert,ou=team,dc=example,dc=com\n"))
        << dry.out;
    for (const char* kind : {"Add", "Modify", "Modrdn", "Delete"})
        EXPECT_EQ(server_.operations(kind), 0) << kind;  // -n sent nothing

    RunResult r = dirtool({"apply", "changes.ldif"});
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* kind : {"Add", "Modify", "Modrdn", "Delete"})
        EXPECT_GT(server_.operations(kind), 0) << kind;  // counted where -n was counted
    EXPECT_EQ(r.out, "added ou=team,dc=example,dc=com\nmodified " + std::string(kAlice) +
                         "\nmodified " + kAlice +
                         "\nrenamed cn=bob,ou=people,dc=example,dc=com to "
                         "cn=robert,ou=team,dc=example,dc=com\n"
                         "deleted cn=robert,ou=team,dc=example,dc=com\n");
    EXPECT_EQ(dirtool({"read", kAlice, "mail", "employeeNumber", "userPassword"}).out,
              "dn: cn=alice,ou=people,dc=example,dc=com\nmail: alice@wonder.land\n"
              "employeeNumber: 43\n\n");
    EXPECT_EQ(dns_of(dirtool({"-b", SlapdServer::kSuffix, "(|(ou=team)(cn=bob))"}).out),
              std::vector<std::string>{"ou=team,dc=example,dc=com"});
}

TEST_F(Server, ContinuesPastAFailedChangeWithC) {
    dirclient::test::write_file(
        dir_.file("three.ldif"),
        "dn: ou=a,dc=example,dc=com\nobjectClass: organizationalUnit\nou: a\n\n"
        "dn: cn=nobody,dc=example,dc=com\nchangetype: delete\n\n"
        "dn: ou=b,dc=example,dc=com\nobjectClass: organizationalUnit\nou: b\n");
    RunResult r = dirtool({"-c", "-f", "three.ldif"});
    EXPECT_EQ(r.status, LDAP_NO_SUCH_OBJECT);
    EXPECT_EQ(r.out, "added ou=a,dc=example,dc=com\nadded ou=b,dc=example,dc=com\n");
    EXPECT_TRUE(contains(r.err, "cannot delete cn=nobody,dc=example,dc=com (three.ldif:5): "))
        << r.err;
    EXPECT_TRUE(contains(r.err, "1 of 3 changes failed")) << r.err;
}

// The server's own size limit cuts the answer as -z does: what arrived is printed.
TEST(ServerWithLimits, PrintsTheEntriesSentBeforeTheServersLimit) {
    dirclient::test::SlapdOptions options;
    options.global_config = "sizelimit 1\n";
    SlapdServer limited(options);
    RunOptions run;
    run.env = {{"QDX_NETWORK_TIMEOUT", "2"}};
    RunResult r = run_dirtool({"-H", limited.url(), "-b", kPeople, "(cn=*)", "cn"}, run);
    EXPECT_EQ(r.status, LDAP_SIZELIMIT_EXCEEDED) << r.err;
    EXPECT_EQ(dns_of(r.out).size(), 1u) << r.out;
    EXPECT_TRUE(contains(r.err, "size limit exceeded")) << r.err;
}

// A server that publishes no count (here: not to an anonymous user) is not "unchanged".
TEST(ServerWithoutCount, ChangedSaysTheCountIsNotAvailable) {
    dirclient::test::SlapdOptions options;
    options.anonymous_reads = false;
    SlapdServer closed(options);
    RunOptions run;
    run.env = {{"QDX_NETWORK_TIMEOUT", "2"}};
    RunResult r = run_dirtool({"-H", closed.url(), "changed"}, run);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(contains(r.err, "the count of completed modifications is not available")) << r.err;
}

TEST_F(Server, ProfilesTheLdapCalls) {
    RunResult r = dirtool({"--profile", "search", kPeople, "sub"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dns_of(r.out).size(), 3u);
    EXPECT_TRUE(contains(r.err, "\n  operation CPU: ")) << r.err;
    EXPECT_TRUE(contains(r.err, "\n    ldap32 CPU: ")) << r.err;
    EXPECT_TRUE(contains(r.err, "\n      ldap_search_s CPU: ")) << r.err;
    EXPECT_TRUE(contains(r.err, "\n      ldap_simple_bind_s CPU: ")) << r.err;
    EXPECT_FALSE(contains(r.err, "ldap_modrdn2")) << r.err;  // calls that never ran are left out
    EXPECT_TRUE(contains(r.err, "Total CPU process time")) << r.err;
}

// RDN values a server prints with hex pairs and escapes: what comes out of one server goes
// through a flat file (added, saved, loaded again) into another, and both then name the
// same entries.
constexpr const char* kEscapedRdns =
    "dn: ou=rt,dc=example,dc=com\nobjectClass: organizationalUnit\nou: rt\n\n"
    "dn: cn=Plain\\2C Comma,ou=rt,dc=example,dc=com\nobjectClass: organizationalRole\n"
    "cn: Plain, Comma\n\n"
    "dn: cn=a\\2Bb,ou=rt,dc=example,dc=com\nobjectClass: organizationalRole\ncn: a+b\n\n"
    "dn: cn=q\\22uote,ou=rt,dc=example,dc=com\nobjectClass: organizationalRole\ncn: q\"uote\n\n"
    "dn: cn=back\\5Cslash,ou=rt,dc=example,dc=com\nobjectClass: organizationalRole\n"
    "cn: back\\slash\n\n"
    "dn: cn=\\23hash,ou=rt,dc=example,dc=com\nobjectClass: organizationalRole\ncn: #hash\n\n"
    "dn: cn=x\\3Dy\\3Bz\\3C\\3E,ou=rt,dc=example,dc=com\nobjectClass: organizationalRole\n"
    "cn: x=y;z<>\n\n"
    "dn: cn=\\20lead,ou=rt,dc=example,dc=com\nobjectClass: organizationalRole\n"
    "cn:: IGxlYWQ=\n\n"
    "dn: cn=trail\\20,ou=rt,dc=example,dc=com\nobjectClass: organizationalRole\n"
    "cn:: dHJhaWwg\n\n"
    "dn: cn=Jos\\C3\\A9,ou=rt,dc=example,dc=com\nobjectClass: organizationalRole\n"
    "cn:: Sm9zw6k=\n\n";

class EscapedDns : public ::testing::Test {
  protected:
    // The subtree of ou=rt as ldapsearch prints it.
    std::string export_subtree(const SlapdServer& server, const std::string& name) {
        std::string out = dir_.file(name);
        int status = dirclient::test::run({"timeout", "30", "ldapsearch", "-LLL", "-x", "-o",
                                           "ldif-wrap=no", "-o", "nettimeout=5", "-H", server.url(),
                                           "-b", "ou=rt,dc=example,dc=com", "(objectClass=*)"},
                                          out);
        EXPECT_EQ(status, 0) << dirclient::test::read_file(out);
        return dirclient::test::read_file(out);
    }

    static std::vector<std::string> normalised_dns(const std::string& ldif) {
        std::vector<std::string> dns;
        for (const std::string& dn : dns_of(ldif)) {
            char* normal = dn_normalize_case(dn.c_str());
            dns.emplace_back(normal);
            check_free(normal);
        }
        std::sort(dns.begin(), dns.end());
        return dns;
    }

    RunResult flat(std::vector<std::string> args) {
        args.insert(args.begin(), {"-H", "FILE:///flat.ldif"});
        RunOptions o;
        o.cwd = dir_.path();
        return run_dirtool(args, o);
    }

    dirclient::test::TempDir dir_{"dirtool-escaped-dns"};
};

TEST_F(EscapedDns, SameEntriesComeOutOfBothServersThroughAFlatFile) {
    dirclient::test::SlapdOptions seeded;
    seeded.extra_ldif = kEscapedRdns;
    std::string exported;
    {
        SlapdServer source(seeded);
        exported = export_subtree(source, "source.ldif");
    }
    ASSERT_EQ(dns_of(exported).size(), 10u) << exported;
    dirclient::test::write_file(dir_.file("flat.ldif"),
                                "dn: dc=com\ndc: com\n\ndn: dc=example,dc=com\ndc: example\n\n");
    dirclient::test::write_file(dir_.file("export.ldif"), exported);
    RunResult add = flat({"add", "export.ldif"});
    ASSERT_EQ(add.status, 0) << add.err;
    RunResult reloaded = flat({"search", "ou=rt,dc=example,dc=com", "sub", "(objectClass=*)"});
    ASSERT_EQ(reloaded.status, 0) << reloaded.err;
    dirclient::test::write_file(dir_.file("reloaded.ldif"), reloaded.out);

    SlapdServer target;
    std::string log = dir_.file("ldapadd.log");
    int status =
        dirclient::test::run({"timeout", "30", "ldapadd", "-x", "-o", "nettimeout=5", "-H",
                              target.url(), "-D", SlapdServer::kAdminDn, "-w",
                              SlapdServer::kAdminPassword, "-f", dir_.file("reloaded.ldif")},
                             log);
    ASSERT_EQ(status, 0) << dirclient::test::read_file(log) << reloaded.out;
    std::string copied = export_subtree(target, "target.ldif");
    EXPECT_EQ(normalised_dns(copied), normalised_dns(exported)) << copied << exported;
}

// ---- what the server says, large answers, bulk work ------------------------------------

TEST_F(Server, PrintsWhatTheServerSaidBesideTheCode) {
    dirclient::test::write_file(dir_.file("carol.ldif"),
                                "dn: cn=carol,ou=people,dc=example,dc=com\n"
                                "objectClass: inetOrgPerson\ncn: carol\n");
    RunResult add = dirtool({"add", "carol.ldif"});
    EXPECT_EQ(add.status, LDAP_OBJECT_CLASS_VIOLATION);  // the server's result code
    EXPECT_TRUE(contains(add.err,
                         "LDAP result 65, Object class violation\n"
                         "\tadditional info: object class 'inetOrgPerson' requires "
                         "attribute 'sn'\n"))
        << add.err;
    RunResult read = dirtool({"read", "cn=x,ou=nowhere,dc=example,dc=com"});
    EXPECT_TRUE(contains(read.err,
                         "LDAP result 32, No such object\n\tmatched DN: "
                         "dc=example,dc=com\n"))
        << read.err;
}

// The first failure of a pipelined add names its entry, and the count reported is what the
// server holds.
TEST_F(Server, AnInterruptedBulkAddReportsTheCountTheServerHolds) {
    std::string ldif =
        "dn: ou=bulk,dc=example,dc=com\nobjectClass: organizationalUnit\n"
        "ou: bulk\n\n";
    for (int i = 0; i < 100; ++i) {
        const std::string n = std::to_string(i);
        ldif += "dn: cn=p" + n + ",ou=bulk,dc=example,dc=com\nobjectClass: person\ncn: p" + n +
                (i == 60 ? "\n\n" : "\nsn: s" + n + "\n\n");
    }
    dirclient::test::write_file(dir_.file("bulk.ldif"), ldif);
    RunResult add = dirtool({"add", "bulk.ldif"});
    EXPECT_EQ(add.status, LDAP_OBJECT_CLASS_VIOLATION);  // object class violation
    EXPECT_TRUE(contains(add.err, "cannot add cn=p60,ou=bulk,dc=example,dc=com (bulk.ldif:"))
        << add.err;
    RunResult held =
        dirtool({"search", "ou=bulk,dc=example,dc=com", "sub", "(objectClass=*)", "objectClass"});
    const size_t count = dns_of(held.out).size();
    EXPECT_GE(count, 61u);
    EXPECT_TRUE(contains(add.err, "added " + std::to_string(count) + " of 101 entries")) << add.err;

    RunResult gone = dirtool({"delete", "-r", "ou=bulk,dc=example,dc=com"});
    EXPECT_EQ(gone.status, 0) << gone.err;
}

TEST(LimitedServer, PrintsThePartialAnswerAndPagesPastTheLimit) {
    dirclient::test::SlapdOptions options;
    options.global_config = "sizelimit 50\n";
    options.database_config = "limits anonymous size.prtotal=unlimited\n";
    for (int i = 0; i < 120; ++i)
        options.extra_ldif += "dn: cn=q" + std::to_string(i) +
                              ",ou=people,dc=example,dc=com\nobjectClass: person\ncn: q" +
                              std::to_string(i) + "\nsn: q\n\n";
    SlapdServer server(options);
    dirclient::test::TempDir dir("dirtool-limited");
    RunOptions run;
    run.cwd = dir.path();
    run.env = {{"QDX_NETWORK_TIMEOUT", "2"}};
    const std::vector<std::string> search{"-H",  server.url(), "search", kPeople,
                                          "one", "(sn=q)",     "cn"};
    struct Row {
        std::vector<std::string> extra;
        int status;
        size_t entries;
    } rows[] = {{{}, LDAP_SIZELIMIT_EXCEEDED, 50},
                {{"--sort", "cn"}, LDAP_SIZELIMIT_EXCEEDED, 50},
                {{"--page", "20"}, 0, 120},
                {{"-E", "pr=20/noprompt"}, 0, 120}};
    for (const Row& row : rows) {
        std::vector<std::string> args = search;
        args.insert(args.end(), row.extra.begin(), row.extra.end());
        SCOPED_TRACE(args.back());
        RunResult r = run_dirtool(args, run);
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_EQ(dns_of(r.out).size(), row.entries);
        EXPECT_EQ(contains(r.err, "size limit exceeded (LDAP result 4): 50 entries received"),
                  row.status == LDAP_SIZELIMIT_EXCEEDED)
            << r.err;
    }
}

}  // namespace
}  // namespace dirtool::test
