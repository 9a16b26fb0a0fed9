#include "object_memory.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#define DIRCLIENT_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DIRCLIENT_ASAN 1
#endif
#endif
#ifdef DIRCLIENT_ASAN
#include <sanitizer/asan_interface.h>
#endif

std::atomic<int> ShareEnable{0};

namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr char kHeapTag[4] = {'H', 'E', 'A', 'P'};
constexpr char kSharedTag[4] = {'S', 'H', 'A', 'R'};

enum class Kind { kHeap, kShared, kForeign };

[[noreturn]] void out_of_memory() {
    std::_Exit(1);
}

// The size field is 32 bits wide; a larger request could not be resized faithfully.
void check_size(std::size_t size) {
    if (size > UINT32_MAX) out_of_memory();
}

char* stamp(void* raw, const char (&tag)[4], std::size_t size) {
    if (raw == nullptr) out_of_memory();
    char* header = static_cast<char*>(raw);
    std::memcpy(header, tag, 4);
    const std::uint32_t size32 = static_cast<std::uint32_t>(size);
    std::memcpy(header + 4, &size32, 4);
    return header + kHeaderSize;
}

// A block that did not come from here has no header of ours in front of it. Under
// AddressSanitizer the bytes before a foreign heap block are a red zone: ask before reading.
Kind kind_of(const void* block) {
    const char* header = static_cast<const char*>(block) - kHeaderSize;
#ifdef DIRCLIENT_ASAN
    if (__asan_region_is_poisoned(const_cast<char*>(header), kHeaderSize) != nullptr)
        return Kind::kForeign;
#endif
    if (std::memcmp(header, kHeapTag, 4) == 0) return Kind::kHeap;
    if (std::memcmp(header, kSharedTag, 4) == 0) return Kind::kShared;
    return Kind::kForeign;
}

std::uint32_t size_of(const void* block) {
    std::uint32_t size;
    std::memcpy(&size, static_cast<const char*>(block) - kHeaderSize + 4, 4);
    return size;
}

void release(void* block) {
    if (block == nullptr) return;
    char* header = static_cast<char*>(block) - kHeaderSize;
    switch (kind_of(block)) {
        case Kind::kHeap:
            std::free(header);
            break;
        case Kind::kShared:
            freeShared(header);
            break;
        case Kind::kForeign:
            break;
    }
}

char* copy_text(const char* text, char* (*allocate)(std::size_t)) {
    if (text == nullptr) return nullptr;
    const std::size_t length = std::strlen(text);
    char* copy = allocate(length + 1);
    std::memcpy(copy, text, length + 1);
    return copy;
}

}  // namespace

void* mallocShared(std::size_t size) {
    return std::malloc(size);
}

void freeShared(void* block) {
    std::free(block);
}

void* getSharedHeap() {
    return nullptr;
}

char* check_malloc(std::size_t size) {
    if (ShareEnable.load(std::memory_order_relaxed) != 0) return check_malloc_shared(size);
    check_size(size);
    return stamp(std::malloc(size + kHeaderSize), kHeapTag, size);
}

char* check_malloc_shared(std::size_t size) {
    check_size(size);
    return stamp(mallocShared(size + kHeaderSize), kSharedTag, size);
}

void* check_realloc(void* block, std::size_t size) {
    if (block == nullptr) return check_malloc(size);
    const Kind kind = kind_of(block);
    if (kind == Kind::kForeign) {
        void* moved = std::realloc(block, size);
        if (moved == nullptr && size != 0) out_of_memory();
        return moved;
    }
    char* fresh = kind == Kind::kShared ? check_malloc_shared(size) : nullptr;
    if (fresh == nullptr) {
        check_size(size);
        fresh = stamp(std::malloc(size + kHeaderSize), kHeapTag, size);
    }
    const std::size_t old_size = size_of(block);
    std::memcpy(fresh, block, old_size < size ? old_size : size);
    release(block);
    return fresh;
}

void check_free(void* block) {
    release(block);
}

void check_free_shared(void* block) {
    release(block);
}

void* malloc_object(std::size_t size, Mem kind, const char* /*tag*/) {
    return kind == HEAP ? check_malloc(size) : check_malloc_shared(size);
}

void free_object(void* block) {
    release(block);
}

char* strcopy(const char* text) {
    return copy_text(text, check_malloc);
}

char* strcopyShared(const char* text) {
    return copy_text(text, check_malloc_shared);
}
