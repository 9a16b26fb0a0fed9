#include "value_compare.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "dbinary.h"
#include "dlist.h"

namespace {

// Decimal text of a number value; text must hold 24 bytes.
const char* decimal(const TypedValue& v, char* text) {
    const long number = v.type == DLIST_INT ? *static_cast<const int*>(v.value)
                                            : *static_cast<const long*>(v.value);
    std::snprintf(text, 24, "%ld", number);
    return text;
}

bool is_number(int type) {
    return type == DLIST_INT || type == DLIST_LONG;
}

long number_of(const TypedValue& v) {
    return v.type == DLIST_INT ? *static_cast<const int*>(v.value)
                               : *static_cast<const long*>(v.value);
}

// Byte view of a value for the binary comparisons: bytes of a binary value, characters of a
// text without its terminator, decimal text of a number.
struct Bytes {
    const char* data;
    std::uint32_t length;
};

Bytes bytes_of(const TypedValue& v, char* text) {
    if (v.type == DLIST_BINARY) {
        const Dbinary* binary = static_cast<const Dbinary*>(v.value);
        return {binary->bytes, binary->length};
    }
    const char* s = v.type == DLIST_STRING ? static_cast<const char*>(v.value) : decimal(v, text);
    return {s, static_cast<std::uint32_t>(std::strlen(s))};
}

}  // namespace

int compare_values(const TypedValue& a, const TypedValue& b) {
    const bool a_known = is_number(a.type) || a.type == DLIST_BINARY || a.type == DLIST_STRING;
    const bool b_known = is_number(b.type) || b.type == DLIST_BINARY || b.type == DLIST_STRING;
    if (!a_known || !b_known) return 0;
    if (is_number(a.type) && is_number(b.type)) {
        const long x = number_of(a), y = number_of(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    char a_text[24], b_text[24];
    if (a.type != DLIST_BINARY && b.type != DLIST_BINARY) {
        // Text against text or number: compared as text ignoring case.
        const char* x =
            a.type == DLIST_STRING ? static_cast<const char*>(a.value) : decimal(a, a_text);
        const char* y =
            b.type == DLIST_STRING ? static_cast<const char*>(b.value) : decimal(b, b_text);
        return strcasecmp(x, y);
    }
    const Bytes x = bytes_of(a, a_text), y = bytes_of(b, b_text);
    return bincmp(x.data, x.length, y.data, y.length);
}
