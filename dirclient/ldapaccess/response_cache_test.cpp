#include "response_cache.h"

#include <gtest/gtest.h>

#include <ldap.h>

#include <atomic>
#include <string>

#include "ldap_message_codec.h"

namespace dirclient::ldapaccess {
namespace {

std::atomic<time_t> g_now{5000};
time_t fake_now() {
    return g_now.load();
}

class ResponseCacheTest : public ::testing::Test {
  protected:
    void SetUp() override { ResponseCache::set_clock(fake_now); }
    void TearDown() override { ResponseCache::set_clock(nullptr); }

    // Records a search for "base" under "id" with one entry of "size" bytes and a result.
    void answer(int id, const std::string& base, int code, size_t entry_size = 10,
                int type = LDAP_REQ_SEARCH) {
        EncodedRequest request =
            *encode_search_request(nullptr, base.c_str(), 0, "(a=b)", nullptr, 0);
        cache.add_request(id, type, request.bytes, request.body_offset, base);
        if (type == LDAP_REQ_SEARCH)
            cache.add_result(id, LDAP_RES_SEARCH_ENTRY, std::string(entry_size, 'e'), 0,
                             "cn=x," + base);
        cache.add_result(id, type == LDAP_REQ_SEARCH ? LDAP_RES_SEARCH_RESULT : LDAP_RES_COMPARE,
                         "rrrr", code, "");
    }

    bool hit(const std::string& base, int type = LDAP_REQ_SEARCH) {
        EncodedRequest request =
            *encode_search_request(nullptr, base.c_str(), 0, "(a=b)", nullptr, 0);
        MessageCopies copies;
        return cache.check(type, std::string_view(request.bytes).substr(request.body_offset),
                           &copies);
    }

