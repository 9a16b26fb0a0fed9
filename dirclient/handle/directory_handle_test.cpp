#include "backend_kind.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "attribute.h"
#include "dentry.h"
#include "dexception.h"
#include "ffconnection.h"
#include "ldap_call_activities.h"
#include "ldap_handle_calls.h"
#include "ldap_result_codes.h"
#include "object_memory.h"
#include "profile_test_support.h"
#include "test_dir.h"

namespace dirclient::ldapaccess {
namespace {

TEST(BackendKind, PrefixesInAnyCaseChooseTheBackEnd) {
    struct Row {
        const char* host;
        int kind;
    };
    const Row rows[] = {
        {"DNS:servers", QDX_LDAP_SERVER_LIST},
        {"dns:servers/o=base", QDX_LDAP_SERVER_LIST},
        {"Dns:", QDX_LDAP_SERVER_LIST},
        // A DNS string is recognised first, whatever follows it.
        {"DNS:servers;LDAP://a:389", QDX_LDAP_SERVER_LIST},
        {"LDAP://a:389", QDX_LDAP_SERVER_LIST},
        {"ldap://a:389;ldap://b:390", QDX_LDAP_SERVER_LIST},
        {"Ldap://a", QDX_LDAP_SERVER_LIST},
        {"LDAP://FILE:///x", QDX_LDAP_SERVER_LIST},
        {"FILE:///tmp/dir.ldif", QDX_LDAP_FLAT_FILE},
        {"file:///tmp/dir.ldif", QDX_LDAP_FLAT_FILE},
        {"File:///", QDX_LDAP_FLAT_FILE},
        // Anything shorter than a whole prefix is a host name.
        {"FILE://tmp", QDX_LDAP_PLAIN},
        {"LDAP:/a", QDX_LDAP_PLAIN},
        {"DNS", QDX_LDAP_PLAIN},
        {"ldaps://a", QDX_LDAP_SERVER_LIST},
        {"LDAPS://a:636;LDAP://b", QDX_LDAP_SERVER_LIST},
        {"dirhost", QDX_LDAP_PLAIN},
        {"dirhost:1389", QDX_LDAP_PLAIN},
        {"", QDX_LDAP_PLAIN},
        {nullptr, QDX_LDAP_PLAIN},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(backend_kind(rows[i].host), rows[i].kind);
    }
}

TEST(BackendKind, DnsNameRunsFromTheColonToTheFirstSlash) {
    EXPECT_EQ(dns_name_of_host("DNS:servers/o=base"), "servers");
    EXPECT_EQ(dns_name_of_host("dns:Servers.example.com"), "Servers.example.com");
    EXPECT_EQ(dns_name_of_host("DNS:a/b/c"), "a");
    // An empty name stands for the default one.
    EXPECT_EQ(dns_name_of_host("DNS:"), std::nullopt);
    EXPECT_EQ(dns_name_of_host("DNS:/o=base"), std::nullopt);
}

// A port of 127.0.0.1 where nothing listens: connections are refused at once.
int closed_port() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

// A page that faults on any access: a session pointer that must never be followed.
class PoisonPage {
  public:
    PoisonPage() : page_(mmap(nullptr, size(), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)) {}
    ~PoisonPage() { munmap(page_, size()); }
    void* get() const { return page_; }

  private:
    static size_t size() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }
    void* page_;
};

// A plain handle on a session whose server refuses connections.
class UnreachablePlainHandle {
  public:
    UnreachablePlainHandle() {
        std::string url = "ldap://127.0.0.1:" + std::to_string(closed_port());
        LDAP* ld = nullptr;
        ldap_initialize(&ld, url.c_str());
        handle_ = DS_LDAP{QDX_LDAP_PLAIN, ld};
    }
    ~UnreachablePlainHandle() { qdx_ldap_unbind(&handle_); }
    DS_LDAP* get() { return &handle_; }

