#ifndef DIRCLIENT_PROFILE_TEXT_H
#define DIRCLIENT_PROFILE_TEXT_H

// Building report texts. Internal. Texts grow as needed: names and descriptions have no
// length limit.

#include <string>

namespace dirclient::profile {

// Appends printf-style output to `out`.
void appendf(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The largest indent a caller may ask for; deeper nesting adds to it.
constexpr int kMaxIndent = 1024;

// A caller's indent, kept within 0 to kMaxIndent so that a wild value cannot ask for
// gigabytes of blanks.
int caller_indent(int indent);

// `count` spaces (none for a negative count).
std::string indentation(int count);

// A malloc'd copy for the caller, released with qdx_profile_memfree. Throws std::bad_alloc.
char* hand_out(const std::string& text);

}  // namespace dirclient::profile

#endif
