#ifndef DIRCLIENT_FILTER_LIMITS_H
#define DIRCLIENT_FILTER_LIMITS_H

#include <cstddef>

// Bounds on search filters that libldap is given: it encodes a filter by recursion, one
// level per nesting, and a filter nested deeply enough exhausts the stack. Filters beyond
// these generous bounds are refused before they reach it.

namespace dirclient::ldapaccess {

inline constexpr std::size_t kMaxFilterDepth = 1000;
inline constexpr std::size_t kMaxFilterBytes = 1 << 20;

// False for a filter nested deeper than kMaxFilterDepth or longer than kMaxFilterBytes.
// Null passes: whether it is allowed is for the caller to say.
bool filter_within_limits(const char* filter);

}  // namespace dirclient::ldapaccess

#endif