    ResponseCache cache;
};

TEST_F(ResponseCacheTest, KeepsAnswersByResultCodeAndOptions) {
    cache.configure(60, 0);
    struct Row {
        int type;
        int code;
        unsigned long options;
        bool kept;
    } rows[] = {
        {LDAP_REQ_SEARCH, LDAP_SUCCESS, 0, true},
        {LDAP_REQ_SEARCH, LDAP_NO_SUCH_OBJECT, 0, false},
        {LDAP_REQ_SEARCH, LDAP_NO_SUCH_OBJECT, 2, true},
        {LDAP_REQ_SEARCH, LDAP_SIZELIMIT_EXCEEDED, 0, true},
        {LDAP_REQ_SEARCH, LDAP_SIZELIMIT_EXCEEDED, 1, false},
        {LDAP_REQ_SEARCH, LDAP_INSUFFICIENT_ACCESS, 3, true},
        {LDAP_REQ_COMPARE, LDAP_COMPARE_FALSE, 0, true},
        {LDAP_REQ_COMPARE, LDAP_COMPARE_TRUE, 0, true},
        {LDAP_REQ_COMPARE, LDAP_NO_SUCH_ATTRIBUTE, 0, true},
        {LDAP_REQ_COMPARE, LDAP_NO_SUCH_OBJECT, 0, false},
        {LDAP_REQ_SEARCH, LDAP_COMPARE_FALSE, 0, false},
    };
    int id = 1;
    for (const Row& row : rows) {
        SCOPED_TRACE(id);
        cache.flush();
        cache.set_options(row.options);
        answer(id++, "o=t", row.code, 10, row.type);
        EXPECT_EQ(hit("o=t", row.type), row.kept);
        EXPECT_FALSE(hit("o=t", row.type == LDAP_REQ_SEARCH ? LDAP_REQ_COMPARE : LDAP_REQ_SEARCH));
    }
}

TEST_F(ResponseCacheTest, AccountsEncodedBytesAndTrimsPastTwoThirds) {
    cache.configure(600, 540);
    EXPECT_EQ(cache.maxmem(), 540);
    EXPECT_EQ(cache.memused(), 148);
    // Request + entry + result: each message counts its bytes plus 24.
    EncodedRequest request = *encode_search_request(nullptr, "o=a", 0, "(a=b)", nullptr, 0);
    long chain = static_cast<long>(request.bytes.size()) + 24 + 10 + 24 + 4 + 24;
    answer(1, "o=a", 0, 10);
    ASSERT_LE(148 + chain, 360);
    ASSERT_GT(148 + 2 * chain, 360);
    EXPECT_EQ(cache.memused(), 148 + chain);
    EXPECT_TRUE(hit("o=a"));
    g_now += 3;
    answer(2, "o=b", 0, 10);  // past two thirds of the limit: the older answer goes
    EXPECT_EQ(cache.memused(), 148 + chain);
    EXPECT_FALSE(hit("o=a"));
    EXPECT_TRUE(hit("o=b"));
}

TEST_F(ResponseCacheTest, SmallLimitsMeanNoLimit) {
    cache.configure(600, 200);
    EXPECT_EQ(cache.maxmem(), 148);
    for (int i = 0; i < 20; ++i)
        answer(i + 1, "o=" + std::to_string(i), 0, 100);
    EXPECT_EQ(cache.chain_count(), 20u);
    cache.configure(600, 222);
    EXPECT_EQ(cache.maxmem(), 222);
    EXPECT_LT(cache.chain_count(), 20u);
}

TEST_F(ResponseCacheTest, ExpiresOneSecondAfterTheTimeout) {
    cache.configure(10, 0);
    answer(1, "o=t", 0);
    g_now += 10;
    EXPECT_TRUE(hit("o=t"));
    g_now += 1;
    EXPECT_FALSE(hit("o=t"));
    EXPECT_EQ(cache.memused(), 148);
}

TEST_F(ResponseCacheTest, PendingRequestsLapseAfterFiveMinutes) {
    cache.configure(600, 0);
    EncodedRequest request = *encode_search_request(nullptr, "o=t", 0, "(a=b)", nullptr, 0);
    cache.add_request(7, LDAP_REQ_SEARCH, request.bytes, request.body_offset, "o=t");
    g_now += 301;
    cache.add_request(8, LDAP_REQ_SEARCH, request.bytes, request.body_offset, "o=t");
    EXPECT_FALSE(cache.has_pending(7));
    EXPECT_TRUE(cache.has_pending(8));
    cache.add_result(7, LDAP_RES_SEARCH_RESULT, "rrrr", 0, "");
    EXPECT_FALSE(hit("o=t"));
}

TEST_F(ResponseCacheTest, UncachesByRequestAndByDn) {
    cache.configure(600, 0);
    answer(1, "o=one", 0);
    answer(2, "o=two", 0);
    answer(3, "o=three", 0);
    cache.uncache_request(2);
    EXPECT_TRUE(hit("o=one"));
    EXPECT_FALSE(hit("o=two"));
    cache.uncache_entry("O=ONE");  // the request's base, any case
    EXPECT_FALSE(hit("o=one"));
    cache.uncache_entry("cn=x,o=three");  // an entry of the answer
    EXPECT_FALSE(hit("o=three"));
    EXPECT_EQ(cache.memused(), 148);
}

TEST_F(ResponseCacheTest, DisableKeepsContentsAndFlushKeepsSettings) {
    cache.configure(600, 5000);
    cache.set_options(2);
    answer(1, "o=t", LDAP_NO_SUCH_OBJECT);
    cache.disable();
    EXPECT_FALSE(hit("o=t"));
    answer(2, "o=u", 0);  // not recorded while disabled
    cache.configure(600, 5000);
    EXPECT_TRUE(hit("o=t"));
    EXPECT_FALSE(hit("o=u"));
    cache.flush();
    EXPECT_FALSE(hit("o=t"));
    EXPECT_EQ(cache.timeout(), 600);
    EXPECT_EQ(cache.maxmem(), 5000);
    EXPECT_EQ(cache.options(), 2u);
}

TEST_F(ResponseCacheTest, OnlySearchAndCompareAnswersAreAttached) {
    cache.configure(600, 0);
    EncodedRequest request = *encode_search_request(nullptr, "o=t", 0, "(a=b)", nullptr, 0);
    cache.add_request(1, LDAP_REQ_SEARCH, request.bytes, request.body_offset, "o=t");
    cache.add_result(1, LDAP_RES_SEARCH_REFERENCE, "ref", 0, "");
    cache.add_result(1, LDAP_RES_SEARCH_RESULT, "rrrr", 0, "");
    MessageCopies copies;
    ASSERT_TRUE(cache.check(LDAP_REQ_SEARCH,
                            std::string_view(request.bytes).substr(request.body_offset), &copies));
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].first, LDAP_RES_SEARCH_RESULT);
}

}  // namespace
}  // namespace dirclient::ldapaccess
