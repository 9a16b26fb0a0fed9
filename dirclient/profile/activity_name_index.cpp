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

// Accumulates a name's key one character at a time.
class KeyBuilder {
  public:
    void add(char c) noexcept {
        const unsigned char folded = fold(c);
        fingerprint_ = (fingerprint_ ^ folded) * kFnvPrime;
        word_ = (word_ << 8) | folded;
        if (++length_ % 4 == 0) hash_ += word_ % kNameIndexSlots;
    }
    NameKey key() const noexcept { return {hash_, fingerprint_, length_}; }

  private:
    uint64_t hash_ = 0;
    uint32_t fingerprint_ = kFnvOffset;
    uint32_t word_ = 0;
    size_t length_ = 0;
};

}  // namespace

NameKey name_key(std::string_view name) noexcept {
    KeyBuilder builder;
    for (char c : name)
        builder.add(c);
    return builder.key();
}

NameKey name_key(const char* name) noexcept {
    KeyBuilder builder;
    while (*name != '\0')
        builder.add(*name++);
    return builder.key();
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
    const size_t slot = probe(name_key(name), name);
    return slot == kNameIndexSlots ? nullptr : slots_[slot].load(std::memory_order_acquire);
}

qdx_activity* ActivityNameIndex::find(const char* name) const noexcept {
    const NameKey key = name_key(name);
    const size_t slot = probe(key, std::string_view(name, key.length));
    return slot == kNameIndexSlots ? nullptr : slots_[slot].load(std::memory_order_acquire);
}

size_t ActivityNameIndex::slot_of(std::string_view name) const noexcept {
    return probe(name_key(name), name);
}

size_t ActivityNameIndex::probe(const NameKey& key, std::string_view name) const noexcept {
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
