#include "ldap_cext_calls.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ldap_message_codec.h"
#include "ldap_result_codes.h"
#include "local_message.h"
#include "message_access.h"

namespace dirclient::ldapaccess {
namespace {

// An encoded search entry with the given attributes, as the cache keeps them.
std::string entry(const std::string& dn,
                  const std::vector<std::pair<std::string, std::vector<std::string>>>& attrs) {
    BerPtr ber(ber_alloc_t(LBER_USE_DER));
    ber_printf(ber.get(), "{it{s{", 9, static_cast<ber_tag_t>(LDAP_RES_SEARCH_ENTRY), dn.c_str());
    for (const auto& [name, values] : attrs) {
        ber_printf(ber.get(), "{s[", name.c_str());
        for (const std::string& v : values)
            ber_printf(ber.get(), "o", v.data(), static_cast<ber_len_t>(v.size()));
        ber_printf(ber.get(), "]}");
    }
    ber_printf(ber.get(), "}}}");
    berval flat{};
    ber_flatten2(ber.get(), &flat, 0);
    return std::string(flat.bv_val, flat.bv_len);
}

std::string final_result(int code, const char* text) {
    BerPtr ber(ber_alloc_t(LBER_USE_DER));
    ber_printf(ber.get(), "{it{ess}}", 9, static_cast<ber_tag_t>(LDAP_RES_SEARCH_RESULT), code,
               "o=m", text);
    berval flat{};
    ber_flatten2(ber.get(), &flat, 0);
    return std::string(flat.bv_val, flat.bv_len);
}

TEST(LocalMessages, AccessorsReadCachedCopies) {
    MessageCopies copies = {
        {LDAP_RES_SEARCH_ENTRY, entry("cn=b,o=t", {{"cn", {"b"}}, {"mail", {"x@t", "y@t"}}})},
        {LDAP_RES_SEARCH_ENTRY, entry("cn=a,o=t", {{"cn", {"a"}}, {"empty", {}}})},
        {LDAP_RES_SEARCH_RESULT, final_result(4, "limit")},
    };
    LDAPMessage* chain = make_local_chain(42, copies);
    ASSERT_NE(chain, nullptr);
    EXPECT_EQ(message::msgid(chain), 42);
    EXPECT_EQ(message::msgtype(chain), LDAP_RES_SEARCH_ENTRY);
    EXPECT_EQ(message::count_entries(nullptr, chain), 2);

    LDAPMessage* first = message::first_entry(nullptr, chain);
    char* dn = message::get_dn(nullptr, first);
    EXPECT_STREQ(dn, "cn=b,o=t");
    ldap_memfree(dn);
    BerElement* ber = nullptr;
    std::vector<std::string> names;
    for (char* a = message::first_attribute(nullptr, first, &ber); a;
         a = message::next_attribute(nullptr, first, ber)) {
        names.push_back(a);
        ldap_memfree(a);
    }
    ber_free(ber, 0);
    EXPECT_EQ(names, (std::vector<std::string>{"cn", "mail"}));
    berval** values = message::get_values_len(nullptr, first, "MAIL");
    ASSERT_NE(values, nullptr);
    EXPECT_EQ(ldap_count_values_len(values), 2);
    EXPECT_EQ(std::string(values[1]->bv_val, values[1]->bv_len), "y@t");
    ldap_value_free_len(values);
    EXPECT_EQ(message::get_values_len(nullptr, first, "absent"), nullptr);

    LDAPMessage* second = message::next_entry(nullptr, first);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(message::next_entry(nullptr, second), nullptr);
    char** none = message::get_values(nullptr, second, "empty");
    EXPECT_EQ(ldap_cext_count_values(none), 0);
    ldap_cext_value_free(none);

    EXPECT_EQ(message::result2error(nullptr, chain, 0), 4);
    EXPECT_EQ(message::sort_entries(nullptr, &chain, nullptr, strcmp), 0);
    dn = message::get_dn(nullptr, message::first_entry(nullptr, chain));
    EXPECT_STREQ(dn, "cn=a,o=t");
    ldap_memfree(dn);
    // Sorting keeps the final result last; freeing reports its type, as libldap does.
    EXPECT_EQ(message::msgfree(chain), LDAP_RES_SEARCH_RESULT);
    EXPECT_EQ(registered_message_count(), 0u);
}

TEST(LocalMessages, EntryWithoutAttributesGivesNoCursor) {
    LDAPMessage* chain = make_local_chain(1, {{LDAP_RES_SEARCH_ENTRY, entry("o=t", {})}});
    BerElement* ber = reinterpret_cast<BerElement*>(1);
    EXPECT_EQ(message::first_attribute(nullptr, chain, &ber), nullptr);
    EXPECT_EQ(ber, nullptr);
    message::msgfree(chain);
}

TEST(RetiredCalls, DnsStyleNamesAreHandledHere) {
    EXPECT_TRUE(ldap_cext_is_dns_dn("host.example.com"));
    EXPECT_TRUE(ldap_cext_is_dns_dn("user@example.com"));
    EXPECT_FALSE(ldap_cext_is_dns_dn("cn=a,o=t"));
    EXPECT_FALSE(ldap_cext_is_dns_dn(""));
    EXPECT_FALSE(ldap_cext_is_dns_dn(nullptr));
    char** parts = ldap_cext_explode_dns("user@mail..example.com");
    ASSERT_NE(parts, nullptr);
    EXPECT_EQ(ldap_cext_count_values(parts), 4);
    EXPECT_STREQ(parts[0], "user");
    EXPECT_STREQ(parts[3], "com");
    ldap_cext_value_free(parts);
    EXPECT_EQ(ldap_cext_explode_dns(nullptr), nullptr);
}

TEST(RetiredCalls, OthersAreNotSupportedAndTouchNothing) {
    LDAPMessage* result = reinterpret_cast<LDAPMessage*>(1);
    EXPECT_EQ(ldap_cext_ufn_search_s(nullptr, nullptr, nullptr, 0, &result),
              QDX_LDAP_NOT_SUPPORTED);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(ldap_cext_translate_to_t61(nullptr, nullptr, nullptr, 0), QDX_LDAP_NOT_SUPPORTED);
    EXPECT_EQ(ldap_cext_init_getfilter(nullptr), nullptr);
    EXPECT_EQ(ldap_cext_friendly_name(nullptr, nullptr, nullptr), nullptr);
    char buf[8] = "garbage";
    ldap_cext_build_filter(buf, sizeof buf, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_STREQ(buf, "");
    EXPECT_STREQ(ldap_cext_err2string(QDX_LDAP_SERVER_DOWN), ldap_err2string(LDAP_SERVER_DOWN));
}

TEST(SerializedCalls, NullSessionsFailWithoutCrashing) {
    EXPECT_EQ(ldap_cext_add(nullptr, "o=t", nullptr), -1);
    EXPECT_EQ(ldap_cext_add_s(nullptr, "o=t", nullptr), QDX_LDAP_PARAM_ERROR);
    EXPECT_EQ(ldap_cext_first_entry(nullptr, nullptr), nullptr);
    EXPECT_EQ(ldap_cext_enable_cache(nullptr, 1, 1), -1);
    ldap_cext_flush_cache(nullptr);
    EXPECT_EQ(ldap_cext_url_search(nullptr, "ldap:///o=t", 0), -1);
    EXPECT_EQ(ldap_cext_msgfree(nullptr), 0);
}

}  // namespace
}  // namespace dirclient::ldapaccess
