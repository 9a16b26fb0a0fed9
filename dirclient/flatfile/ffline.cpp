#include "ffline.h"

#include "object_memory.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr int kGrowth = 4096;
constexpr char kEofText[] = "++EOF++";

bool isWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void markEof(char** buf, int* size) {
    if (*buf == nullptr || *size < static_cast<int>(sizeof kEofText)) {
        check_free(*buf);
        *size = kGrowth;
        *buf = check_malloc(static_cast<std::size_t>(*size));
    }
    std::memcpy(*buf, kEofText, sizeof kEofText);
}

// Makes *buf hold at least need bytes, keeping its contents. The block at least doubles,
// so that a long line costs a bounded number of copies per byte.
bool reserve(char** buf, int* size, std::size_t need) {
    if (need <= static_cast<std::size_t>(*size) && *buf != nullptr) return true;
    constexpr auto kMax = static_cast<std::size_t>(INT_MAX);
    if (need > kMax) return false;
    std::size_t grown = std::max<std::size_t>(static_cast<std::size_t>(*size), kGrowth);
    while (grown < need)
        grown = grown > kMax / 2 ? kMax : grown * 2;
    *buf = static_cast<char*>(check_realloc(*buf, grown));
    *size = static_cast<int>(grown);
    return true;
}

// One physical line into *buf; *length counts its bytes, a NUL byte included.
bool readPhysical(FILE* file, char** buf, int* size, std::size_t* length) {
    if (*buf == nullptr || *size <= 0) {
        if (*size < 0) *size = 0;
        if (!reserve(buf, size, static_cast<std::size_t>(*size) + kGrowth)) return false;
    }
    std::size_t n = 0;
    bool any = false;
    bool fits = true;
    int c = EOF;
    flockfile(file);
    while ((c = getc_unlocked(file)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (n + 2 > static_cast<std::size_t>(*size) && !(fits = reserve(buf, size, n + 2))) break;
        (*buf)[n++] = static_cast<char>(c);
    }
    funlockfile(file);
    // A last line without a line end is a line; only nothing at all is the end.
    if (!fits || !any || (c == EOF && std::ferror(file))) {
        markEof(buf, size);
        return false;
    }
    if (n > 0 && (*buf)[n - 1] == '\r') --n;
    (*buf)[n] = '\0';
    *length = n;
    return true;
}

// The look-ahead is exhausted for good once reading has failed.
void closeLookAhead(char** next, int* nextSize) {
    check_free(*next);
    *next = nullptr;
    *nextSize = -1;
}

bool advance(FILE* file, char** next, int* nextSize, LineCount* count) {
    std::size_t length = 0;
    if (readPhysical(file, next, nextSize, &length)) {
        ++count->read;
        count->nextHasNul = std::memchr(*next, '\0', length) != nullptr;
        return true;
    }
    closeLookAhead(next, nextSize);
    return false;
}

}  // namespace

bool getline(FILE* file, char** buf, int* size) {
    std::size_t length = 0;
    return readPhysical(file, buf, size, &length);
}

bool readline(FILE* file, char** line, int* lineSize, char** next, int* nextSize) {
    LineCount count;
    return readline(file, line, lineSize, next, nextSize, &count);
}

bool readline(FILE* file, char** line, int* lineSize, char** next, int* nextSize,
              LineCount* count) {
    if (*nextSize < 0) return false;
    if (*next == nullptr && !advance(file, next, nextSize, count)) return false;
    count->number = count->read;
    count->hasNul = count->nextHasNul;
    std::size_t length = std::strlen(*next);
    if (!reserve(line, lineSize, length + 1)) return false;
    std::memcpy(*line, *next, length + 1);
    bool more = advance(file, next, nextSize, count);
    while (more && isWhite((*next)[0]) && (*next)[1] != '\0') {
        count->hasNul = count->hasNul || count->nextHasNul;
        std::size_t extra = std::strlen(*next + 1);
        if (!reserve(line, lineSize, length + extra + 1)) {
            closeLookAhead(next, nextSize);
            return false;
        }
        std::memcpy(*line + length, *next + 1, extra + 1);
        length += extra;
        more = advance(file, next, nextSize, count);
    }
    while (length > 0 && (*line)[length - 1] == ' ')
        (*line)[--length] = '\0';
    return true;
}

void putline(FILE* file, const char* text, int* column) {
    if (file == nullptr || text == nullptr) return;
    int local = 0;
    int* count = column != nullptr ? column : &local;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*count >= 80) {
            std::fputs("\n ", file);
            *count = 1;
        }
        std::fputc(*c, file);
        ++*count;
    }
}

void normalize_path(char* cmd) {
    if (cmd == nullptr) return;
    char* blank = std::strrchr(cmd, ' ');
    if (blank == nullptr) return;
    for (char* c = cmd; *c != '\0'; ++c) {
        if (*c == '/') *c = '\\';
    }
    char* name = blank + 1;
    // Delete directly: never hand a file name to a shell.
    if (access(name, F_OK) == 0) unlink(name);
    char* slash = std::strrchr(name, '\\');
    if (slash != nullptr) std::memmove(name, slash + 1, std::strlen(slash + 1) + 1);
}
