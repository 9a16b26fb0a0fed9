#include "activity_name_index.h"

#include "profiler_state.h"

namespace dirclient::profile {
namespace {

constexpr unsigned char fold(char c) noexcept {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

constexpr uint32_t kFnvOffset = 2166136261u;
constexpr uint32_t kFnvPrime = 16777619u;

bool matches(const qdx_activity* activity, const NameKey& key, std::string_view name) noexcept {
    return activity->fingerprint == key.fingerprint && activity->name.size() == key.length &&
           same_name(activity->name, name);
}

}  // namespace

NameKey name_key(std::string_view name) noexcept {
    NameKey key;
    key.length = name.size();
    uint32_t fingerprint = kFnvOffset;
    uint32_t word = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = fold(name[i]);
        fingerprint = (fingerprint ^ c) * kFnvPrime;
        word = (word << 8) | c;
        if (i % 4 == 3) key.hash += word % kNameIndexSlots;
    }
    key.fingerprint = fingerprint;
    return key;
}

bool same_name(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

ActivityNameIndex::Insert ActivityNameIndex::insert(qdx_activity* activity) {
    const NameKey key = name_key(activity->name);
    activity->fingerprint = key.fingerprint;
    size_t slot = first_slot(key.hash);
    for (size_t probes = 0; probes < kNameIndexSlots; ++probes) {
        qdx_activity* there = slots_[slot].load(std::memory_order_relaxed);
        if (there == nullptr) {
            // Release: a finder that sees the pointer sees the finished activity.
            slots_[slot].store(activity, std::memory_order_release);
            ++size_;
            return Insert::added;
        }
        if (matches(there, key, activity->name)) return Insert::known;
        slot = slot + 1 == kNameIndexSlots ? 0 : slot + 1;
    }
    return Insert::full;
}

qdx_activity* ActivityNameIndex::find(std::string_view name) const noexcept {
    const size_t slot = slot_of(name);
    return slot == kNameIndexSlots ? nullptr : slots_[slot].load(std::memory_order_acquire);
}

size_t ActivityNameIndex::slot_of(std::string_view name) const noexcept {
    const NameKey key = name_key(name);
    size_t slot = first_slot(key.hash);
    // Wraps past the last slot like insert does, which may have placed the name there.
    for (size_t probes = 0; probes < kNameIndexSlots; ++probes) {
        const qdx_activity* there = slots_[slot].load(std::memory_order_acquire);
        if (there == nullptr) break;
        if (matches(there, key, name)) return slot;
        slot = slot + 1 == kNameIndexSlots ? 0 : slot + 1;
    }
    return kNameIndexSlots;
}

void ActivityNameIndex::clear() noexcept {
    for (auto& slot : slots_)
        slot.store(nullptr, std::memory_order_relaxed);
    size_ = 0;
}

}  // namespace dirclient::profile
