#include "server_list_walk.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "server_connect.h"

namespace dirclient::ldapaccess {
namespace {

std::vector<std::string> servers_of(const std::string& list) {
    std::vector<std::string> found;
    const char* position = list.c_str();
    while (auto server = next_server(&position))
        found.push_back(server->host + ":" + std::to_string(server->port));
    return found;
}

TEST(ServerListText, SkipsWhatIsNotAnLdapUrlAndFillsDefaults) {
    EXPECT_EQ(servers_of(upper_case("ldap://a:389;junk;ldap://b")),
              (std::vector<std::string>{"A:389", "B:389"}));
    EXPECT_EQ(servers_of("LDAP://X:1000;LDAP://Y:1001"),
              (std::vector<std::string>{"X:1000", "Y:1001"}));
    EXPECT_EQ(servers_of("LDAP://;;  LDAP://[::1]:636 ;LDAP://H:70000;LDAP://Z/o=base"),
              (std::vector<std::string>{"localhost:389", "::1:636", "Z:389"}));
    EXPECT_TRUE(servers_of("").empty());
    EXPECT_TRUE(servers_of("junk;more junk;").empty());
}

TEST(ServerListText, LdapsUrlsMixWithLdapOnesAndDefaultTo636) {
    std::vector<std::string> found;
    std::string list = upper_case("ldaps://a;ldap://b;ldaps://c:1636;LDAPS://[::1]");
    const char* position = list.c_str();
    while (auto server = next_server(&position))
        found.push_back(server_url(*server));
    EXPECT_EQ(found, (std::vector<std::string>{"ldaps://A:636", "ldap://B:389", "ldaps://C:1636",
                                               "ldaps://[::1]:636"}));
    // The same host and port in clear and over TLS are two servers (cached answers of
    // one are not kept for the other).
    EXPECT_FALSE(same_server({"a", 636, true}, {"A", 636, false}));
    EXPECT_TRUE(same_server({"a", 636, true}, {"A", 636, true}));
}

TEST(ServerListText, ParseUrlsWalksTheListAndKeepsHostOnABadUrl) {
    char list[] = "JUNK;LDAP://A:1;LDAP://B";
    char* host = nullptr;
    int port = 0;
    char* next = parse_URLs(list, &host, &port);
    ASSERT_NE(next, nullptr);
    EXPECT_STREQ(host, "A");
    EXPECT_EQ(port, 1);
    std::free(host);
    next = parse_URLs(next, &host, &port);
    EXPECT_STREQ(host, "B");
    EXPECT_EQ(port, 389);
    std::free(host);
    EXPECT_EQ(parse_URLs(next, &host, &port), nullptr);

    char bad[] = "LDAP://H:99999;LDAP://C";
    host = nullptr;
    port = 5;
    next = parse_URLs(bad, &host, &port);
    EXPECT_EQ(host, nullptr);
    EXPECT_EQ(port, 5);
    EXPECT_STREQ(next, "LDAP://C");
}

TEST(NetworkTimeout, ReadsSecondsFromTheEnvironment) {
    struct Row {
        const char* value;
        long sec;
        long usec;
    } rows[] = {{nullptr, 5, 0}, {"2", 2, 0},  {"0.25", 0, 250000}, {"-3", 5, 0},
                {"abc", 5, 0},   {"1x", 5, 0}, {"0", 5, 0}};
    for (const Row& row : rows) {
        if (row.value)
            setenv("QDX_NETWORK_TIMEOUT", row.value, 1);
        else
            unsetenv("QDX_NETWORK_TIMEOUT");
        timeval tv = network_timeout();
        EXPECT_EQ(tv.tv_sec, row.sec) << (row.value ? row.value : "unset");
        EXPECT_EQ(tv.tv_usec, row.usec) << (row.value ? row.value : "unset");
    }
    unsetenv("QDX_NETWORK_TIMEOUT");
}

TEST(ServerAddress, ComparesHostsWithoutCase) {
    EXPECT_TRUE(same_server({"Host.Example", 389}, {"HOST.example", 389}));
    EXPECT_FALSE(same_server({"host", 389}, {"host", 390}));
}

}  // namespace
}  // namespace dirclient::ldapaccess
