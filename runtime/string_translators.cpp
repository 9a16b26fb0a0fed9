#include "string_translators.h"

#include <cstring>

#include "ch_malloc.h"

namespace {

int copy_out(char** buffer, unsigned long length, char** copy) {
    *copy = static_cast<char*>(ch_malloc(length + 1));
    if (!*copy) return 1;
    memcpy(*copy, *buffer, length);
    (*copy)[length] = '\0';
    *buffer = *copy;
    return 0;
}

}  // namespace

extern "C" {

int iso8859_to_ascii(char** buffer, unsigned long* length, int free_input) {
    char* text = *buffer;
    if (!free_input && copy_out(buffer, *length, &text) != 0) return 1;
    for (unsigned long i = 0; i < *length; ++i)
        if (static_cast<unsigned char>(text[i]) == 0x85) text[i] = '\n';
    return 0;
}

int ascii_to_iso8859(char** buffer, unsigned long* length, int free_input) {
    char* copy;
    return free_input ? 0 : copy_out(buffer, *length, &copy);
}

}  // extern "C"