  private:
    DS_LDAP handle_;
};

TEST(PlainHandle, NullArgumentsAreRefusedInsteadOfAborting) {
    UnreachablePlainHandle plain;
    DS_LDAP* h = plain.get();
    char type[] = "cn";
    char* values[] = {type, nullptr};
    LDAPMod unnamed{LDAP_MOD_ADD, nullptr, {values}};
    LDAPMod* mods[] = {&unnamed, nullptr};

    EXPECT_EQ(qdx_ldap_delete_s(h, nullptr), QDX_LDAP_PARAM_ERROR);
    EXPECT_EQ(qdx_ldap_get_lderrno(h), QDX_LDAP_PARAM_ERROR);
    EXPECT_EQ(qdx_ldap_delete(h, nullptr), -1);
    EXPECT_EQ(qdx_ldap_add_s(h, "cn=a", mods), QDX_LDAP_PARAM_ERROR);
    EXPECT_EQ(qdx_ldap_add(h, nullptr, mods), -1);
    EXPECT_EQ(qdx_ldap_modify_s(h, "cn=a", mods), QDX_LDAP_PARAM_ERROR);
    EXPECT_EQ(qdx_ldap_modify(h, "cn=a", mods), -1);
    EXPECT_EQ(qdx_ldap_modrdn2_s(h, "cn=a", nullptr, 1), QDX_LDAP_PARAM_ERROR);
    EXPECT_EQ(qdx_ldap_modrdn2(h, nullptr, "cn=b", 1), -1);
    EXPECT_EQ(qdx_ldap_compare_s(h, "cn=a", "cn", nullptr), QDX_LDAP_PARAM_ERROR);
    EXPECT_EQ(qdx_ldap_compare_s(h, "cn=a", nullptr, "a"), QDX_LDAP_PARAM_ERROR);
    EXPECT_EQ(qdx_ldap_search_s(h, "", 0, nullptr, nullptr, 0, nullptr), QDX_LDAP_PARAM_ERROR);
    EXPECT_EQ(qdx_ldap_result(h, 1, 1, nullptr, nullptr), -1);

    BerElement* ber = reinterpret_cast<BerElement*>(1);
    EXPECT_EQ(qdx_ldap_first_entry(h, nullptr), nullptr);
    EXPECT_EQ(qdx_ldap_next_entry(h, nullptr), nullptr);
    EXPECT_EQ(qdx_ldap_get_dn(h, nullptr), nullptr);
    EXPECT_EQ(qdx_ldap_first_attribute(h, nullptr, &ber), nullptr);
    EXPECT_EQ(ber, nullptr);
    EXPECT_EQ(qdx_ldap_next_attribute(h, nullptr, nullptr), nullptr);
    EXPECT_EQ(qdx_ldap_get_values_len(h, nullptr, "cn"), nullptr);
    EXPECT_EQ(qdx_ldap_count_entries(h, nullptr), -1);
    EXPECT_EQ(qdx_ldap_msgid(nullptr), -1);
    EXPECT_EQ(qdx_ldap_msgfree(nullptr), 0);
}

TEST(PlainHandle, UnreachableServerGivesTheClassicCode) {
    UnreachablePlainHandle plain;
    LDAPMessage* answer = reinterpret_cast<LDAPMessage*>(1);
    int rc =
        qdx_ldap_search_s(plain.get(), "", LDAP_SCOPE_BASE, "(objectClass=*)", nullptr, 0, &answer);
    EXPECT_TRUE(rc == QDX_LDAP_SERVER_DOWN || rc == QDX_LDAP_CONNECT_ERROR) << rc;
    EXPECT_EQ(qdx_ldap_get_lderrno(plain.get()), rc);
    qdx_ldap_msgfree(answer);
    EXPECT_EQ(qdx_ldap_search(plain.get(), "", 0, nullptr, nullptr, 0), -1);
    std::string port = std::to_string(closed_port());
    EXPECT_EQ(qdx_ldap_open(("127.0.0.1:" + port).c_str(), 0), nullptr);
    EXPECT_EQ(qdx_ldap_open(("LDAP://127.0.0.1:" + port).c_str(), 0), nullptr);
}

TEST(OtherHandles, AreNeverTakenForAnLdapSession) {
    // Every call on these runs in CallProfiling.RefusedCallsAreMeasuredToo; here, what the
    // refusals read as. A followed session pointer would fault.
    PoisonPage poison;
    for (int kind : {QDX_LDAP_FLAT_FILE, 0, 7}) {
        SCOPED_TRACE(kind);
        DS_LDAP h{kind, poison.get()};
        LDAPMessage* answer = nullptr;
        EXPECT_EQ(qdx_ldap_search_s(&h, "o=x", 0, "(cn=a)", nullptr, 0, &answer),
                  QDX_LDAP_PARAM_ERROR);
        EXPECT_EQ(answer, nullptr);
        EXPECT_EQ(qdx_ldap_search(&h, "o=x", 0, "(cn=a)", nullptr, 0), -1);
        EXPECT_NE(qdx_ldap_enable_cache(&h, 10, 0), 0);
        EXPECT_EQ(qdx_ldap_get_lderrno(&h), QDX_LDAP_PARAM_ERROR);
        EXPECT_EQ(qdx_ldap_set_timeout(&h, 60), 0);
    }
    DS_LDAP unknown{7, poison.get()};
    EXPECT_EQ(qdx_ldap_unbind(&unknown), QDX_LDAP_PARAM_ERROR);
    EXPECT_EQ(unknown.session, poison.get());
    EXPECT_EQ(qdx_ldap_unbind(nullptr), QDX_LDAP_PARAM_ERROR);
}

TEST(PlainHandle, TimeoutIsOnlyForServerLists) {
    UnreachablePlainHandle plain;
    EXPECT_EQ(qdx_ldap_set_timeout(plain.get(), 60), 0);
    EXPECT_EQ(qdx_ldap_set_timeout(plain.get(), -5), 0);
    EXPECT_EQ(qdx_ldap_set_limits(plain.get(), 5, 10), 0);
    int sizelimit = -1;
    ldap_get_option(static_cast<LDAP*>(plain.get()->session), LDAP_OPT_SIZELIMIT, &sizelimit);
    EXPECT_EQ(sizelimit, 10);
    // A negative limit is no limit.
    EXPECT_EQ(qdx_ldap_set_limits(plain.get(), -1, -1), 0);
    ldap_get_option(static_cast<LDAP*>(plain.get()->session), LDAP_OPT_SIZELIMIT, &sizelimit);
    EXPECT_EQ(sizelimit, 0);
}

// Every measured call of the handle, run on a handle that cannot reach its server, so
// that each one goes out through a failure path.
struct MeasuredCall {
    const char* activity;
    std::function<void(DS_LDAP*)> call;
};

std::vector<MeasuredCall> measured_calls() {
    static char attr[] = "cn";
    static char* attrs[] = {attr, nullptr};
    return {
        {"ldap_add", [](DS_LDAP* h) { qdx_ldap_add(h, "cn=a", nullptr); }},
        {"ldap_add_s", [](DS_LDAP* h) { qdx_ldap_add_s(h, "cn=a", nullptr); }},
        {"ldap_simple_bind", [](DS_LDAP* h) { qdx_ldap_simple_bind(h, "cn=a", "pw"); }},
        {"ldap_simple_bind_s", [](DS_LDAP* h) { qdx_ldap_simple_bind_s(h, "cn=a", "pw"); }},
        {"ldap_compare_s", [](DS_LDAP* h) { qdx_ldap_compare_s(h, "cn=a", "cn", "a"); }},
        {"ldap_enable_cache", [](DS_LDAP* h) { qdx_ldap_enable_cache(h, 30, 0); }},
        {"ldap_delete", [](DS_LDAP* h) { qdx_ldap_delete(h, "cn=a"); }},
        {"ldap_delete_s", [](DS_LDAP* h) { qdx_ldap_delete_s(h, "cn=a"); }},
        {"ldap_modify", [](DS_LDAP* h) { qdx_ldap_modify(h, "cn=a", nullptr); }},
        {"ldap_modify_s", [](DS_LDAP* h) { qdx_ldap_modify_s(h, "cn=a", nullptr); }},
        {"ldap_modrdn2", [](DS_LDAP* h) { qdx_ldap_modrdn2(h, "cn=a", "cn=b", 1); }},
        {"ldap_modrdn2_s", [](DS_LDAP* h) { qdx_ldap_modrdn2_s(h, "cn=a", "cn=b", 1); }},
        {"ldap_search", [](DS_LDAP* h) { qdx_ldap_search(h, "o=x", 2, "(cn=a)", attrs, 0); }},
        {"ldap_search_s",
         [](DS_LDAP* h) {
             LDAPMessage* answer = nullptr;
             qdx_ldap_search_s(h, "o=x", 2, "(cn=a)", attrs, 0, &answer);
             qdx_ldap_msgfree(answer);
         }},
        {"ldap_result",
         [](DS_LDAP* h) {
             LDAPMessage* answer = nullptr;
             timeval none{0, 0};
             qdx_ldap_result(h, -1, 1, &none, &answer);
         }},
        {"ldap_result2error", [](DS_LDAP* h) { qdx_ldap_result2error(h, nullptr, 0); }},
        {"ldap_count_entries", [](DS_LDAP* h) { qdx_ldap_count_entries(h, nullptr); }},
        {"ldap_first_entry", [](DS_LDAP* h) { qdx_ldap_first_entry(h, nullptr); }},
        {"ldap_next_entry", [](DS_LDAP* h) { qdx_ldap_next_entry(h, nullptr); }},
        {"ldap_get_dn", [](DS_LDAP* h) { qdx_ldap_get_dn(h, nullptr); }},
        {"ldap_first_attribute",
         [](DS_LDAP* h) {
             BerElement* ber = nullptr;
             qdx_ldap_first_attribute(h, nullptr, &ber);
         }},
        {"ldap_next_attribute", [](DS_LDAP* h) { qdx_ldap_next_attribute(h, nullptr, nullptr); }},
        {"ldap_get_values_len", [](DS_LDAP* h) { qdx_ldap_get_values_len(h, nullptr, "cn"); }},
        {"ldap_set_timeout", [](DS_LDAP* h) { qdx_ldap_set_timeout(h, 60); }},
        {"ldap_get_lderrno", [](DS_LDAP* h) { qdx_ldap_get_lderrno(h); }},
        {"ldap_set_option", [](DS_LDAP* h) { qdx_ldap_set_limits(h, 0, 0); }},
        // The calls without a handle.
        {"ldap_err2string", [](DS_LDAP*) { qdx_ldap_err2string(QDX_LDAP_SERVER_DOWN); }},
        {"ldap_msgfree", [](DS_LDAP*) { qdx_ldap_msgfree(nullptr); }},
        {"ldap_value_free_len", [](DS_LDAP*) { qdx_ldap_value_free_len(nullptr); }},
        {"ldap_memfree", [](DS_LDAP*) { qdx_ldap_memfree(nullptr); }},
        {"ldap_msgid", [](DS_LDAP*) { qdx_ldap_msgid(nullptr); }},
    };
}

class CallProfiling : public profile_test::ProfilerTest {
  protected:
    // "app" { "ldap32" { every call, "ldap_disable_cache" } }, all profiled.
    void SetUp() override {
        ProfilerTest::SetUp();
        profile("all");
        qdx_create_composite_activity("app", "the host program");
        qdx_create_composite_activity("ldap32", "LDAP calls");
        // The published list: a call missing from it would go unmeasured in host programs.
        for (const char* call : qdx_ldap_call_activities)
            qdx_create_atomic_activity(call, nullptr);
        qdx_create_atomic_activity("ldap_disable_cache", nullptr);
        qdx_end_composite_activity();
        qdx_end_composite_activity();
    }

