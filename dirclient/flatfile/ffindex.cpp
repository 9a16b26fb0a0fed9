#include "ffindex.h"

#include "ffdn.h"
#include "ffnode.h"

#include <sys/mman.h>

#include <cstring>

#include "object_memory.h"

namespace {

const char* dnOf(FFNode* node) {
    const char* dn = node->getDN();
    return dn != nullptr ? dn : "";
}

}  // namespace

std::size_t FFIndex::findSlot(const char* dn, std::uint64_t hash) const {
    if (capacity_ == 0) return kNone;
    std::size_t mask = capacity_ - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        const Slot& slot = slots_[at];
        if (slot.node == nullptr) return kNone;
        if (slot.hash == hash && ffdn::equalNoCase(dnOf(slot.node), dn)) return at;
    }
}

std::size_t FFIndex::slotOfNode(FFNode* node) const {
    if (capacity_ == 0 || node == nullptr) return kNone;
    std::size_t mask = capacity_ - 1;
    for (std::size_t at = ffdn::hashNoCase(dnOf(node)) & mask;; at = (at + 1) & mask) {
        if (slots_[at].node == nullptr) return kNone;
        if (slots_[at].node == node) return at;
    }
}

FFNode* FFIndex::find(const char* dn) const {
    std::size_t at = findSlot(dn, ffdn::hashNoCase(dn));
    return at == kNone ? nullptr : slots_[at].node;
}

DListItem* FFIndex::itemOf(FFNode* node) const {
    std::size_t at = slotOfNode(node);
    return at == kNone ? nullptr : slots_[at].item;
}

void FFIndex::reserve(std::size_t count) {
    // Keep the load at or below three quarters.
    std::size_t capacity = capacity_ == 0 ? 16 : capacity_;
    while (capacity / 4 * 3 < count)
        capacity *= 2;
    if (capacity != capacity_) rehash(capacity);
}

void FFIndex::insert(FFNode* node, DListItem* item) {
    reserve(count_ + 1);
    std::uint64_t hash = ffdn::hashNoCase(dnOf(node));
    std::size_t mask = capacity_ - 1;
    std::size_t at = hash & mask;
    while (slots_[at].node != nullptr)
        at = (at + 1) & mask;
    slots_[at] = Slot{hash, node, item};
    ++count_;
}

void FFIndex::erase(FFNode* node) {
    std::size_t at = slotOfNode(node);
    if (at != kNone) eraseSlot(at);
}

// Backward-shift deletion: later members of the probe run move up so that no tombstones
// are needed and lookups stay short.
void FFIndex::eraseSlot(std::size_t hole) {
    std::size_t mask = capacity_ - 1;
    slots_[hole].node = nullptr;
    --count_;
    for (std::size_t at = (hole + 1) & mask; slots_[at].node != nullptr; at = (at + 1) & mask) {
        std::size_t home = slots_[at].hash & mask;
        bool staysPut = hole <= at ? (hole < home && home <= at) : (hole < home || home <= at);
        if (staysPut) continue;
        slots_[hole] = slots_[at];
        slots_[at].node = nullptr;
        hole = at;
    }
}

void FFIndex::clear() {
    releaseSlots(slots_, capacity_, mapped_);
    slots_ = nullptr;
    capacity_ = 0;
    count_ = 0;
}

FFIndex::~FFIndex() {
    clear();
}

void FFIndex::rehash(std::size_t capacity) {
    Slot* old = slots_;
    std::size_t oldCapacity = capacity_;
    bool oldMapped = mapped_;
    slots_ = allocateSlots(capacity, &mapped_);
    capacity_ = capacity;
    std::size_t mask = capacity - 1;
    for (std::size_t i = 0; i < oldCapacity; ++i) {
        const Slot& slot = old[i];
        if (slot.node == nullptr) continue;
        std::size_t at = slot.hash & mask;
        while (slots_[at].node != nullptr)
            at = (at + 1) & mask;
        slots_[at] = slot;
    }
    releaseSlots(old, oldCapacity, oldMapped);
}

namespace {

// Tables from this size on come straight from the kernel, zeroed, and on huge pages where
// the system allows: lookups land at random places, and small pages would make nearly
// every one of them a TLB miss on a large directory.
constexpr std::size_t kMappedBytes = std::size_t{2} << 20;

}  // namespace

FFIndex::Slot* FFIndex::allocateSlots(std::size_t capacity, bool* mapped) {
    std::size_t bytes = capacity * sizeof(Slot);
    *mapped = false;
    if (bytes >= kMappedBytes) {
        void* block =
            ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (block != MAP_FAILED) {
#ifdef MADV_HUGEPAGE
            ::madvise(block, bytes, MADV_HUGEPAGE);
#endif
            *mapped = true;
            return static_cast<Slot*>(block);
        }
    }
    // The model's allocator: exhausted memory ends the process, as everywhere else.
    void* block = check_malloc_shared(bytes);
    std::memset(block, 0, bytes);
    return static_cast<Slot*>(block);
}

void FFIndex::releaseSlots(Slot* slots, std::size_t capacity, bool mapped) {
    if (slots == nullptr) return;
    if (mapped) {
        ::munmap(slots, capacity * sizeof(Slot));
    } else {
        check_free(slots);
    }
}
