#ifndef DIRCLIENT_MODERN_SEARCH_H
#define DIRCLIENT_MODERN_SEARCH_H

// Searches of the modern interface: what to ask (Scope, SearchOptions) and the two forms
// of the answer.
//
// SearchStream (Connection::search) hands the entries over one at a time as they arrive,
// in a range-for, all its work done by the reading thread; memory stays flat whatever the
// size of the answer (on a server list but for a 64-bit hash of each DN handed over, kept
// so that a fail-over hands no entry twice):
//
//   for (dirclient::Entry& e : conn.search(base, dirclient::Scope::Subtree, "(sn=Smith)"))
//       std::cout << e.dn() << '\n';
//
// SearchResult (Connection::searchAll) holds the whole answer and can be sorted with the
// classic comparator (CompareAttrNames: by attributes or by DN).
//
// An answer cut short by a size or time limit is no failure: the entries received are
// delivered, and limitExceeded() / resultCode() say so afterwards (3 or 4). A base that does
// not exist, a bad filter, a lost server: Error (thrown by begin() or by the iterator's
// step, the entries before it having been delivered).
//
// Threads: a SearchStream is read by one thread at a time, which does all its work; a
// SearchResult is used by one thread at a time. Entries taken from either are independent.

#include <chrono>
#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dirclient_export.h"
#include "modern_entry.h"

class EntryComparator;

namespace dirclient {

enum class Scope { Base = 0, OneLevel = 1, Subtree = 2 };

// Attribute names: a braced list of texts or any range of strings / string views.
class Names {
  public:
    Names() = default;
    Names(std::initializer_list<std::string_view> names) : names_(names.begin(), names.end()) {}
    template <typename Range>
    requires requires(const Range& r) { std::string_view(*std::begin(r)); }
    Names(const Range& names) {  // NOLINT: implicit, as a braced list is
        for (const auto& name : names)
            names_.emplace_back(std::string_view(name));
    }
    const std::vector<std::string>& list() const { return names_; }
    bool empty() const { return names_.empty(); }

  private:
    std::vector<std::string> names_;
};

struct SearchOptions {
    bool typesOnly = false;             // attribute names without values
    int sizeLimit = 0;                  // entries; 0: the server's (or file's) own limit
    std::chrono::seconds timeLimit{0};  // 0: the server's own limit
    int pageSize = 0;                   // > 0: simple paged results (RFC 2696)
};

class SearchState;  // the search in progress (modern_search.cpp)

class DIRCLIENT_API SearchStream {
  public:
    class DIRCLIENT_API iterator {
      public:
        using iterator_category = std::input_iterator_tag;
        using value_type = Entry;
        using difference_type = std::ptrdiff_t;
        using pointer = Entry*;
        using reference = Entry&;

        iterator() = default;
        Entry& operator*() const;
        Entry* operator->() const { return &**this; }
        // Moves to the next entry, waiting for it; throws Error when the search failed.
        iterator& operator++();
        void operator++(int) { ++*this; }
        bool operator==(std::default_sentinel_t) const;

      private:
        friend class SearchStream;
        explicit iterator(SearchState* state) : state_(state) {}
        SearchState* state_ = nullptr;
    };

    explicit SearchStream(std::unique_ptr<SearchState> state);
    // A moved-from stream may only be destroyed or assigned.
    SearchStream(SearchStream&&) noexcept;
    SearchStream& operator=(SearchStream&&) noexcept;
    // Stops a search still running (the server is told to abandon it) and frees what it
    // held.
    ~SearchStream();

    // Once only: waits for the first entry (throws Error when the search failed at once).
    iterator begin();
    std::default_sentinel_t end() const { return {}; }

    // After the last entry: 0, or 3 / 4 when a time / size limit cut the answer short.
    int resultCode() const;
    bool limitExceeded() const { return resultCode() != 0; }

  private:
    std::unique_ptr<SearchState> state_;
};

class DIRCLIENT_API SearchResult {
  public:
    SearchResult(std::vector<Entry> entries, int resultCode)
        : entries_(std::move(entries)), resultCode_(resultCode) {}

    std::vector<Entry>::iterator begin() { return entries_.begin(); }
    std::vector<Entry>::iterator end() { return entries_.end(); }
    std::vector<Entry>::const_iterator begin() const { return entries_.begin(); }
    std::vector<Entry>::const_iterator end() const { return entries_.end(); }
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    Entry& operator[](std::size_t k) { return entries_[k]; }
    const Entry& operator[](std::size_t k) const { return entries_[k]; }
    std::vector<Entry>& entries() { return entries_; }

    int resultCode() const { return resultCode_; }
    bool limitExceeded() const { return resultCode_ != 0; }

    // Stable sorts, as the classic SearchResults::sort orders: by the first value of each
    // attribute named, in turn (ascending; entries without it first), or by DN ("" as the
    // only name); or by any classic comparator.
    void sort(const Names& attributes, bool ascending = true);
    void sort(EntryComparator& comparator);

  private:
    std::vector<Entry> entries_;
    int resultCode_ = 0;
};

}  // namespace dirclient

#endif
