#include "dbinary.h"

#include <lber.h>

#include <cstddef>
#include <cstring>

#include "object_memory.h"

static_assert(sizeof(Dbinary) == 16 && offsetof(Dbinary, bytes) == 8,
              "Dbinary must keep the layout of a 64-bit berval's pointer");

void free_binary(Dbinary* value) {
    if (value == nullptr) return;
    check_free(value->bytes);
    check_free(value);
}

int bincmp(const void* a, std::uint32_t alen, const void* b, std::uint32_t blen) {
    if (a == nullptr || b == nullptr) return 0;
    const int diff = std::memcmp(a, b, alen < blen ? alen : blen);
    if (diff != 0) return diff < 0 ? -1 : 1;
    if (alen == blen) return 0;
    return alen < blen ? -1 : 1;
}

bool dbinary_from_berval(const struct berval* from, Dbinary* to) {
    if (from == nullptr || to == nullptr || from->bv_len > UINT32_MAX) return false;
    to->length = static_cast<std::uint32_t>(from->bv_len);
    to->bytes = from->bv_val;
    return true;
}

void dbinary_to_berval(const Dbinary* from, struct berval* to) {
    if (to == nullptr) return;
    to->bv_len = from != nullptr && from->bytes != nullptr ? from->length : 0;
    to->bv_val = from != nullptr ? from->bytes : nullptr;
}

Dbinary* copy_binary_shared(const Dbinary* value) {
    if (value == nullptr) return nullptr;
    Dbinary* copy = reinterpret_cast<Dbinary*>(check_malloc_shared(sizeof(Dbinary)));
    if (value->bytes == nullptr) {
        copy->length = 0;
        copy->bytes = nullptr;
        return copy;
    }
    copy->length = value->length;
    copy->bytes = check_malloc_shared(value->length);
    std::memcpy(copy->bytes, value->bytes, value->length);
    return copy;
}
