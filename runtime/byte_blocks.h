#ifndef DIRCLIENT_BYTE_BLOCKS_H
#define DIRCLIENT_BYTE_BLOCKS_H

// Internal: sixteen bytes at a time with the compiler's vector types (SSE2 on x86-64), for
// the scans over LDIF text that would otherwise cost more than the copies they guard.
// Comparisons give lanes of all ones (true) or zeros.

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace byte_blocks {

typedef unsigned char Bytes16 __attribute__((vector_size(16)));
typedef signed char Lanes16 __attribute__((vector_size(16)));
typedef uint64_t Halves __attribute__((vector_size(16)));

// The caller guarantees 16 readable bytes at p.
inline Bytes16 load(const unsigned char* p) {
    Bytes16 v;
    memcpy(&v, p, sizeof v);
    return v;
}

inline Bytes16 splat(unsigned char c) {
    Bytes16 v;
    memset(&v, c, sizeof v);
    return v;
}

inline Lanes16 signed_lanes(Bytes16 v) {
    return reinterpret_cast<Lanes16>(v);
}

// One bit per lane, lane 0 lowest.
inline unsigned lane_bits(Lanes16 mask) {
#if defined(__SSE2__)
    return static_cast<unsigned>(_mm_movemask_epi8(reinterpret_cast<__m128i>(mask)));
#else
    // Gathers the top bit of each byte of a half into one byte.
    auto gather = [](uint64_t h) {
        return static_cast<unsigned>(((h & 0x8080808080808080ull) * 0x0002040810204081ull) >> 56);
    };
    Halves h = reinterpret_cast<Halves>(mask);
    return gather(h[0]) | gather(h[1]) << 8;
#endif
}

// Index of the first true lane, or 16.
inline size_t first_set(Lanes16 mask) {
    unsigned bits = lane_bits(mask);
    return bits != 0 ? static_cast<size_t>(__builtin_ctz(bits)) : 16;
}

// Lanes 0 to k true, the others false.
inline Lanes16 lanes_through(size_t k) {
    const Bytes16 index = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    return index <= splat(static_cast<unsigned char>(k));
}

// Sum of the sixteen lanes.
inline size_t sum(Bytes16 v) {
    constexpr uint64_t kLow = 0x00FF00FF00FF00FFull;
    Halves h = reinterpret_cast<Halves>(v);
    Halves pairs = (h & kLow) + ((h >> 8) & kLow);  // 16-bit sums of at most 510
    Halves total = (pairs * 0x0001000100010001ull) >> 48;
    return static_cast<size_t>(total[0] + total[1]);
}

}  // namespace byte_blocks

#endif
