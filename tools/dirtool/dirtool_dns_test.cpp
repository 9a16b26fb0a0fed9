// dirtool on "DNS:" host strings, in private namespaces where 127.0.0.1:53 is ours (run by
// tests/support/run_in_private_namespace.sh).
#include <gtest/gtest.h>

#include <string>

#include "dirtool_runner.h"
#include "dns_server.h"
#include "slapd_server.h"

namespace dirtool::test {
namespace {

using dirclient::test::Dnsmasq;
using dirclient::test::SlapdServer;

TEST(DnsHost, FindsTheServersInTheTxtRecord) {
    std::string reason;
    if (!dirclient::test::in_private_dns_namespace(&reason))
        GTEST_SKIP() << "DNS tests skipped: " << reason;
    SlapdServer server;
    Dnsmasq dns({{"dir.example.test", {"ldap://127.0.0.1:" + std::to_string(server.port())}}});
    RunOptions options;
    options.env = {{"QDX_NETWORK_TIMEOUT", "1"}};

    RunResult r = run_dirtool(
        {"-H", "DNS:dir.example.test/dc=example,dc=com", "read", SlapdServer::kBob, "sn"}, options);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "dn: cn=bob,ou=people,dc=example,dc=com\nsn: Builder\n\n");

    RunResult none =
        run_dirtool({"-H", "DNS:nothing.example.test", "read", SlapdServer::kBob}, options);
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("cannot connect to DNS:nothing.example.test"), std::string::npos)
        << none.err;
}

}  // namespace
}  // namespace dirtool::test
