#include "filter_limits.h"

namespace dirclient::ldapaccess {

bool filter_within_limits(const char* filter) {
    if (filter == nullptr) return true;
    std::size_t depth = 0;
    for (std::size_t i = 0; filter[i] != '\0'; ++i) {
        if (i >= kMaxFilterBytes) return false;
        // Parentheses inside values are escaped (\28, \29): every bare one nests.
        if (filter[i] == '(' && ++depth > kMaxFilterDepth) return false;
        if (filter[i] == ')' && depth > 0) --depth;
    }
    return true;
}

}  // namespace dirclient::ldapaccess
