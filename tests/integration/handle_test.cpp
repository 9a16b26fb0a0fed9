// The directory handle against private slapd servers: every LDAP call of a connection, on a
// plain session and on a server list, with what reaches the server read from its counters.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <dirclient/directory_handle.h>
#include <dirclient/ldap_handle_calls.h>
#include <dirclient/object_memory.h>
#include "ldap_result_codes.h"
#include "ldapaccess_test_util.h"
#include "local_message.h"
#include "profile_test_support.h"
#include "slapd_server.h"
#include "test_processes.h"

using namespace dirclient::test;

namespace {

struct HandleCloser {
    void operator()(DS_LDAP* handle) const {
        qdx_ldap_unbind(handle);
        check_free(handle);
    }
};
using Handle = std::unique_ptr<DS_LDAP, HandleCloser>;

std::string plain_host(const SlapdServer& server) {
    return "127.0.0.1:" + std::to_string(server.port());
}

std::string lower_url(const SlapdServer& server) {
    return "ldap://127.0.0.1:" + std::to_string(server.port());
}

std::string server_of(DS_LDAP* handle) {
    return handle->kind == QDX_LDAP_SERVER_LIST
               ? current_server(static_cast<LDAP_CEXT*>(handle->session))
               : "";
}

// "dn|attr=value" for every value of an answer, read through the handle.
std::vector<std::string> flatten(DS_LDAP* h, LDAPMessage* answer) {
    std::vector<std::string> lines;
    for (LDAPMessage* e = qdx_ldap_first_entry(h, answer); e; e = qdx_ldap_next_entry(h, e)) {
        char* dn = qdx_ldap_get_dn(h, e);
        BerElement* ber = nullptr;
        for (char* a = qdx_ldap_first_attribute(h, e, &ber); a;
             a = qdx_ldap_next_attribute(h, e, ber)) {
            berval** values = qdx_ldap_get_values_len(h, e, a);
            for (int i = 0; values && values[i]; ++i)
                lines.push_back(std::string(dn) + "|" + a + "=" +
                                std::string(values[i]->bv_val, values[i]->bv_len));
            qdx_ldap_value_free_len(values);
            qdx_ldap_memfree(a);
        }
        if (ber) ber_free(ber, 0);
        qdx_ldap_memfree(dn);
    }
    return lines;
}

// A subtree search for "filter" below ou=people: the result code, and the lines read.
int search(DS_LDAP* h, const char* filter, std::vector<std::string>* lines = nullptr) {
    static char cn[] = "cn";
    static char* attrs[] = {cn, nullptr};
    LDAPMessage* answer = nullptr;
    int rc =
        qdx_ldap_search_s(h, SlapdServer::kPeople, LDAP_SCOPE_SUBTREE, filter, attrs, 0, &answer);
    if (lines) *lines = flatten(h, answer);
    qdx_ldap_msgfree(answer);
    return rc;
}

TEST(HostStrings, EachFormOpensItsBackEnd) {
    ScopedEnv timeout("QDX_NETWORK_TIMEOUT", "1");
    SlapdServer a;
    std::string closed = "127.0.0.1:" + std::to_string(dirclient::test::free_tcp_port());

    Handle plain(qdx_ldap_open(plain_host(a).c_str(), 0));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->kind, QDX_LDAP_PLAIN);
    EXPECT_EQ(search(plain.get(), "(cn=bob)"), 0);

    // The port argument serves a bare host name, and a null host is the local host.
    for (const char* host : {"127.0.0.1", static_cast<const char*>(nullptr)}) {
        Handle by_port(qdx_ldap_open(host, a.port()));
        ASSERT_TRUE(by_port) << (host ? host : "(null)");
        EXPECT_EQ(by_port->kind, QDX_LDAP_PLAIN);
        EXPECT_EQ(search(by_port.get(), "(cn=bob)"), 0);
    }

    Handle list(qdx_ldap_open(lower_url(a).c_str(), 0));
    ASSERT_TRUE(list);
    EXPECT_EQ(list->kind, QDX_LDAP_SERVER_LIST);
    EXPECT_EQ(server_of(list.get()), a.url());

    // The whole list goes to one session, which passes over the server that is down.
    std::string two = "Ldap://" + closed + ";" + lower_url(a);
    Handle second(qdx_ldap_open(two.c_str(), 0));
    ASSERT_TRUE(second);
    EXPECT_EQ(second->kind, QDX_LDAP_SERVER_LIST);
    EXPECT_EQ(server_of(second.get()), a.url());

