#ifndef DIRCLIENT_DBINARY_H
#define DIRCLIENT_DBINARY_H

#include "dirclient_export.h"

#include <cstdint>

struct berval;

// A binary value: length, then the bytes (not terminated; may be null, which counts as no
// bytes whatever the length says). On x86-64 the record is 16 bytes with the pointer at
// offset 8, like the LDAP library's struct berval, whose length is wider: copy between the
// two with the helpers below, never by casting. A Dbinary owned by a list item or an
// attribute is two tagged blocks (object_memory.h): the record and its bytes.
struct Dbinary {
    std::uint32_t length;
    char* bytes;
};

// Releases a tagged record and its tagged bytes; null is ignored.
DIRCLIENT_API void free_binary(Dbinary* value);

// A new copy: SHAR record and SHAR bytes (object_memory.h); null for null. A record without
// bytes copies to an empty value. Release with free_binary.
DIRCLIENT_API Dbinary* copy_binary_shared(const Dbinary* value);

// Compares two byte strings as unsigned bytes: -1, 0 or 1; a shorter common prefix sorts
// first. A null pointer on either side compares equal (0).
DIRCLIENT_API int bincmp(const void* a, std::uint32_t alen, const void* b, std::uint32_t blen);

// Field-by-field copies; the bytes are shared, not duplicated. dbinary_from_berval fails
// (returns false, to untouched) when the berval is null or longer than 4 GiB - 1.
DIRCLIENT_API bool dbinary_from_berval(const struct berval* from, Dbinary* to);
DIRCLIENT_API void dbinary_to_berval(const Dbinary* from, struct berval* to);

#endif
