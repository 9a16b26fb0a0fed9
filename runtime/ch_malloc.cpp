#include "ch_malloc.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "debug_mask.h"
#include "error_log.h"
#include "runtime_util.h"

namespace {

// Every pool block starts with this header; the caller gets the bytes after it.
struct BlockHeader {
    uint32_t marker;
    uint32_t cls;  // class number, plus kFreeBit while the block waits on the free stack
};
static_assert(sizeof(BlockHeader) == 8);

constexpr uint32_t kMarker = 0xCA2D1E1D;
constexpr uint32_t kFreeBit = 0x100;
constexpr size_t kHeader = sizeof(BlockHeader);
constexpr size_t kClassSize[CH_CLASS_COUNT] = {32, 64, 256, 1024, 8192};

// A class's blocks lie in one system block (the slab), so that a release is recognised by
// its address alone, without reading memory in front of blocks that are not ours.
struct Slab {
    char* begin = nullptr;
    char* end = nullptr;
    size_t stride = 0;  // header + block size
    bool holds(const char* header) const {
        return header >= begin && header < end && (header - begin) % stride == 0;
    }
};

struct Pool {
    bool active = false;
    size_t block_size = 0;
    int blocks = 0;
    size_t total = 0;
    long use_count = 0;
    int top = -1;  // index of the top of the free stack; -1 when empty
    char** stack = nullptr;
    Slab slab;
};

// A torn-down class whose blocks were still in use: kept until the last comes back.
struct RetiredSlab {
    Slab slab;
    int cls;
    int outstanding;
};

std::mutex malloc_mutex;
Pool pools[CH_CLASS_COUNT];         // guarded by malloc_mutex
std::vector<RetiredSlab> retired;   // guarded by malloc_mutex
std::atomic<bool> pools_on{false};  // requests try the pools first
std::atomic<bool> any_slab{false};  // releases must look for pool blocks

[[noreturn]] void exit_after_log() {
    slapd_exit(1);
}

int select_class(size_t n, bool allow_exact_page) {
    for (int c = 0; c < 4; ++c)
        if (n <= kClassSize[c]) return c;
    return allow_exact_page && n == kClassSize[4] ? 4 : -1;
}

BlockHeader* header_of(const void* block) {
    return reinterpret_cast<BlockHeader*>(static_cast<char*>(const_cast<void*>(block)) - kHeader);
}

void* pop_block(int cls) {
    if (cls < 0 || !pools_on.load(std::memory_order_acquire)) return nullptr;
    std::lock_guard<std::mutex> lock(malloc_mutex);
    Pool& p = pools[cls];
    if (!p.active || p.top < 0) return nullptr;
    char* header = p.stack[p.top--];
    reinterpret_cast<BlockHeader*>(header)->cls &= ~kFreeBit;
    ++p.use_count;
    return header + kHeader;
}

struct Found {
    int cls = -1;
    size_t block_size = 0;
    Pool* pool = nullptr;             // set for a block of an active pool
    size_t retired_index = SIZE_MAX;  // set for a block of a retired slab
};

// Caller holds malloc_mutex.
Found find_block(const void* block) {
    Found f;
    const char* header = static_cast<const char*>(block) - kHeader;
    for (int c = 0; c < CH_CLASS_COUNT; ++c) {
        Pool& p = pools[c];
        if (p.active && p.slab.holds(header)) {
            f.cls = c;
            f.block_size = p.block_size;
            f.pool = &p;
            return f;
        }
    }
    for (size_t i = 0; i < retired.size(); ++i) {
        if (retired[i].slab.holds(header)) {
            f.cls = retired[i].cls;
            f.block_size = retired[i].slab.stride - kHeader;
            f.retired_index = i;
            return f;
        }
    }
    return f;
}

void refresh_any_slab() {
    bool any = !retired.empty();
    for (const Pool& p : pools)
        any = any || p.active;
    any_slab.store(any, std::memory_order_release);
}

Found find_block_locked(const void* block) {
    if (!any_slab.load(std::memory_order_acquire)) return {};
    std::lock_guard<std::mutex> lock(malloc_mutex);
    return find_block(block);
}

}  // namespace