    // Runs every call on "handle" and checks that each counted one run of its own activity
    // and left it, and "ldap32", stopped, while the enclosing "app" runs on.
    void expect_each_call_measured_once(DS_LDAP* handle) {
        for (const MeasuredCall& call : measured_calls()) {
            SCOPED_TRACE(call.activity);
            int64_t before = profile_test::count_of(call.activity);
            call.call(handle);
            EXPECT_EQ(profile_test::count_of(call.activity), before + 1);
            EXPECT_FALSE(profile_test::is_running(call.activity));
            EXPECT_FALSE(profile_test::is_running("ldap32"));
            EXPECT_TRUE(profile_test::is_running("app"));
        }
    }
};

TEST_F(CallProfiling, EveryCallStartsItsActivityAndStopsLdap32OnFailure) {
    UnreachablePlainHandle plain;
    expect_each_call_measured_once(plain.get());
}

TEST_F(CallProfiling, RefusedCallsAreMeasuredToo) {
    PoisonPage poison;
    DS_LDAP flat_file{QDX_LDAP_FLAT_FILE, poison.get()};
    expect_each_call_measured_once(&flat_file);
    expect_each_call_measured_once(nullptr);
}

TEST_F(CallProfiling, DisablingTheCacheIsNotMeasured) {
    UnreachablePlainHandle plain;
    qdx_ldap_disable_cache(plain.get());
    EXPECT_EQ(profile_test::count_of("ldap_disable_cache"), 0);
    EXPECT_EQ(profile_test::count_of("ldap32"), 0);
    EXPECT_FALSE(profile_test::is_running("app"));
}

// Flat-file handles: the store is process-wide, so each test unloads it again.
class FlatFileHandle : public ::testing::Test {
  protected:
    void SetUp() override { FFConnection::empty(); }
    void TearDown() override { FFConnection::empty(); }

