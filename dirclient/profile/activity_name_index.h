#ifndef DIRCLIENT_ACTIVITY_NAME_INDEX_H
#define DIRCLIENT_ACTIVITY_NAME_INDEX_H

// The name index of declared activities: 1013 slots, open addressing with linear probing.
// Internal.
//
// Names compare without regard to (ASCII) case, so the hash reads the name folded to lower
// case: hashing the name as written would start the probe of "LDAP_ADD" elsewhere than the
// one of "ldap_add" and miss it.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

struct qdx_activity;

namespace dirclient::profile {

constexpr size_t kNameIndexSlots = 1013;

// What a lookup needs of a name, computed in one pass.
struct NameKey {
    // 0 for names shorter than 4 characters; else, over the folded name read as big-endian
    // 32-bit words (a partial last word left out), the sum of each word modulo 1013. It is
    // not reduced again: sums past 1012 start probing at slot 0.
    uint64_t hash = 0;
    uint32_t fingerprint = 0;  // FNV-1a of the folded name, to skip most comparisons
    size_t length = 0;
};

NameKey name_key(std::string_view name) noexcept;
NameKey name_key(const char* name) noexcept;  // NUL-terminated; one pass, no strlen

// True when both names are equal without regard to ASCII case.
bool same_name(std::string_view a, std::string_view b) noexcept;

class ActivityNameIndex {
  public:
    enum class Insert { added, known, full };

    // Enters the activity under its name (and key), unless the name is there already or
    // every slot is taken. Writers are serialised by the caller; finds may run alongside.
    Insert insert(qdx_activity* activity);

    // The activity of that name, or null. Any thread, without a lock.
    qdx_activity* find(std::string_view name) const noexcept;
    qdx_activity* find(const char* name) const noexcept;

    // Slot that holds the name, or kNameIndexSlots when absent.
    size_t slot_of(std::string_view name) const noexcept;

    size_t size() const noexcept { return size_; }
    void clear() noexcept;

  private:
    static size_t first_slot(uint64_t hash) noexcept {
        return hash < kNameIndexSlots ? static_cast<size_t>(hash) : 0;
    }
    // Slot of the name or kNameIndexSlots.
    size_t probe(const NameKey& key, std::string_view name) const noexcept;

    std::atomic<qdx_activity*> slots_[kNameIndexSlots]{};
    size_t size_ = 0;  // written by the serialised writers only
};

}  // namespace dirclient::profile

#endif