    EXPECT_EQ(qdx_ldap_open(closed.c_str(), 0), nullptr);
    EXPECT_EQ(qdx_ldap_open(("LDAP://" + closed).c_str(), 0), nullptr);
}

TEST(HostStrings, UnbindReachesTheServer) {
    SlapdServer a;
    for (const std::string& host : {plain_host(a), a.url()}) {
        SCOPED_TRACE(host);
        long before = a.operations("Unbind");
        DS_LDAP* handle = qdx_ldap_open(host.c_str(), 0);
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(qdx_ldap_unbind(handle), 0);
        EXPECT_EQ(qdx_ldap_unbind(handle), QDX_LDAP_PARAM_ERROR);
        check_free(handle);
        EXPECT_EQ(a.operations_reaching("Unbind", before + 1), before + 1);
    }
}

// The same calls on both kinds of LDAP handle.
class LdapHandle : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        handle_.reset(qdx_ldap_open(host().c_str(), 0));
        ASSERT_TRUE(handle_);
        ASSERT_EQ(handle_->kind, GetParam());
    }
    void TearDown() override {
        handle_.reset();
        EXPECT_EQ(dirclient::ldapaccess::registered_message_count(), 0u)
            << "a message was not released";
    }
    std::string host() const {
        return GetParam() == QDX_LDAP_PLAIN ? plain_host(server_) : lower_url(server_);
    }
    DS_LDAP* h() { return handle_.get(); }

    SlapdServer server_;
    Handle handle_;
};

INSTANTIATE_TEST_SUITE_P(Kinds, LdapHandle, ::testing::Values(QDX_LDAP_PLAIN, QDX_LDAP_SERVER_LIST),
                         [](const auto& info) {
                             return info.param == QDX_LDAP_PLAIN ? "Plain" : "ServerList";
                         });

TEST_P(LdapHandle, SearchAnswersAreReadThroughTheHandle) {
    std::vector<std::string> lines;
    ASSERT_EQ(search(h(), "(cn=*)", &lines), 0);
    std::sort(lines.begin(), lines.end());  // the server's order is its own
    EXPECT_EQ(lines, (std::vector<std::string>{std::string(SlapdServer::kAlice) + "|cn=alice",
                                               std::string(SlapdServer::kBob) + "|cn=bob"}));
    LDAPMessage* answer = nullptr;
    ASSERT_EQ(qdx_ldap_search_s(h(), SlapdServer::kPeople, LDAP_SCOPE_ONELEVEL, "(cn=*)", nullptr,
                                0, &answer),
              0);
    EXPECT_EQ(qdx_ldap_count_entries(h(), answer), 2);
    EXPECT_EQ(qdx_ldap_result2error(h(), answer, 0), 0);
    EXPECT_EQ(qdx_ldap_msgfree(answer), LDAP_RES_SEARCH_RESULT);

    EXPECT_EQ(search(h(), "(cn=nobody)", &lines), 0);
    EXPECT_TRUE(lines.empty());
    ASSERT_EQ(qdx_ldap_search_s(h(), "ou=absent,dc=example,dc=com", LDAP_SCOPE_BASE,
                                "(objectClass=*)", nullptr, 0, &answer),
              32);
    EXPECT_EQ(qdx_ldap_get_lderrno(h()), LDAP_NO_SUCH_OBJECT);
    qdx_ldap_msgfree(answer);
}

TEST_P(LdapHandle, RepeatedSearchesAreAnsweredByTheCache) {
    ASSERT_EQ(qdx_ldap_enable_cache(h(), 60, 0), 0);
    long before = server_.operations("Search");
    std::vector<std::string> first, second;
    ASSERT_EQ(search(h(), "(cn=alice)", &first), 0);
    ASSERT_EQ(search(h(), "(cn=alice)", &second), 0);
    EXPECT_EQ(second, first);
    EXPECT_EQ(server_.operations("Search"), before + 1);

    // An asynchronous repeat is found by the next result call under its own identifier.
    char cn[] = "cn";
    char* attrs[] = {cn, nullptr};
    int id = qdx_ldap_search(h(), SlapdServer::kPeople, LDAP_SCOPE_SUBTREE, "(cn=alice)", attrs, 0);
    ASSERT_GT(id, 0);
    LDAPMessage* answer = nullptr;
    ASSERT_EQ(qdx_ldap_result(h(), -1, 1, nullptr, &answer), LDAP_RES_SEARCH_ENTRY);
    EXPECT_EQ(qdx_ldap_msgid(answer), id);
    EXPECT_EQ(flatten(h(), answer), first);
    EXPECT_EQ(qdx_ldap_result2error(h(), answer, 1), 0);
    EXPECT_EQ(server_.operations("Search"), before + 1);

    qdx_ldap_disable_cache(h());
    ASSERT_EQ(search(h(), "(cn=alice)"), 0);
    EXPECT_EQ(server_.operations("Search"), before + 2);
}

