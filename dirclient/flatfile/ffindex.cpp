#include "ffindex.h"

#include "ffdn.h"
#include "ffnode.h"

namespace {

const char* dnOf(FFNode* node) {
    const char* dn = node->getDN();
    return dn != nullptr ? dn : "";
}

}  // namespace

std::size_t FFIndex::findSlot(const char* dn, std::uint64_t hash) const {
    if (slots_.empty()) return kNone;
    std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        const Slot& slot = slots_[at];
        if (slot.node == nullptr) return kNone;
        if (slot.hash == hash && ffdn::equalNoCase(dnOf(slot.node), dn)) return at;
    }
}

std::size_t FFIndex::slotOfNode(FFNode* node) const {
    if (slots_.empty() || node == nullptr) return kNone;
    std::size_t mask = slots_.size() - 1;
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
    std::size_t capacity = slots_.empty() ? 16 : slots_.size();
    while (capacity / 4 * 3 < count) capacity *= 2;
    if (capacity != slots_.size()) rehash(capacity);
}

void FFIndex::insert(FFNode* node, DListItem* item) {
    reserve(count_ + 1);
    std::uint64_t hash = ffdn::hashNoCase(dnOf(node));
    std::size_t mask = slots_.size() - 1;
    std::size_t at = hash & mask;
    while (slots_[at].node != nullptr) at = (at + 1) & mask;
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
    std::size_t mask = slots_.size() - 1;
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
    std::vector<Slot>().swap(slots_);
    count_ = 0;
}

void FFIndex::rehash(std::size_t capacity) {
    std::vector<Slot> old(capacity, Slot{0, nullptr, nullptr});
    old.swap(slots_);
    std::size_t mask = capacity - 1;
    for (const Slot& slot : old) {
        if (slot.node == nullptr) continue;
        std::size_t at = slot.hash & mask;
        while (slots_[at].node != nullptr) at = (at + 1) & mask;
        slots_[at] = slot;
    }
}
