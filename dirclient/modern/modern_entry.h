#ifndef DIRCLIENT_MODERN_ENTRY_H
#define DIRCLIENT_MODERN_ENTRY_H

// dirclient::Entry: a directory entry (a DN and its attributes) that owns its data, and
// dirclient::Attribute, a view of one of its attributes. Values are read as text
// (std::string_view) or as bytes (std::span<const std::byte>); both views point into the
// entry and stay valid while the entry lives and its attribute is not changed.
//
//   for (dirclient::Attribute a : entry.attributes())
//       for (std::string_view v : a.values()) std::cout << a.name() << ": " << v << '\n';
//   std::string_view mail = entry["mail"].first();
//
// Attribute names are compared ignoring case. Numbers held by a classic entry read as
// their decimal text.
//
// Threads: an Entry is used by one thread at a time while it changes; reading one Entry
// from several threads at once is safe (reads move no cursor). Distinct entries are
// independent.

#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <span>
#include <string_view>

#include "dirclient_export.h"

class Attribute;
class DEntry;
class DListItem;

namespace dirclient {

class Attribute;
using Bytes = std::span<const std::byte>;

namespace detail {
// Steps through the items of a classic list (null at the end) and reads one item.
DIRCLIENT_API const DListItem* next_item(const DListItem* item);
DIRCLIENT_API std::string_view item_text(const DListItem* item);
DIRCLIENT_API Bytes item_bytes(const DListItem* item);
DIRCLIENT_API Attribute item_attribute(const DListItem* item);
}  // namespace detail

// An input range over the items of a classic value or attribute list, each read as T.
template <typename T, T (*Read)(const DListItem*)>
class ItemRange {
  public:
    class iterator {
      public:
        using iterator_category = std::input_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = T;

        iterator() = default;
        explicit iterator(const DListItem* item) : item_(item) {}
        T operator*() const { return Read(item_); }
        iterator& operator++() {
            item_ = detail::next_item(item_);
            return *this;
        }
        iterator operator++(int) {
            iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const iterator&) const = default;

      private:
        const DListItem* item_ = nullptr;
    };

    explicit ItemRange(const DListItem* head) : head_(head) {}
    iterator begin() const { return iterator(head_); }
    iterator end() const { return iterator(); }
    bool empty() const { return head_ == nullptr; }

  private:
    const DListItem* head_;
};

using TextRange = ItemRange<std::string_view, detail::item_text>;
using BytesRange = ItemRange<Bytes, detail::item_bytes>;
using AttributeRange = ItemRange<Attribute, detail::item_attribute>;

// One attribute of an entry, or no attribute (an entry's operator[] for a name it lacks):
// then the name is "" and there are no values.
class DIRCLIENT_API Attribute {
  public:
    Attribute() = default;
    explicit Attribute(const ::Attribute* classic) : classic_(classic) {}

    explicit operator bool() const { return classic_ != nullptr; }
    std::string_view name() const;
    std::size_t size() const;  // the number of values
    // The values as text (binary values byte for byte) and as bytes.
    TextRange values() const;
    BytesRange bytes() const;
    // The first value as text, "" when there is none.
    std::string_view first() const;
    const ::Attribute* classic() const { return classic_; }

  private:
    const DListItem* head() const;
    const ::Attribute* classic_ = nullptr;
};

class DIRCLIENT_API Entry {
  public:
    // A new entry with this DN and no attributes (for add).
    explicit Entry(std::string_view dn);
    // Takes a classic entry over (for code that mixes both interfaces); not null.
    static Entry adopt(DEntry* classic);
    // A moved-from entry may only be destroyed or assigned.
    Entry(Entry&&) noexcept;
    Entry& operator=(Entry&&) noexcept;
    ~Entry();

    std::string_view dn() const;
    // The attribute of that name, or an empty Attribute when the entry has none.
    Attribute operator[](std::string_view name) const;
    bool has(std::string_view name) const { return bool((*this)[name]); }
    AttributeRange attributes() const;
    std::size_t size() const;  // the number of attributes

    // Append values to the attribute of that name (created when missing); chainable:
    //   Entry("cn=Ann,dc=example,dc=com").add("objectClass", {"top", "person"}).add("sn", "A")
    Entry& add(std::string_view name, std::string_view value);
    Entry& add(std::string_view name, std::initializer_list<std::string_view> values);
    Entry& add(std::string_view name, Bytes value);
    // Removes the attribute with its values; false when there was none.
    bool remove(std::string_view name);

    // The classic entry inside, owned by this Entry.
    DEntry& classic() { return *classic_; }
    const DEntry& classic() const { return *classic_; }
    // Gives the classic entry up (release it with delete or DConnection::deleteObject); the
    // Entry is then empty and may only be destroyed or assigned.
    DEntry* release() noexcept;

  private:
    explicit Entry(DEntry* classic) noexcept : classic_(classic) {}
    ::Attribute& attribute(std::string_view name);

    DEntry* classic_;
};

}  // namespace dirclient

#endif
