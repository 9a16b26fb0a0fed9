// "DNS-SRV:" host strings of the directory handle through the real resolver, in private
// namespaces where 127.0.0.1:53 is ours (run by tests/support/run_in_private_namespace.sh).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <dirclient/directory_handle.h>
#include <dirclient/object_memory.h>
#include "dns_server.h"
#include "ldapaccess_test_util.h"
#include "slapd_server.h"

using namespace dirclient::test;

namespace {

class SrvHandle : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string reason;
        if (!in_private_dns_namespace(&reason)) GTEST_SKIP() << "DNS tests skipped: " << reason;
    }
    ScopedEnv timeout_{"QDX_NETWORK_TIMEOUT", "1"};
};

// "--srv-host" value of an LDAP service of dir.example.test on "target".
std::string srv(const std::string& target, int port, int priority, int weight = 0) {
    return "_ldap._tcp.dir.example.test," + target + "," + std::to_string(port) + "," +
           std::to_string(priority) + "," + std::to_string(weight);
}

std::string local_url(const SlapdServer& s) {
    return "LDAP://LOCALHOST:" + std::to_string(s.port());
}

struct Handle {
    explicit Handle(const char* host) : handle(qdx_ldap_open(host, 0)) {}
    ~Handle() {
        if (handle == nullptr) return;
        qdx_ldap_unbind(handle);
        check_free(handle);
    }
    LDAP_CEXT* session() const { return static_cast<LDAP_CEXT*>(handle->session); }
    DS_LDAP* handle;
};

TEST_F(SrvHandle, PriorityOrderIsFollowedAndFailedOverLikeAUrlList) {
    SlapdServer a, b, c;
    Dnsmasq dns({}, {srv("localhost", c.port(), 20), srv("localhost", a.port(), 5),
                     srv("localhost", b.port(), 10)});
    Handle h("DNS-SRV:dir.example.test/o=base");
    ASSERT_NE(h.handle, nullptr);
    EXPECT_EQ(h.handle->kind, QDX_LDAP_SERVER_LIST);
    char* list = ldap_cext_get_servers(h.session());
    EXPECT_STREQ(list, (local_url(a) + ";" + local_url(b) + ";" + local_url(c)).c_str());
    ldap_cext_SLfree(list);
    EXPECT_EQ(current_server(h.session()), local_url(a));
    a.kill();
    EXPECT_EQ(search_dns(h.session(), "(cn=bob)"), std::vector<std::string>{SlapdServer::kBob});
    EXPECT_EQ(current_server(h.session()), local_url(b));
}

TEST_F(SrvHandle, OversizedAnswerIsReadWholeOverTcp) {
    SlapdServer a;
    // Far more than a UDP answer holds; the usable target sorts first only if all is read.
    std::vector<std::string> records;
    for (int i = 0; i < 40; ++i)
        records.push_back(
            srv("unused-" + std::to_string(i) + std::string(40, 'x') + ".invalid", 1000 + i, 50));
    records.push_back(srv("localhost", a.port(), 1));
    Dnsmasq dns({}, records);
    Handle h("DNS-SRV:dir.example.test");
    ASSERT_NE(h.handle, nullptr);
    EXPECT_EQ(current_server(h.session()), local_url(a));
}

// An answer to the query with one SRV record whose data is "rdata" as given.
std::string srv_answer(const std::string& query, const std::string& rdata) {
    return answer_with_record(query, 33, rdata);
}

TEST_F(SrvHandle, MalformedOrEmptyAnswersOpenNothing) {
    SlapdServer a;
    const std::string port(1, static_cast<char>(a.port() >> 8));
    const std::string fields =
        std::string("\x00\x00\x00\x00", 4) + port + static_cast<char>(a.port() & 0xff);
    const std::string target("\x09localhost\x00", 11);
    struct Row {
        std::string rdata;
        bool opens;
    };
    const Row rows[] = {
        {fields + target, true},                                 // well formed
        {fields + std::string("\x0alocalhost\x00", 11), false},  // label past the record
        {fields.substr(0, 4), false},                            // too short for its fields
        {fields + std::string(1, '\0'), false},                  // "." : no service here
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        const std::string rdata = rows[i].rdata;
        FakeDnsServer dns([&](const std::string& q) { return srv_answer(q, rdata); });
        Handle h("DNS-SRV:dir.example.test");
        EXPECT_EQ(h.handle != nullptr, rows[i].opens);
    }
    // No record, or no domain at all.
    Dnsmasq dns({}, {"_ldap._tcp.other.example.test,localhost,389,0,0"});
    EXPECT_EQ(Handle("DNS-SRV:dir.example.test").handle, nullptr);
    EXPECT_EQ(Handle("DNS-SRV:/o=base").handle, nullptr);
}

}  // namespace
