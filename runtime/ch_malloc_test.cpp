#include "ch_malloc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "error_log.h"
#include "test_dir.h"

// Sanitizer builds must answer an impossible request with null, as the system heap does,
// so that the exhaustion path can be reached.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

namespace {

// Pools of a few blocks per class, torn down after each test.
class Pools : public ::testing::Test {
  protected:
    void SetUp() override {
        const int sizes[] = {32, 64, 256, 1024, 8192};
        for (int c = 0; c < CH_CLASS_COUNT; ++c)
            ch_alloc_init(c, sizes[c], 4);
    }
    void TearDown() override { ch_free_slapd_memory(); }
};

TEST(ChMallocWithoutPools, PassesThroughToTheSystemHeap) {
    void* p = ch_malloc(0);
    ch_free(p);
    EXPECT_EQ(ch_strdup(nullptr), nullptr);
    ch_free(nullptr);
    char* copy = ch_strdup("text");
    EXPECT_STREQ(copy, "text");
    EXPECT_EQ(ch_block_class(copy), -1);
    copy = static_cast<char*>(ch_realloc(copy, 10000));
    EXPECT_STREQ(copy, "text");
    ch_free(copy);
    auto* zeros = static_cast<unsigned char*>(ch_calloc(100, 3));
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(zeros[i], 0);
    ch_free(zeros);
}

TEST_F(Pools, SelectsTheClassBySize) {
    struct Row {
        size_t size;
        int cls;
    };
    const Row rows[] = {{0, 0},   {1, 0},    {32, 0},    {33, 1},    {64, 1},   {65, 2},   {256, 2},
                        {257, 3}, {1024, 3}, {1025, -1}, {8191, -1}, {8192, 4}, {8193, -1}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.size);
        void* p = ch_malloc(r.size);
        EXPECT_EQ(ch_block_class(p), r.cls);
        memset(p, 0x5A, r.size);
        ch_free(p);
    }
    std::string page(8191, 'x');  // 8192 bytes with its NUL: never the page class
    char* copy = ch_strdup(page.c_str());
    EXPECT_EQ(ch_block_class(copy), -1);
    ch_free(copy);
}

TEST_F(Pools, RecyclesReleasedBlocksAndCountsUse) {
    void* a = ch_malloc(20);
    ch_free(a);
    EXPECT_EQ(ch_malloc(10), a);
    ch_pool_stats stats{};
    ASSERT_EQ(ch_get_pool_stats(0, &stats), 0);
    EXPECT_EQ(stats.use_count, 2);
    EXPECT_EQ(stats.blocks, 4);
    EXPECT_EQ(stats.free_blocks, 3);
    EXPECT_EQ(stats.total_bytes, 4u * 40u);
    memset(a, 0xFF, 32);
    ch_free(a);
    auto* zeroed = static_cast<unsigned char*>(ch_calloc(4, 8));
    EXPECT_EQ(zeroed, a);
    for (int i = 0; i < 32; ++i)
        ASSERT_EQ(zeroed[i], 0);
    ch_free(zeroed);
    EXPECT_EQ(ch_get_pool_stats(5, &stats), -1);
}

TEST_F(Pools, ReallocStaysWhileItFitsAndMovesWithItsContents) {
    auto* p = static_cast<char*>(ch_malloc(20));
    for (int i = 0; i < 32; ++i)
        p[i] = static_cast<char>('a' + i % 26);
    EXPECT_EQ(ch_realloc(p, 30), p);
    auto* moved = static_cast<char*>(ch_realloc(p, 40));
    EXPECT_NE(moved, p);
    EXPECT_EQ(ch_block_class(moved), 1);
    for (int i = 0; i < 32; ++i)
        ASSERT_EQ(moved[i], 'a' + i % 26);
    auto* big = static_cast<char*>(ch_realloc(moved, 5000));
    EXPECT_EQ(ch_block_class(big), -1);
    EXPECT_EQ(big[31], 'a' + 31 % 26);
    auto* back = static_cast<char*>(ch_realloc(big, 100));  // system blocks stay system
    EXPECT_EQ(ch_block_class(back), -1);
    ch_free(back);
    auto* page = static_cast<char*>(ch_malloc(8192));
    page[8191] = 'z';
    auto* page2 = static_cast<char*>(ch_realloc(page, 8000));  // the page class always moves
    EXPECT_NE(page2, page);
    EXPECT_EQ(page2[7999], page[7999]);
    ch_free(page2);
}

