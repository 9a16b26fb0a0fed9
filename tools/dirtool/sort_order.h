#ifndef DIRTOOL_SORT_ORDER_H
#define DIRTOOL_SORT_ORDER_H

// Client-side ordering of search results: "--sort sn,givenName:desc" becomes the keys of a
// CompareAttrNames.

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class CompareAttrNames;

namespace dirtool {

struct SortKey {
    std::string attribute;  // "dn" orders by distinguished name
    bool ascending = true;
};

class SortOrderError : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};

// Keys from "ATTR[:asc|:desc],..." in priority order. Throws SortOrderError for an empty
// key, an invalid attribute name, an unknown direction, and for "dn" beside other keys
// (entries are ordered by DN or by attributes, not both).
std::vector<SortKey> parse_sort_order(std::string_view text);

// A comparator for keys (not empty), released with delete. A single key is referred to by
// name: keys must outlive the comparator.
CompareAttrNames* make_comparator(const std::vector<SortKey>& keys);

}  // namespace dirtool

#endif
