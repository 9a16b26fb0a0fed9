// "DNS:" host strings of the directory handle through the real resolver, in private
// namespaces where 127.0.0.1:53 is ours (run by tests/support/run_in_private_namespace.sh).

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include <dirclient/directory_handle.h>
#include <dirclient/dns_discovery.h>
#include <dirclient/ldap_handle_calls.h>
#include <dirclient/object_memory.h>
#include "dns_server.h"
#include "ldapaccess_test_util.h"
#include "slapd_server.h"

using namespace dirclient::test;

namespace {

class DnsHandle : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string reason;
        if (!in_private_dns_namespace(&reason)) GTEST_SKIP() << "DNS tests skipped: " << reason;
    }
    ScopedEnv timeout_{"QDX_NETWORK_TIMEOUT", "1"};
};

std::string lower_url(const SlapdServer& s) {
    return "ldap://127.0.0.1:" + std::to_string(s.port());
}

// A host string on a page that cannot be written: writing into the caller's string faults.
class ReadOnlyText {
  public:
    explicit ReadOnlyText(const std::string& text)
        : size_(static_cast<size_t>(sysconf(_SC_PAGESIZE))),
          page_(static_cast<char*>(
              mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0))) {
        std::memcpy(page_, text.c_str(), text.size() + 1);
        mprotect(page_, size_, PROT_READ);
    }
    ~ReadOnlyText() { munmap(page_, size_); }
    const char* get() const { return page_; }

  private:
    size_t size_;
    char* page_;
};

// The server the handle's session is on, then closes it.
std::string open_and_close(const char* host) {
    DS_LDAP* handle = qdx_ldap_open(host, 0);
    if (handle == nullptr) return "(none)";
    std::string server = handle->kind == QDX_LDAP_SERVER_LIST
                             ? current_server(static_cast<LDAP_CEXT*>(handle->session))
                             : "kind " + std::to_string(handle->kind);
    qdx_ldap_unbind(handle);
    check_free(handle);
    return server;
}

TEST_F(DnsHandle, NameBeforeTheSlashChoosesTheRecordAndTheStringStaysAsItWas) {
    SlapdServer a, b;
    Dnsmasq dns({{"KorvanDirectoryServers", {lower_url(a)}}, {"dir.example.test", {lower_url(b)}}});
    const std::string text = "DNS:dir.example.test/o=base";
    ReadOnlyText host(text);
    DS_LDAP* handle = qdx_ldap_open(host.get(), 0);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(host.get(), text);
    EXPECT_EQ(handle->kind, QDX_LDAP_SERVER_LIST);
    EXPECT_EQ(current_server(static_cast<LDAP_CEXT*>(handle->session)), b.url());
    char name[64];
    ASSERT_EQ(getDNSName(name, sizeof name), 0);
    EXPECT_STREQ(name, "dir.example.test");
    LDAPMessage* answer = nullptr;
    EXPECT_EQ(qdx_ldap_search_s(handle, SlapdServer::kBob, LDAP_SCOPE_BASE, "(objectClass=*)",
                                nullptr, 0, &answer),
              0);
    qdx_ldap_msgfree(answer);
    qdx_ldap_unbind(handle);
    check_free(handle);
}

TEST_F(DnsHandle, EmptyNameAsksForTheDefaultRecordInAnyCase) {
    SlapdServer a, b;
    Dnsmasq dns({{"KorvanDirectoryServers", {lower_url(a)}}, {"dir.example.test", {lower_url(b)}}});
    setDNSName("dir.example.test");
    EXPECT_EQ(open_and_close("dns:/o=base"), a.url());
    EXPECT_EQ(open_and_close("Dns:dir.example.test"), b.url());
    // A DNS string with an LDAP URL further on is still a DNS string.
    EXPECT_EQ(open_and_close(("DNS:dir.example.test;" + a.url()).c_str()), "(none)");
    EXPECT_EQ(open_and_close("DNS:nothing.example.test"), "(none)");
}

}  // namespace
