#ifndef DIRCLIENT_CH_MALLOC_H
#define DIRCLIENT_CH_MALLOC_H

#include "dirclient_export.h"

// Allocation entry points of the C code, with optional pools of fixed-size blocks for the
// sizes the LDAP layer asks for most. Without pools every request goes to the system heap.
// None of them returns null for a non-zero request: exhausted memory writes one ErrorLog
// line and ends the process with status 1. Blocks from any of them (and from malloc) are
// released with ch_free.

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Size classes: 0..4 serve requests of at most 32, 64, 256 and 1024 bytes, and of exactly
// 8192 bytes.
#define CH_CLASS_COUNT 5

DIRCLIENT_API void* ch_malloc(size_t size);
// count * size bytes, zero-filled; a product that overflows counts as exhausted memory.
DIRCLIENT_API void* ch_calloc(size_t count, size_t size);
// Keeps the contents up to the smaller of the old and the new size; a null block behaves
// as ch_malloc. A pool block that still fits stays where it is.
DIRCLIENT_API void* ch_realloc(void* block, size_t size);
// A copy of the text, or null for a null text.
DIRCLIENT_API char* ch_strdup(const char* text);
// Releases a block of any of the above; null is ignored.
DIRCLIENT_API void ch_free(void* block);

// Sets up the pool of class `cls` with `count` zero-filled blocks of `block_size` bytes
// (at least the class's size). Ends the process (status 1, with an ErrorLog line) when the
// class is set up already or memory runs out. Pools must be set up before other threads
// allocate.
DIRCLIENT_API void ch_alloc_init(int cls, int block_size, int count);

// Sets up all five pools, sized from n (n <= 256 counts, larger n counts as 256).
DIRCLIENT_API void ch_init_memory(int n);

// Once per process: switches the pools off, so that later requests go to the system heap.
DIRCLIENT_API void ch_init_ldap_memory(void);

// Releases the free blocks of a class; its blocks still in use go back to the system heap
// when released, and the class may be set up again.
DIRCLIENT_API void ch_free_memory(int cls);

// ch_free_memory for classes 4, 3, 0, 1, 2.
DIRCLIENT_API void ch_free_slapd_memory(void);

// What a class's pool holds now; all zero when the class is not set up.
struct ch_pool_stats {
    size_t block_size;
    int blocks;       // blocks pre-allocated
    int free_blocks;  // blocks ready to be handed out
    long use_count;   // requests served from the pool so far
    size_t total_bytes;
};

// Fills *stats for class `cls`; returns 0, or -1 for a class out of range.
DIRCLIENT_API int ch_get_pool_stats(int cls, struct ch_pool_stats* stats);

// Total bytes pre-allocated over all classes.
DIRCLIENT_API size_t ch_total_preallocated(void);

// Class of the pool block `block`, or -1 for a block of the system heap.
DIRCLIENT_API int ch_block_class(const void* block);

#ifdef __cplusplus
}
#endif

#endif
