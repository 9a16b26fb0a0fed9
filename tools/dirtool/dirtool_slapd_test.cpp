// dirtool end to end against private slapd servers (label "integration").
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "dirtool_runner.h"
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
    EXPECT_EQ(no.status, 3);
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
    EXPECT_EQ(non_leaf.status, 1);
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
        std::string message;
    } cases[] = {
        {{"search", kPeople, "sub", "(cn=alice"},
         true,
         "cannot search " + std::string(kPeople) +
             ": ERROR: can not search [609]: LDAP result 87, Bad search filter"},
        {{"read", "cn=nobody,dc=example,dc=com"},
         true,
         "ERROR: can not search [609]: LDAP result 32, No such object"},
        {{"delete", kAlice},
         true,
         "ERROR: can not remove [605]: LDAP result 8, Strong(er) authentication required"},
        {{"compare", kAlice, "uid", "x"}, true, "ERROR: can not compare [603]: LDAP result 16"},
        {{"rename", kAlice, "cn=bob"},
         false,
         "ERROR: can not rename [608]: LDAP result 68, Already exists"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        RunResult r = dirtool(c.args, "", c.anonymous);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(contains(r.err, c.message)) << r.err;
    }
    RunResult bind = run_dirtool(
        {"-H", server_.url(), "-D", SlapdServer::kAdminDn, "-w", "wrong", "read", kAlice},
        options());
    EXPECT_EQ(bind.status, 1);
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
    EXPECT_EQ(quiet.status, 3);
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
    EXPECT_EQ(plain.status, 3);
    EXPECT_EQ(plain.out, "unchanged\n");
    EXPECT_TRUE(contains(plain.err, "only server lists")) << plain.err;
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

// ---- what the server says, large answers, bulk work ------------------------------------

TEST_F(Server, PrintsWhatTheServerSaidBesideTheCode) {
    dirclient::test::write_file(dir_.file("carol.ldif"),
                                "dn: cn=carol,ou=people,dc=example,dc=com\n"
                                "objectClass: inetOrgPerson\ncn: carol\n");
    RunResult add = dirtool({"add", "carol.ldif"});
    EXPECT_EQ(add.status, 1);
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
    EXPECT_EQ(add.status, 1);
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
    } rows[] = {{{}, 4, 50},
                {{"--sort", "cn"}, 4, 50},
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
                  row.status == 4)
            << r.err;
    }
}

}  // namespace
}  // namespace dirtool::test