TEST_F(Pools, EmptyPoolFallsBackToTheSystemHeap) {
    std::vector<void*> blocks;
    for (int i = 0; i < 4; ++i)
        blocks.push_back(ch_malloc(1000));
    void* extra = ch_malloc(1000);
    EXPECT_EQ(ch_block_class(extra), -1);
    ch_free(extra);
    for (void* b : blocks)
        EXPECT_EQ(ch_block_class(b), 3);
    for (void* b : blocks)
        ch_free(b);
    ch_pool_stats stats{};
    ch_get_pool_stats(3, &stats);
    EXPECT_EQ(stats.free_blocks, 4);
}

TEST_F(Pools, SecondReleaseOfABlockIsLoggedAndIgnored) {
    ScopedTestDir dir;
    void* p = ch_malloc(50);
    ch_free(p);
    ch_free(p);
    ch_pool_stats stats{};
    ch_get_pool_stats(1, &stats);
    EXPECT_EQ(stats.free_blocks, 4);
    EXPECT_NE(ScopedTestDir::read("qdxserv.log").find("released twice"), std::string::npos);
    void* first = ch_malloc(50);
    void* second = ch_malloc(50);
    EXPECT_NE(first, second);  // the stack held the block once only
    ch_free(first);
    ch_free(second);
}

TEST(ChFreeMemory, BlocksInUseSurviveTheTearDown) {
    ch_alloc_init(2, 256, 3);
    auto* kept = static_cast<char*>(ch_malloc(200));
    void* returned = ch_malloc(200);
    ch_free(returned);
    strcpy(kept, "still mine");
    ch_free_memory(2);
    ch_pool_stats stats{};
    ch_get_pool_stats(2, &stats);
    EXPECT_EQ(stats.blocks, 0);
    void* later = ch_malloc(200);
    EXPECT_EQ(ch_block_class(later), -1);
    EXPECT_STREQ(kept, "still mine");
    EXPECT_EQ(ch_block_class(kept), 2);
    ch_free(kept);  // the last block out releases the torn-down pool
    EXPECT_EQ(ch_block_class(kept), -1);
    ch_free(later);
    ch_alloc_init(2, 256, 2);  // a torn-down class may be set up again
    ch_get_pool_stats(2, &stats);
    EXPECT_EQ(stats.blocks, 2);
    ch_free_memory(2);
}

TEST(ChInitMemory, SizesThePoolsFromItsArgument) {
    ch_init_memory(0);
    EXPECT_EQ(ch_total_preallocated(),
              23040u * 40 + 4608u * 72 + 3456u * 264 + 576u * 1032 + 64u * 8200);
    ch_free_slapd_memory();
    ch_init_memory(1000);
    ch_pool_stats stats{};
    ch_get_pool_stats(4, &stats);
    EXPECT_EQ(stats.blocks, 256 + 64);
    ch_free_slapd_memory();
    EXPECT_EQ(ch_total_preallocated(), 0u);
}

TEST(ChInitLdapMemory, SwitchesThePoolsOffOnce) {
    ch_alloc_init(0, 32, 2);
    void* pooled = ch_malloc(8);
    ch_init_ldap_memory();
    ch_init_ldap_memory();
    void* plain = ch_malloc(8);
    EXPECT_EQ(ch_block_class(pooled), 0);
    EXPECT_EQ(ch_block_class(plain), -1);
    ch_free(pooled);  // still recognised as a pool block
    ch_free(plain);
    ch_free_memory(0);
}

using ChMallocDeathTest = ::testing::Test;

TEST_F(ChMallocDeathTest, ExhaustedMemoryLogsAndExitsWithStatusOne) {
    ScopedTestDir dir;
    const size_t huge = SIZE_MAX / 4;
    EXPECT_EXIT(ch_malloc(huge), ::testing::ExitedWithCode(1), "");
    EXPECT_NE(ScopedTestDir::read("qdxserv.log")
                  .find("malloc of " + std::to_string(huge) + " bytes failed\n"),
              std::string::npos);
    EXPECT_EXIT(ch_calloc(SIZE_MAX / 2, 4), ::testing::ExitedWithCode(1), "");
    EXPECT_NE(ScopedTestDir::read("qdxserv.log").find("calloc of "), std::string::npos);
    EXPECT_EXIT(
        {
            void* p = ch_malloc(8);
            ch_realloc(p, huge);
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_NE(ScopedTestDir::read("qdxserv.log").find("realloc of "), std::string::npos);
}

TEST_F(ChMallocDeathTest, SettingUpAClassTwiceExits) {
    ScopedTestDir dir;
    EXPECT_EXIT(
        {
            ch_alloc_init(1, 64, 5);
            ch_alloc_init(1, 64, 5);
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_NE(ScopedTestDir::read("qdxserv.log").find("ch_alloc_init: 64 hash entry in use (4)\n"),
              std::string::npos);
}

}  // namespace
