#ifndef DIRCLIENT_SORT_KEYS_H
#define DIRCLIENT_SORT_KEYS_H

// Internal: what CompareAttrNames looks at in each entry, gathered once per sort instead of
// twice per comparison (attribute lookups, DN normalisation). The records carry the first
// sort key inline, so that merging walks memory in order; records compare exactly as
// CompareAttrNames::isGreater(a, b, false) compares their entries.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dentry.h"
#include "entry_comparator.h"

class SortKeys {
  public:
    // One sort key of an entry: the attribute's first value, or the normalised DN. A text
    // also keeps its first 16 bytes lower-cased, which decides most comparisons without
    // reaching for the text itself.
    struct Key {
        const void* value;  // null when the attribute has no value
        std::uint64_t prefix[2];
        int type;
        bool present;  // the entry has the attribute (or a DN)
        bool whole;    // the text ends within the prefix
    };

    // Gathers the keys of the entries (none null), which must not change while the keys
    // are in use.
    SortKeys(const CompareAttrNames& comparator, const std::vector<DEntry*>& entries);
    ~SortKeys();
    SortKeys(const SortKeys&) = delete;
    SortKeys& operator=(const SortKeys&) = delete;

    // The stable order of the entries, as their positions.
    std::vector<std::size_t> order();

  private:
    struct Record {
        Key first;
        std::uint32_t index;  // position among the entries
    };

    bool greater(const Record& a, const Record& b) const;
    void gather(const std::vector<DEntry*>& entries);
    struct Lane;  // one lookup in progress (sort_keys.cpp)
    static bool advance(Lane& lane, Key& key);
    static bool advanceToValue(Lane& lane, Key& key);
    static Key textKey(const char* text);
    static int compare(const Key& x, const Key& y);
    // 1 when x sorts after y under one key of the given direction, -1 before, 0 undecided.
    static int decide(const Key& x, const Key& y, bool direction);

    std::vector<const char*> names_;  // null: a list item that names nothing
    std::vector<bool> directions_;    // one per name
    std::vector<Record> records_;
    std::vector<Key> more_;   // keys of the second and later names, entry-major
    std::vector<char*> dns_;  // normalised DNs when ordering by DN
};

#endif