    std::string write_store(const std::string& name) {
        std::string path = dir_.path() + "/" + name;
        std::ofstream(path) << "dn: o=acme\nobjectclass: organization\no: acme\n\n";
        return path;
    }

    ScopedTestDir dir_;
};

TEST_F(FlatFileHandle, OpensAndClosesTheDirectory) {
    std::string host = "file:///" + write_store("dir.ldif");
    DS_LDAP* handle = qdx_ldap_open(host.c_str(), 0);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(handle->kind, QDX_LDAP_FLAT_FILE);
    auto* directory = static_cast<FFConnection*>(handle->session);
    DException* failure = nullptr;
    DEntry* entry = directory->read("o=acme", &failure);
    EXPECT_NE(entry, nullptr);
    delete entry;
    delete failure;
    EXPECT_EQ(qdx_ldap_set_timeout(handle, 60), 0);
    EXPECT_EQ(qdx_ldap_unbind(handle), 0);
    EXPECT_EQ(handle->session, nullptr);
    EXPECT_EQ(qdx_ldap_unbind(handle), QDX_LDAP_PARAM_ERROR);
    check_free(handle);
}

TEST_F(FlatFileHandle, MissingFileOpensNothing) {
    std::string host = "FILE:///" + dir_.path() + "/absent.ldif";
    EXPECT_EQ(qdx_ldap_open(host.c_str(), 0), nullptr);
}

TEST_F(FlatFileHandle, FailedWriteBackIsReportedAndTheDirectoryStillReleased) {
    std::string folder = dir_.path() + "/gone";
    mkdir(folder.c_str(), 0700);
    std::string path = folder + "/dir.ldif";
    std::ofstream(path) << "dn: o=acme\nobjectclass: organization\no: acme\n\n";
    DS_LDAP* handle = qdx_ldap_open(("FILE:///" + path).c_str(), 0);
    ASSERT_NE(handle, nullptr);
    auto* directory = static_cast<FFConnection*>(handle->session);
    DException* failure = nullptr;
    DEntry* entry = new (HEAP) DEntry("ou=sales,o=acme");
    Attribute* ou = new (HEAP) Attribute("ou");
    ou->addValue("sales");
    entry->addAttribute(ou);
    directory->add(entry, &failure);
    delete entry;
    ASSERT_EQ(failure, nullptr);
    // The folder goes away: the changed tree cannot be written back.
    std::filesystem::remove_all(folder);
    EXPECT_EQ(qdx_ldap_unbind(handle), 1);
    EXPECT_EQ(handle->session, nullptr);
    check_free(handle);
}

}  // namespace
}  // namespace dirclient::ldapaccess
