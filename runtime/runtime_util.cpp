#include "runtime_util.h"

#include <cstdlib>
#include <cstring>

extern "C" {

void slapd_exit(int status) {
    exit(status);
}

void slapd_abort(void) {
    abort();
}

char* qdxitoa(int n, char* buffer) {
    // Unsigned magnitude, so that INT_MIN has a text too.
    unsigned magnitude = n < 0 ? 0u - static_cast<unsigned>(n) : static_cast<unsigned>(n);
    char digits[QDX_ITOA_SIZE];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    char* out = buffer;
    if (n < 0) *out++ = '-';
    while (count)
        *out++ = digits[--count];
    *out = '\0';
    return buffer;
}

char* qdxgenCD(char* buffer, int code, int n) {
    buffer[0] = static_cast<char>(code);
    qdxitoa(n, buffer + 1);
    return buffer;
}

char* qdxgenCSD(char* buffer, int code, const char* text, int n) {
    buffer[0] = static_cast<char>(code);
    size_t len = strlen(text);
    memcpy(buffer + 1, text, len);
    qdxitoa(n, buffer + 1 + len);
    return buffer;
}

}  // extern "C"
