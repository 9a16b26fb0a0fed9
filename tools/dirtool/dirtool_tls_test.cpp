// dirtool end to end over TLS, and what it lets out of a password (label "integration").
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "dirtool_runner.h"
#include "slapd_server.h"
#include "test_processes.h"
#include "tls_certificates.h"

namespace dirtool::test {
namespace {

using dirclient::test::SlapdOptions;
using dirclient::test::SlapdServer;
using dirclient::test::TlsCertificates;

constexpr const char* kCarol = "cn=carol,ou=people,dc=example,dc=com";
// Recognisable anywhere it might leak to.
constexpr const char* kCarolPassword = "Carol-Pw-4f1d8e";

class TlsServer : public ::testing::Test {
  protected:
    static SlapdOptions options() {
        SlapdOptions o;
        o.tls = &certificates();
        o.extra_ldif = std::string("dn: ") + kCarol +
                       "\nobjectClass: inetOrgPerson\ncn: carol\nsn: Carroll\nuserPassword: " +
                       kCarolPassword + "\n\n";
        return o;
    }

    RunOptions env(const std::string& ca) {
        RunOptions o;
        o.cwd = dir_.path();
        o.env = {{"QDX_NETWORK_TIMEOUT", "2"}, {"LDAPTLS_CACERT", ca}};
        return o;
    }

    RunResult search_as_carol(const std::string& host, std::vector<std::string> extra,
                              const std::string& ca) {
        std::vector<std::string> args{"-H", host, "-D", kCarol, "-w", kCarolPassword};
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), {"search", SlapdServer::kPeople, "one", "(cn=carol)", "sn"});
        return run_dirtool(args, env(ca));
    }

    // Made once for the whole program, on first use.
    static TlsCertificates& certificates() {
        static TlsCertificates made;
        return made;
    }

    const TlsCertificates& certificates_ = certificates();
    SlapdServer server_{options()};
    dirclient::test::TempDir dir_{"dirtool-tls"};
};

TEST_F(TlsServer, LdapsAndDemandedStartTlsWithTheCaGivenTheOpenLdapWay) {
    const std::string found = std::string("dn: ") + kCarol + "\nsn: Carroll\n\n";
    for (auto [host, extra] : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {server_.tls_url(), {}},
             {server_.url(), {"-ZZ"}},
             {"127.0.0.1:" + std::to_string(server_.port()), {"-ZZ"}},
         }) {
        RunResult r = search_as_carol(host, extra, certificates_.ca());
        EXPECT_EQ(r.status, 0) << host << ": " << r.err;
        EXPECT_EQ(r.out, found) << host;
    }
    // A client certificate, as OpenLDAP's tools take it.
    RunOptions with_cert = env(certificates_.ca());
    with_cert.env.push_back({"LDAPTLS_CERT", certificates_.client_cert()});
    with_cert.env.push_back({"LDAPTLS_KEY", certificates_.client_key()});
    RunResult cert = run_dirtool({"-H", server_.tls_url(), "read", kCarol, "sn"}, with_cert);
    EXPECT_EQ(cert.status, 0) << cert.err;
}

TEST_F(TlsServer, CertificateFromAnotherCaFailsAndSaysWhy) {
    for (auto [host, extra] : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {server_.tls_url(), {}}, {server_.url(), {"-ZZ"}}}) {
        RunResult r = search_as_carol(host, extra, certificates_.other_ca());
        EXPECT_EQ(r.status, 1) << host;
        EXPECT_TRUE(contains(r.err, "TLS")) << r.err;
        EXPECT_FALSE(contains(r.err, "no open connection")) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(TlsServer, DemandedStartTlsOnAServerWithoutItFails) {
    SlapdServer plain;
    RunResult r = search_as_carol(plain.url(), {"-ZZ"}, certificates_.ca());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "StartTLS")) << r.err;
    EXPECT_EQ(plain.operations("Bind"), 0);
}

TEST_F(TlsServer, PasswordAppearsInNoOutputTraceProfileOrProcessList) {
    RunOptions noisy = env(certificates_.ca());
    noisy.env.push_back({"QDX_DEBUG", "-1"});
    noisy.env.push_back({"QDX_PROFILE_FILE", dir_.file("profile.txt")});
    std::vector<RunResult> runs;
    for (std::vector<std::string> command : std::vector<std::vector<std::string>>{
             {"search", SlapdServer::kPeople, "one", "(cn=carol)", "sn"},
             {"read", "cn=nobody,dc=example,dc=com"},  // fails: an exception's text
             {"delete", kCarol},                       // refused: carol may not write
         }) {
        std::vector<std::string> args{"--profile", "-H", server_.tls_url(), "-D",
                                      kCarol,      "-w", kCarolPassword};
        args.insert(args.end(), command.begin(), command.end());
        runs.push_back(run_dirtool(args, noisy));
    }
    EXPECT_EQ(runs[0].status, 0) << runs[0].err;
    EXPECT_NE(runs[1].status, 0);
    EXPECT_NE(runs[2].status, 0);
    for (const RunResult& r : runs) {
        EXPECT_FALSE(contains(r.out, kCarolPassword));
        EXPECT_FALSE(contains(r.err, kCarolPassword)) << r.err.substr(0, 2000);
    }
    EXPECT_TRUE(contains(runs[0].err, "ldap_sasl_bind")) << "the library traced the bind";
    std::string profile = dirclient::test::read_file(dir_.file("profile.txt"));
    EXPECT_TRUE(contains(profile, "ldap_simple_bind_s")) << profile;
    EXPECT_FALSE(contains(profile, kCarolPassword));

    // While it runs, the process list shows no password.
    pid_t pid = dirclient::test::spawn({DIRTOOL_PATH, "-H", server_.url(), "-D", kCarol, "-w",
                                        kCarolPassword, "changed", "--wait", "3"});
    std::string cmdline;
    for (int i = 0; i < 100 && !contains(cmdline, "changed"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        cmdline = dirclient::test::read_file("/proc/" + std::to_string(pid) + "/cmdline");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cmdline = dirclient::test::read_file("/proc/" + std::to_string(pid) + "/cmdline");
    dirclient::test::terminate(pid, SIGTERM);
    EXPECT_TRUE(contains(cmdline, "changed"));
    EXPECT_FALSE(contains(cmdline, kCarolPassword));
}

}  // namespace
}  // namespace dirtool::test
