#include "activity_name_index.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "profiler_state.h"

using dirclient::profile::ActivityNameIndex;
using dirclient::profile::kNameIndexSlots;
using dirclient::profile::name_key;

namespace {

uint64_t word(const char* four) {
    return (uint64_t{static_cast<unsigned char>(four[0])} << 24) |
           (uint64_t{static_cast<unsigned char>(four[1])} << 16) |
           (uint64_t{static_cast<unsigned char>(four[2])} << 8) |
           uint64_t{static_cast<unsigned char>(four[3])};
}

// The `skip`-th four-letter lower-case name whose hash is `hash`.
std::string name_with_hash(uint64_t hash, int skip = 0) {
    std::string name = "aaaa";
    for (;;) {
        if (word(name.c_str()) % kNameIndexSlots == hash && skip-- == 0) return name;
        for (int i = 3; i >= 0; --i) {
            if (name[i] < 'z') {
                ++name[i];
                break;
            }
            name[i] = 'a';
        }
    }
}

class NameIndex : public ::testing::Test {
  protected:
    qdx_activity* make(const std::string& name) {
        activities_.push_back(std::make_unique<qdx_activity>());
        activities_.back()->name = name;
        return activities_.back().get();
    }
    ActivityNameIndex::Insert insert(const std::string& name) { return index_.insert(make(name)); }

    ActivityNameIndex index_;
    std::vector<std::unique_ptr<qdx_activity>> activities_;
};

TEST(NameKeyTest, HashesFoldedBigEndianWordsWithoutTheTail) {
    EXPECT_EQ(name_key("").hash, 0u);
    EXPECT_EQ(name_key("abc").hash, 0u);
    EXPECT_EQ(name_key("ldap").hash, word("ldap") % 1013);
    EXPECT_EQ(name_key("ldap_add").hash, word("ldap") % 1013 + word("_add") % 1013);
    // A partial last word is left out; the sum is not reduced again.
    EXPECT_EQ(name_key("ldap_addX").hash, name_key("ldap_add").hash);
    EXPECT_GT(name_key("ldap_get_values_len").hash, 1012u);
    // Case is folded, so differently written names probe from the same slot.
    EXPECT_EQ(name_key("LDAP_Add").hash, name_key("ldap_add").hash);
    EXPECT_EQ(name_key("LDAP_Add").fingerprint, name_key("ldap_add").fingerprint);
    EXPECT_NE(name_key("ldap_add").fingerprint, name_key("ldap_adc").fingerprint);
}

TEST_F(NameIndex, FindsNamesWithoutRegardToCase) {
    EXPECT_EQ(insert("ldap_search"), ActivityNameIndex::Insert::added);
    EXPECT_EQ(index_.find("LDAP_SEARCH"), activities_[0].get());
    EXPECT_EQ(insert("Ldap_Search"), ActivityNameIndex::Insert::known);
    EXPECT_EQ(index_.find("ldap_searc"), nullptr);
    EXPECT_EQ(index_.find(""), nullptr);
    EXPECT_EQ(index_.size(), 1u);
}

TEST_F(NameIndex, CollisionsTakeTheFollowingSlots) {
    const std::string first = name_with_hash(500), second = name_with_hash(500, 1);
    ASSERT_EQ(insert(first), ActivityNameIndex::Insert::added);
    ASSERT_EQ(insert(second), ActivityNameIndex::Insert::added);
    EXPECT_EQ(index_.slot_of(first), 500u);
    EXPECT_EQ(index_.slot_of(second), 501u);
    // Short names all hash to 0 and line up from the first slot.
    ASSERT_EQ(insert("a"), ActivityNameIndex::Insert::added);
    ASSERT_EQ(insert("b"), ActivityNameIndex::Insert::added);
    EXPECT_EQ(index_.slot_of("a"), 0u);
    EXPECT_EQ(index_.slot_of("B"), 1u);
}

TEST_F(NameIndex, ProbesWrapFromTheLastSlotToTheFirst) {
    const std::string last = name_with_hash(1012), wrapped = name_with_hash(1012, 1);
    ASSERT_EQ(insert(last), ActivityNameIndex::Insert::added);
    ASSERT_EQ(insert(wrapped), ActivityNameIndex::Insert::added);
    EXPECT_EQ(index_.slot_of(wrapped), 0u);
    EXPECT_EQ(index_.find(wrapped), activities_[1].get());
    // And a repeated declaration of it is recognised, not entered twice.
    EXPECT_EQ(insert(wrapped), ActivityNameIndex::Insert::known);
    // Hashes beyond the last slot probe from the first.
    ASSERT_EQ(insert("ldap_get_values_len"), ActivityNameIndex::Insert::added);
    EXPECT_EQ(index_.slot_of("ldap_get_values_len"), 1u);
}

TEST_F(NameIndex, FullIndexRefusesNewNamesAndKeepsFindingOldOnes) {
    for (size_t i = 0; i < kNameIndexSlots; ++i) {
        ASSERT_EQ(insert("activity_" + std::to_string(i)), ActivityNameIndex::Insert::added);
    }
    EXPECT_EQ(insert("one_too_many"), ActivityNameIndex::Insert::full);
    EXPECT_EQ(insert("ACTIVITY_7"), ActivityNameIndex::Insert::known);
    EXPECT_EQ(index_.find("one_too_many"), nullptr);
    for (size_t i = 0; i < kNameIndexSlots; ++i) {
        ASSERT_EQ(index_.find("activity_" + std::to_string(i)), activities_[i].get()) << i;
    }
    index_.clear();
    EXPECT_EQ(index_.find("activity_7"), nullptr);
    EXPECT_EQ(insert("one_too_many"), ActivityNameIndex::Insert::added);
}

}  // namespace
