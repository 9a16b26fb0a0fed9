#ifndef DIRCLIENT_OBJECT_MEMORY_H
#define DIRCLIENT_OBJECT_MEMORY_H

#include "dirclient_export.h"

// Tagged object memory of the directory model.
//
// Every block handed out here starts 8 bytes before the address the caller receives:
//   offset 0: four ASCII letters, "HEAP" (process heap) or "SHAR" (shared heap)
//   offset 4: the size the caller asked for, 32-bit unsigned, host byte order
// A block is released by its tag, so HEAP and SHAR blocks can be mixed freely. Blocks are
// 8-byte aligned. None of these functions reports an allocation failure: exhausted memory
// (or a request too large for the 32-bit size field) ends the process with exit status 1.

#include <atomic>
#include <cstddef>

// Memory kind chosen by the owner of a model object: new (HEAP) DList(), new (SHAR) DEntry(dn).
// Any value other than HEAP selects SHAR.
enum Mem : int { HEAP = 0, SHAR = 1 };

// While nonzero, check_malloc tags its blocks "SHAR" instead of "HEAP". The flat-file
// directory raises it while it loads its tree; it is process-wide and read by every thread.
extern DIRCLIENT_API std::atomic<int> ShareEnable;

// A block of size bytes tagged "HEAP", or "SHAR" while ShareEnable is set. Never null.
DIRCLIENT_API char* check_malloc(std::size_t size);

// A block of size bytes tagged "SHAR", taken from mallocShared. Never null.
DIRCLIENT_API char* check_malloc_shared(std::size_t size);

// Resizes a block, keeping its kind and as much of its contents as fits. A null block is
// allocated afresh (check_malloc). A block without a HEAP or SHAR tag did not come from
// here and is handed to the system realloc unchanged. Never null for a nonzero size.
DIRCLIENT_API void* check_realloc(void* block, std::size_t size);

// Release a block by its tag; null and blocks with any other tag are left alone (a block
// from the system malloc, for instance). Pass nothing else: the tag is read in front of
// the block.
DIRCLIENT_API void check_free(void* block);
DIRCLIENT_API void check_free_shared(void* block);

// Allocation half of the model classes' operator new: HEAP follows ShareEnable, SHAR is
// always shared. tag names the class for diagnostics only.
DIRCLIENT_API void* malloc_object(std::size_t size, Mem kind, const char* tag);

// Release half of the model classes' operator delete (same rules as check_free).
DIRCLIENT_API void free_object(void* block);

// Base of the model classes kept in tagged memory: new (HEAP) X(...) or new (SHAR) X(...)
// chooses the kind, a plain new is HEAP, and delete releases the block by its tag.
class ObjectMemory {
  public:
    static void* operator new(std::size_t size, Mem kind) {
        return malloc_object(size, kind, "ObjectMemory");
    }
    static void* operator new(std::size_t size) {
        return malloc_object(size, HEAP, "ObjectMemory");
    }
    static void operator delete(void* block) { free_object(block); }
    static void operator delete(void* block, Mem) { free_object(block); }

  protected:
    ObjectMemory() = default;
    ~ObjectMemory() = default;
};

// Copies of a NUL-terminated text: check_malloc / check_malloc_shared blocks; null for null.
DIRCLIENT_API char* strcopy(const char* text);
DIRCLIENT_API char* strcopyShared(const char* text);

// The shared-heap hooks. In this library the shared heap is the process heap; the kinds
// differ only in their tag. getSharedHeap() is the shared-heap handle, always null here.
DIRCLIENT_API void* mallocShared(std::size_t size);
DIRCLIENT_API void freeShared(void* block);
DIRCLIENT_API void* getSharedHeap();

#endif
