#ifndef DIRCLIENT_FFINDEX_H
#define DIRCLIENT_FFINDEX_H

// The DN index of the flat-file store (internal): normalised DN, case ignored, to its node,
// so that finding an entry never walks the tree. Open addressing with linear probing; the
// key text is not stored but read from the node's entry, which keeps the index at about 40
// bytes per entry. Each slot also remembers the node's item in its parent's children list,
// so a node is unlinked without scanning its siblings.
//
// The index is part of the store and is guarded by the store lock.

#include <cstddef>
#include <cstdint>

class FFNode;
class DListItem;

class FFIndex {
  public:
    FFIndex() = default;
    ~FFIndex();
    FFIndex(const FFIndex&) = delete;
    FFIndex& operator=(const FFIndex&) = delete;

    // The node with this DN, or null.
    FFNode* find(const char* dn) const;
    // The node's item in its parent's children list, or null when the node is not indexed.
    DListItem* itemOf(FFNode* node) const;

    // Indexes node under the DN of its entry. The DN must not be indexed yet.
    void insert(FFNode* node, DListItem* item);
    // Forgets node; call while its entry still carries the DN it was indexed under.
    void erase(FFNode* node);
    void clear();
    // Prepares room for count entries in all.
    void reserve(std::size_t count);

    std::size_t size() const { return count_; }

  private:
    struct Slot {
        std::uint64_t hash;
        FFNode* node;
        DListItem* item;
    };

    std::size_t findSlot(const char* dn, std::uint64_t hash) const;
    std::size_t slotOfNode(FFNode* node) const;
    void eraseSlot(std::size_t at);
    void rehash(std::size_t capacity);

    static constexpr std::size_t kNone = ~static_cast<std::size_t>(0);

    static Slot* allocateSlots(std::size_t capacity, bool* mapped);
    static void releaseSlots(Slot* slots, std::size_t capacity, bool mapped);

    Slot* slots_ = nullptr;  // capacity_ slots, a power of two; empty ones hold no node
    std::size_t capacity_ = 0;
    std::size_t count_ = 0;
    bool mapped_ = false;  // slots_ came from mmap
};

#endif