TEST_P(LdapHandle, CompareUsesAndFillsTheCache) {
    EXPECT_EQ(qdx_ldap_compare_s(h(), SlapdServer::kAlice, "cn", "alice"), LDAP_COMPARE_TRUE);
    EXPECT_EQ(qdx_ldap_compare_s(h(), SlapdServer::kAlice, "cn", "bob"), LDAP_COMPARE_FALSE);
    ASSERT_EQ(qdx_ldap_enable_cache(h(), 60, 0), 0);
    long before = server_.operations("Compare");
    EXPECT_EQ(qdx_ldap_compare_s(h(), SlapdServer::kAlice, "cn", "alice"), LDAP_COMPARE_TRUE);
    EXPECT_EQ(qdx_ldap_compare_s(h(), SlapdServer::kAlice, "cn", "alice"), LDAP_COMPARE_TRUE);
    EXPECT_EQ(server_.operations("Compare"), before + 1);
}

std::pair<int, int> answer(ber_tag_t type, int code) {
    return {static_cast<int>(type), code};
}

// Sends one request and collects its answer: the type of the answer, and its code.
std::pair<int, int> collect(DS_LDAP* h, int id) {
    if (id < 0) return {-1, qdx_ldap_get_lderrno(h)};
    LDAPMessage* answer = nullptr;
    int type = qdx_ldap_result(h, id, 1, nullptr, &answer);
    EXPECT_EQ(qdx_ldap_msgid(answer), id);
    int code = qdx_ldap_result2error(h, answer, 1);
    return {type, code};
}

TEST_P(LdapHandle, ChangesInBothForms) {
    ASSERT_EQ(qdx_ldap_simple_bind_s(h(), SlapdServer::kAdminDn, SlapdServer::kAdminPassword), 0);
    char cn[] = "cn", sn[] = "sn", oc[] = "objectClass";
    char carol[] = "carol", person[] = "person", smith[] = "smith", jones[] = "jones";
    char* cn_values[] = {carol, nullptr};
    char* oc_values[] = {person, nullptr};
    char* sn_values[] = {smith, nullptr};
    LDAPMod m_cn{LDAP_MOD_ADD, cn, {cn_values}};
    LDAPMod m_oc{LDAP_MOD_ADD, oc, {oc_values}};
    LDAPMod m_sn{LDAP_MOD_ADD, sn, {sn_values}};
    LDAPMod* entry[] = {&m_oc, &m_cn, &m_sn, nullptr};
    char* jones_values[] = {jones, nullptr};
    LDAPMod replace_sn{LDAP_MOD_REPLACE, sn, {jones_values}};
    LDAPMod* change[] = {&replace_sn, nullptr};
    const char* dn = "cn=carol,ou=people,dc=example,dc=com";
    const char* renamed = "cn=dora,ou=people,dc=example,dc=com";

    EXPECT_EQ(qdx_ldap_add_s(h(), dn, entry), 0);
    EXPECT_EQ(qdx_ldap_add_s(h(), dn, entry), LDAP_ALREADY_EXISTS);
    EXPECT_EQ(qdx_ldap_get_lderrno(h()), LDAP_ALREADY_EXISTS);
    EXPECT_EQ(qdx_ldap_modify_s(h(), dn, change), 0);
    EXPECT_EQ(qdx_ldap_compare_s(h(), dn, "sn", "jones"), LDAP_COMPARE_TRUE);
    EXPECT_EQ(qdx_ldap_modrdn2_s(h(), dn, "cn=dora", 1), 0);
    EXPECT_EQ(qdx_ldap_delete_s(h(), renamed), 0);
    EXPECT_EQ(qdx_ldap_delete_s(h(), renamed), LDAP_NO_SUCH_OBJECT);
    EXPECT_EQ(qdx_ldap_delete_s(h(), SlapdServer::kPeople), LDAP_NOT_ALLOWED_ON_NONLEAF);

    EXPECT_EQ(collect(h(), qdx_ldap_add(h(), dn, entry)), answer(LDAP_RES_ADD, 0));
    EXPECT_EQ(collect(h(), qdx_ldap_modify(h(), dn, change)), answer(LDAP_RES_MODIFY, 0));
    EXPECT_EQ(collect(h(), qdx_ldap_modrdn2(h(), dn, "cn=dora", 1)), answer(LDAP_RES_MODDN, 0));
    EXPECT_EQ(collect(h(), qdx_ldap_delete(h(), renamed)), answer(LDAP_RES_DELETE, 0));
    EXPECT_EQ(collect(h(), qdx_ldap_delete(h(), renamed)),
              answer(LDAP_RES_DELETE, LDAP_NO_SUCH_OBJECT));
    EXPECT_EQ(collect(h(), qdx_ldap_simple_bind(h(), SlapdServer::kAlice, "wrong")),
              answer(LDAP_RES_BIND, LDAP_INVALID_CREDENTIALS));
    // A null DN is refused rather than handed to libldap, which would abort.
    EXPECT_EQ(qdx_ldap_delete_s(h(), nullptr), QDX_LDAP_PARAM_ERROR);
}

