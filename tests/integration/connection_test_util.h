#ifndef DIRCLIENT_CONNECTION_TEST_UTIL_H
#define DIRCLIENT_CONNECTION_TEST_UTIL_H

// Shared helpers of the DConnection integration tests: a private slapd with a connection
// bound as its administrator, entries of the server's schema, and reports as text.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <dirclient/dconnection.h>
#include <dirclient/object_memory.h>
#include "connection_test_support.h"
#include "ldapaccess_test_util.h"
#include "slapd_server.h"

namespace conntest {

using dirclient::test::SlapdServer;

inline DEntry* person(const std::string& cn, const std::string& parent) {
    return makeEntry("cn=" + cn + "," + parent,
                     {{"objectClass", "inetOrgPerson"}, {"cn", cn}, {"sn", "S" + cn}});
}

inline DEntry* unit(const std::string& ou, const std::string& parent) {
    return makeEntry("ou=" + ou + "," + parent,
                     {{"objectClass", "organizationalUnit"}, {"ou", ou}});
}

// What a failure reports, as one comparable text: "code/detail" or "code/#ldapCode";
// "ok" for none. The exception is released.
inline std::string report(DException*& e) {
    if (e == nullptr) return "ok";
    std::string text = std::to_string(e->getErrorCode()) + "/";
    text += e->getLdapErrorCode() != 0 ? "#" + std::to_string(e->getLdapErrorCode())
                                       : std::string(e->getInfoSMsg());
    delete e;
    e = nullptr;
    return text;
}

// A private slapd and a connection to it bound as the administrator.
class ServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        DException* e = nullptr;
        c.connect(server.url().c_str(), 0, SlapdServer::kAdminDn, SlapdServer::kAdminPassword, &e);
        ASSERT_EQ(report(e), "ok");
    }

    // The DNs of the subtree below base (base included), or the failure's report.
    std::vector<std::string> subtree(const std::string& base,
                                     const char* filter = "(objectClass=*)") {
        DException* e = nullptr;
        SearchResults* found = c.search(base.c_str(), 2, filter, nullptr, false, &e);
        std::vector<std::string> dns =
            e != nullptr ? std::vector<std::string>{report(e)} : dnsOf(found);
        c.deleteObject(found);
        return dns;
    }

    bool exists(const std::string& dn) {
        DEntry* entry = c.read(dn.c_str(), nullptr);
        c.deleteObject(entry);
        return entry != nullptr;
    }

    void addOrFail(DEntry* entry) {
        DException* e = nullptr;
        c.add(entry, &e);
        EXPECT_EQ(report(e), "ok") << entry->getDN();
        c.deleteObject(entry);
    }

    dirclient::test::ScopedEnv timeout_{"QDX_NETWORK_TIMEOUT", "2"};
    SlapdServer server;
    DConnection c;
};

}  // namespace conntest

#endif
