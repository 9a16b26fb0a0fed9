#include "object_memory.h"

#include <gtest/gtest.h>
#include <lber.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dbinary.h"

namespace {

std::string tag_of(const void* block) {
    return std::string(static_cast<const char*>(block) - 8, 4);
}

std::uint32_t size_of(const void* block) {
    std::uint32_t size;
    std::memcpy(&size, static_cast<const char*>(block) - 4, 4);
    return size;
}

// Raises ShareEnable for one scope, as the flat-file loader does.
struct SharedScope {
    SharedScope() { ShareEnable = 1; }
    ~SharedScope() { ShareEnable = 0; }
};

TEST(ObjectMemory, BlocksCarryTheTagOfTheirKindAndTheRequestedSize) {
    char* heap = check_malloc(13);
    char* shared = check_malloc_shared(7);
    EXPECT_EQ(tag_of(heap), "HEAP");
    EXPECT_EQ(size_of(heap), 13u);
    EXPECT_EQ(tag_of(shared), "SHAR");
    EXPECT_EQ(size_of(shared), 7u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(heap) % 8, 0u);
    check_free(heap);
    check_free_shared(shared);
    // Objects: any kind other than HEAP is shared.
    void* heap_object = malloc_object(24, HEAP, "DEntry");
    void* odd_object = malloc_object(24, static_cast<Mem>(7), "DEntry");
    EXPECT_EQ(tag_of(heap_object), "HEAP");
    EXPECT_EQ(tag_of(odd_object), "SHAR");
    free_object(heap_object);
    free_object(odd_object);
}

TEST(ObjectMemory, ShareEnableSwitchesHeapRequestsToShared) {
    {
        SharedScope shared;
        char* block = check_malloc(4);
        void* object = malloc_object(16, HEAP, "DList");
        EXPECT_EQ(tag_of(block), "SHAR");
        EXPECT_EQ(tag_of(object), "SHAR");
        check_free(block);
        free_object(object);
    }
    char* block = check_malloc(4);
    EXPECT_EQ(tag_of(block), "HEAP");
    check_free(block);
}

TEST(ObjectMemory, ReallocKeepsKindAndContentsAndAllocatesForNull) {
    for (bool shared : {false, true}) {
        char* block = shared ? check_malloc_shared(4) : check_malloc(4);
        std::memcpy(block, "abcd", 4);
        char* grown = static_cast<char*>(check_realloc(block, 4000));
        EXPECT_EQ(tag_of(grown), shared ? "SHAR" : "HEAP");
        EXPECT_EQ(size_of(grown), 4000u);
        EXPECT_EQ(std::string(grown, 4), "abcd");
        char* shrunk = static_cast<char*>(check_realloc(grown, 2));
        EXPECT_EQ(size_of(shrunk), 2u);
        EXPECT_EQ(std::string(shrunk, 2), "ab");
        check_free(shrunk);
    }
    char* fresh = static_cast<char*>(check_realloc(nullptr, 10));
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(tag_of(fresh), "HEAP");
    EXPECT_EQ(size_of(fresh), 10u);
    check_free(fresh);
}

TEST(ObjectMemory, ReallocOfAHeapBlockStaysHeapWhileSharing) {
    char* block = check_malloc(4);
    SharedScope shared;
    char* grown = static_cast<char*>(check_realloc(block, 64));
    EXPECT_EQ(tag_of(grown), "HEAP");
    check_free(grown);
}

TEST(ObjectMemory, ForeignBlocksAreLeftToTheSystemAllocator) {
    char* foreign = static_cast<char*>(std::malloc(16));
    std::strcpy(foreign, "system");
    check_free(foreign);
    check_free_shared(foreign);
    free_object(foreign);
    EXPECT_STREQ(foreign, "system");  // still allocated
    char* moved = static_cast<char*>(check_realloc(foreign, 1000));
    EXPECT_STREQ(moved, "system");
    std::free(moved);  // realloc kept it a system block
    check_free(nullptr);
}

TEST(ObjectMemory, OversizedRequestEndsTheProcess) {
    const std::size_t too_big = std::size_t{UINT32_MAX} + 1;
    EXPECT_EXIT(check_malloc(too_big), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(check_malloc_shared(too_big), testing::ExitedWithCode(1), "");
}

TEST(ObjectMemory, StringCopies) {
    EXPECT_EQ(strcopy(nullptr), nullptr);
    EXPECT_EQ(strcopyShared(nullptr), nullptr);
    char* heap = strcopy("cn=Ann");
    char* shared = strcopyShared("");
    EXPECT_STREQ(heap, "cn=Ann");
    EXPECT_EQ(size_of(heap), 7u);  // with the terminator
    EXPECT_STREQ(shared, "");
    EXPECT_EQ(tag_of(shared), "SHAR");
    check_free(heap);
    check_free(shared);
}

TEST(Bincmp, OrdersBytesUnsignedThenByLength) {
    struct Row {
        const char* a;
        std::uint32_t alen;
        const char* b;
        std::uint32_t blen;
        int expected;
    };
    const Row rows[] = {
        {"ab", 2, "abc", 3, -1},    {"abc", 3, "ab", 2, 1},    {"abc", 3, "abc", 3, 0},
        {"abd", 3, "abc", 3, 1},    {"\x80", 1, "\x7f", 1, 1}, {"", 0, "", 0, 0},
        {"", 0, "a", 1, -1},        {nullptr, 3, "abc", 3, 0}, {"abc", 3, nullptr, 0, 0},
        {"a\0b", 3, "a\0c", 3, -1},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        const Row& r = rows[i];
        EXPECT_EQ(bincmp(r.a, r.alen, r.b, r.blen), r.expected);
    }
}

TEST(Dbinary, CopiesAreSharedBlocksAndEmptyWithoutBytes) {
    char bytes[] = {'a', '\0', 'b'};
    Dbinary source{3, bytes};
    Dbinary* copy = copy_binary_shared(&source);
    EXPECT_EQ(tag_of(copy), "SHAR");
    EXPECT_EQ(tag_of(copy->bytes), "SHAR");
    ASSERT_EQ(copy->length, 3u);
    EXPECT_EQ(std::memcmp(copy->bytes, bytes, 3), 0);
    free_binary(copy);

    Dbinary broken{5, nullptr};  // a length without bytes must not be read
    Dbinary* empty = copy_binary_shared(&broken);
    EXPECT_EQ(empty->length, 0u);
    EXPECT_EQ(empty->bytes, nullptr);
    free_binary(empty);
    EXPECT_EQ(copy_binary_shared(nullptr), nullptr);
    free_binary(nullptr);
}

TEST(Dbinary, ConvertsToAndFromBervalFieldByField) {
    char bytes[] = "abc";
    berval bv{3, bytes};
    Dbinary value{};
    ASSERT_TRUE(dbinary_from_berval(&bv, &value));
    EXPECT_EQ(value.length, 3u);
    EXPECT_EQ(value.bytes, bytes);
    berval back{};
    dbinary_to_berval(&value, &back);
    EXPECT_EQ(back.bv_len, 3u);
    EXPECT_EQ(back.bv_val, bytes);

    berval huge{ber_len_t{UINT32_MAX} + 1, bytes};
    Dbinary untouched{7, nullptr};
    EXPECT_FALSE(dbinary_from_berval(&huge, &untouched));
    EXPECT_EQ(untouched.length, 7u);
    EXPECT_FALSE(dbinary_from_berval(nullptr, &untouched));
}

}  // namespace