TEST_P(LdapHandle, LimitsHoldForLaterSearches) {
    ASSERT_EQ(qdx_ldap_set_limits(h(), 0, 1), 0);
    std::vector<std::string> lines;
    EXPECT_EQ(search(h(), "(cn=*)", &lines), 4);  // size limit exceeded, one entry kept
    EXPECT_EQ(lines.size(), 1u);
    ASSERT_EQ(qdx_ldap_set_limits(h(), 0, 0), 0);
    EXPECT_EQ(search(h(), "(cn=*)", &lines), 0);
    EXPECT_EQ(lines.size(), 2u);
}

TEST(ServerListHandle, CredentialsAndLimitsSurviveFailover) {
    SlapdOptions closed;
    closed.anonymous_reads = false;
    SlapdServer a(closed), b(closed);
    Handle h(qdx_ldap_open((lower_url(a) + ";" + lower_url(b)).c_str(), 0));
    ASSERT_TRUE(h);
    ASSERT_EQ(qdx_ldap_simple_bind_s(h.get(), SlapdServer::kAlice, SlapdServer::kAlicePassword), 0);
    ASSERT_EQ(qdx_ldap_set_limits(h.get(), 0, 1), 0);
    std::vector<std::string> lines;
    EXPECT_EQ(search(h.get(), "(cn=*)", &lines), 4);
    a.kill();
    // Repeated on b, bound again as alice (anonymous users see nothing there), under the
    // same size limit.
    EXPECT_EQ(search(h.get(), "(cn=*)", &lines), 4);
    EXPECT_EQ(lines.size(), 1u);
    EXPECT_EQ(server_of(h.get()), b.url());
    EXPECT_EQ(qdx_ldap_compare_s(h.get(), SlapdServer::kBob, "cn", "bob"), LDAP_COMPARE_TRUE);

    EXPECT_EQ(qdx_ldap_set_timeout(h.get(), 60), 0);
    EXPECT_EQ(qdx_ldap_set_timeout(h.get(), -1), QDX_LDAP_PARAM_ERROR);
}

class ProfiledHandle : public profile_test::ProfilerTest {
  protected:
    void SetUp() override {
        ProfilerTest::SetUp();
        profile("all");
        qdx_create_composite_activity("app", nullptr);
        qdx_create_composite_activity("ldap32", nullptr);
        for (const char* name : {"ldap_search_s", "ldap_first_entry", "ldap_msgfree"})
            qdx_create_atomic_activity(name, nullptr);
        qdx_end_composite_activity();
        qdx_end_composite_activity();
    }
};

TEST_F(ProfiledHandle, AnsweredCallsStopLdap32) {
    SlapdServer server;
    for (const std::string& host : {plain_host(server), server.url()}) {
        SCOPED_TRACE(host);
        Handle h(qdx_ldap_open(host.c_str(), 0));
        ASSERT_TRUE(h);
        int64_t searches = profile_test::count_of("ldap_search_s");
        LDAPMessage* answer = nullptr;
        ASSERT_EQ(qdx_ldap_search_s(h.get(), SlapdServer::kBob, LDAP_SCOPE_BASE, "(objectClass=*)",
                                    nullptr, 0, &answer),
                  0);
        EXPECT_NE(qdx_ldap_first_entry(h.get(), answer), nullptr);
        qdx_ldap_msgfree(answer);
        EXPECT_EQ(profile_test::count_of("ldap_search_s"), searches + 1);
        for (const char* name : {"ldap32", "ldap_search_s", "ldap_first_entry", "ldap_msgfree"})
            EXPECT_FALSE(profile_test::is_running(name)) << name;
        EXPECT_TRUE(profile_test::is_running("app"));
    }
}

}  // namespace
