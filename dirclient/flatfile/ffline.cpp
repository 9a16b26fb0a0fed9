#include "ffline.h"

#include "object_memory.h"

#include <unistd.h>

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

// Makes *buf hold at least need bytes, keeping its contents.
bool reserve(char** buf, int* size, std::size_t need) {
    if (need <= static_cast<std::size_t>(*size) && *buf != nullptr) return true;
    if (need > static_cast<std::size_t>(INT_MAX) - kGrowth) return false;
    std::size_t grown = (need / kGrowth + 1) * kGrowth;
    *buf = static_cast<char*>(check_realloc(*buf, grown));
    *size = static_cast<int>(grown);
    return true;
}

}  // namespace

bool getline(FILE* file, char** buf, int* size) {
    if (*buf == nullptr || *size <= 0) {
        if (*size < 0) *size = 0;
        if (!reserve(buf, size, static_cast<std::size_t>(*size) + kGrowth)) return false;
    }
    std::size_t length = 0;
    for (;;) {
        if (std::fgets(*buf + length, *size - static_cast<int>(length), file) == nullptr) break;
        length += std::strlen(*buf + length);
        if (length > 0 && (*buf)[length - 1] == '\n') {
            (*buf)[--length] = '\0';
            if (length > 0 && (*buf)[length - 1] == '\r') (*buf)[--length] = '\0';
            return true;
        }
        if (!reserve(buf, size, static_cast<std::size_t>(*size) + kGrowth)) {
            markEof(buf, size);
            return false;
        }
    }
    // A last line without a line end is a line; only nothing at all is the end.
    if (length > 0 && !std::ferror(file)) {
        if ((*buf)[length - 1] == '\r') (*buf)[--length] = '\0';
        return true;
    }
    markEof(buf, size);
    return false;
}

namespace {

// The look-ahead is exhausted for good once reading has failed.
void closeLookAhead(char** next, int* nextSize) {
    check_free(*next);
    *next = nullptr;
    *nextSize = -1;
}

bool advance(FILE* file, char** next, int* nextSize) {
    if (getline(file, next, nextSize)) return true;
    closeLookAhead(next, nextSize);
    return false;
}

}  // namespace

bool readline(FILE* file, char** line, int* lineSize, char** next, int* nextSize) {
    if (*nextSize < 0) return false;
    if (*next == nullptr && !advance(file, next, nextSize)) return false;
    std::size_t length = std::strlen(*next);
    if (!reserve(line, lineSize, length + 1)) return false;
    std::memcpy(*line, *next, length + 1);
    bool more = advance(file, next, nextSize);
    while (more && isWhite((*next)[0]) && (*next)[1] != '\0') {
        std::size_t extra = std::strlen(*next + 1);
        if (!reserve(line, lineSize, length + extra + 1)) {
            closeLookAhead(next, nextSize);
            return false;
        }
        std::memcpy(*line + length, *next + 1, extra + 1);
        length += extra;
        more = advance(file, next, nextSize);
    }
    while (length > 0 && (*line)[length - 1] == ' ') (*line)[--length] = '\0';
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
