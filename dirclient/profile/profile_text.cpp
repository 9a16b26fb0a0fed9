#include "profile_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace dirclient::profile {

void appendf(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    char small[256];
    const int needed = vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (needed >= 0 && static_cast<size_t>(needed) < sizeof small) {
        out.append(small, static_cast<size_t>(needed));
    } else if (needed > 0) {
        const size_t at = out.size();
        out.resize(at + static_cast<size_t>(needed) + 1);
        vsnprintf(out.data() + at, static_cast<size_t>(needed) + 1, format, again);
        out.resize(at + static_cast<size_t>(needed));
    }
    va_end(again);
}

int caller_indent(int indent) {
    return indent < 0 ? 0 : (indent > kMaxIndent ? kMaxIndent : indent);
}

std::string indentation(int count) {
    return std::string(count > 0 ? static_cast<size_t>(count) : 0, ' ');
}

char* hand_out(const std::string& text) {
    auto* copy = static_cast<char*>(malloc(text.size() + 1));
    if (copy == nullptr) throw std::bad_alloc();
    memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

}  // namespace dirclient::profile