extern "C" {

void* ch_malloc(size_t size) {
    if (void* block = pop_block(select_class(size, true))) return block;
    void* block = malloc(size);
    if (!block && size) {
        ErrorLog("malloc of %zu bytes failed\n", size);
        exit_after_log();
    }
    return block;
}

void* ch_calloc(size_t count, size_t size) {
    size_t n;
    if (__builtin_mul_overflow(count, size, &n)) {
        ErrorLog("calloc of %zu elems of %zu bytes failed\n", count, size);
        exit_after_log();
    }
    if (void* block = pop_block(select_class(n, true))) return memset(block, 0, n);
    void* block = calloc(count, size);
    if (!block && n) {
        ErrorLog("calloc of %zu elems of %zu bytes failed\n", count, size);
        exit_after_log();
    }
    return block;
}

char* ch_strdup(const char* text) {
    if (!text) return nullptr;
    size_t n = strlen(text) + 1;
    void* block = pop_block(select_class(n, false));
    if (!block) block = malloc(n);
    if (!block) {
        ErrorLog("malloc of %zu bytes failed\n", n);
        exit_after_log();
    }
    return static_cast<char*>(memcpy(block, text, n));
}

void* ch_realloc(void* block, size_t size) {
    if (!block) return ch_malloc(size);
    Found f = find_block_locked(block);
    if (f.cls >= 0) {
        if (f.cls <= 2 && size <= kClassSize[f.cls]) return block;
        void* moved = ch_malloc(size);
        memcpy(moved, block, std::min(f.block_size, size));
        ch_free(block);
        return moved;
    }
    // realloc(block, 0) may free the block and answer null; keep a live block instead.
    void* moved = realloc(block, size ? size : 1);
    if (!moved) {
        ErrorLog("realloc of %zu bytes failed\n", size);
        exit_after_log();
    }
    return moved;
}

void ch_free(void* block) {
    if (!block) return;
    if (any_slab.load(std::memory_order_acquire)) {
        std::unique_lock<std::mutex> lock(malloc_mutex);
        Found f = find_block(block);
        if (f.cls >= 0) {
            BlockHeader* h = header_of(block);
            if (h->cls & kFreeBit) {
                lock.unlock();
                ErrorLog("ch_free: block %p of size class %d released twice\n", block, f.cls);
                return;
            }
            h->cls |= kFreeBit;
            if (f.pool) {
                f.pool->stack[++f.pool->top] = reinterpret_cast<char*>(h);
            } else if (--retired[f.retired_index].outstanding == 0) {
                free(retired[f.retired_index].slab.begin);
                retired.erase(retired.begin() + static_cast<long>(f.retired_index));
                refresh_any_slab();
            }
            return;
        }
    }
    free(block);
}

void ch_alloc_init(int cls, int block_size, int count) {
    if (cls < 0 || cls >= CH_CLASS_COUNT) {
        ErrorLog("ch_alloc_init: no size class %d\n", cls);
        return;
    }
    if (count < 1) return;
    // Smaller blocks than the class's size would be overrun by the requests it serves;
    // multiples of 8 keep every block aligned.
    size_t size = std::max(kClassSize[cls], block_size > 0 ? static_cast<size_t>(block_size) : 0);
    size = (size + 7) / 8 * 8;

    std::unique_lock<std::mutex> lock(malloc_mutex);
    Pool& p = pools[cls];
    if (p.active) {
        ErrorLog("ch_alloc_init: %zu hash entry in use (%d)\n", p.block_size, p.blocks - 1);
        lock.unlock();
        exit_after_log();
    }
    auto** stack = static_cast<char**>(calloc(static_cast<size_t>(count) + 1, sizeof(char*)));
    if (!stack) {
        ErrorLog("malloc of stack arena %d bytes failed\n", count);
        lock.unlock();
        exit_after_log();
    }
    size_t stride = size + kHeader;
    char* slab = static_cast<char*>(calloc(static_cast<size_t>(count), stride));
    if (!slab) {
        ErrorLog("malloc of arena entry %zu bytes failed\n", size);
        lock.unlock();
        exit_after_log();
    }
    for (int i = 0; i < count; ++i) {
        char* header = slab + static_cast<size_t>(i) * stride;
        auto* h = reinterpret_cast<BlockHeader*>(header);
        h->marker = kMarker;
        h->cls = static_cast<uint32_t>(cls) | kFreeBit;
        stack[i] = header;
    }
    p.active = true;
    p.block_size = size;
    p.blocks = count;
    p.total = static_cast<size_t>(count) * stride;
    p.use_count = 0;
    p.top = count - 1;
    p.stack = stack;
    p.slab = Slab{slab, slab + p.total, stride};
    refresh_any_slab();
    pools_on.store(true, std::memory_order_release);
    if (ldap_debug & 0xFFFF) {
        size_t all = 0;
        for (const Pool& q : pools)
            all += q.total;
        fprintf(stderr, "Pre-Alloc: Size %zu bytes, %d entries, totalling %zu bytes\n", size, count,
                p.total);
        fprintf(stderr, "\t\t   Current pre-alloc size is %zu bytes\n", all);
    }
}

void ch_init_memory(int n) {
    int m = std::clamp(n, 0, 256);
    int k = m + 576;
    ch_alloc_init(4, 8192, m + 64);
    ch_alloc_init(3, 1024, k);
    ch_alloc_init(0, 32, 40 * k);
    ch_alloc_init(1, 64, 8 * k);
    ch_alloc_init(2, 256, 6 * k);
}

void ch_init_ldap_memory(void) {
    static std::once_flag once;
    std::call_once(once, [] { pools_on.store(false, std::memory_order_release); });
}

void ch_free_memory(int cls) {
    if (cls < 0 || cls >= CH_CLASS_COUNT) return;
    std::lock_guard<std::mutex> lock(malloc_mutex);
    Pool& p = pools[cls];
    if (!p.active) return;
    int outstanding = p.blocks - (p.top + 1);
    if (outstanding == 0) {
        free(p.slab.begin);
    } else {
        try {
            retired.push_back(RetiredSlab{p.slab, cls, outstanding});
        } catch (...) {
            return;  // no memory to remember the slab: keep the pool as it is
        }
    }
    free(p.stack);
    p = Pool{};
    refresh_any_slab();
}

void ch_free_slapd_memory(void) {
    for (int cls : {4, 3, 0, 1, 2})
        ch_free_memory(cls);
}

int ch_get_pool_stats(int cls, struct ch_pool_stats* stats) {
    if (cls < 0 || cls >= CH_CLASS_COUNT || !stats) return -1;
    std::lock_guard<std::mutex> lock(malloc_mutex);
    const Pool& p = pools[cls];
    *stats = ch_pool_stats{p.block_size, p.blocks, p.top + 1, p.use_count, p.total};
    return 0;
}

size_t ch_total_preallocated(void) {
    std::lock_guard<std::mutex> lock(malloc_mutex);
    size_t all = 0;
    for (const Pool& p : pools)
        all += p.total;
    return all;
}

int ch_block_class(const void* block) {
    return block ? find_block_locked(block).cls : -1;
}

}  // extern "C"
