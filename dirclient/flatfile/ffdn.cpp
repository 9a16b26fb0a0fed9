#include "ffdn.h"

#include <cstring>

#include "dn_normalize.h"

namespace ffdn {

namespace {

unsigned char fold(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

}  // namespace

std::size_t rdnLength(const char* dn) {
    enum { kType, kValueStart, kValue, kQuoted } state = kType;
    std::size_t i = 0;
    for (; dn[i] != '\0'; ++i) {
        char c = dn[i];
        if (c == '\\') {
            if (dn[i + 1] != '\0') ++i;
            if (state == kValueStart) state = kValue;
            continue;
        }
        switch (state) {
            case kType:
                if (c == '=') state = kValueStart;
                if (c == ',' || c == ';') return i;
                break;
            case kQuoted:
                if (c == '"') state = kValue;
                break;
            case kValueStart:
                if (c == '"') {
                    state = kQuoted;
                    break;
                }
                state = kValue;
                [[fallthrough]];
            case kValue:
                if (c == ',' || c == ';') return i;
                if (c == '+') state = kType;
                break;
        }
    }
    return i;
}

const char* parentOf(const char* dn) {
    std::size_t length = rdnLength(dn);
    return dn[length] == '\0' ? nullptr : dn + length + 1;
}

bool equalNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        unsigned char x = fold(static_cast<unsigned char>(*a));
        if (x != fold(static_cast<unsigned char>(*b))) return false;
        if (x == '\0') return true;
    }
}

bool startsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix) {
        if (fold(static_cast<unsigned char>(*text)) != fold(static_cast<unsigned char>(*prefix)))
            return false;
    }
    return true;
}

std::uint64_t hashNoCase(const char* text) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; ++c) {
        hash ^= fold(*c);
        hash *= 0x100000001b3ULL;
    }
    return hash ^ (hash >> 29);
}

std::string rdnType(const char* rdn, std::size_t length) {
    const void* eq = std::memchr(rdn, '=', length);
    if (eq == nullptr) return std::string();
    return std::string(rdn, static_cast<const char*>(eq) - rdn);
}

std::string rdnValue(const char* rdn, std::size_t length) {
    const void* eq = std::memchr(rdn, '=', length);
    if (eq == nullptr) return std::string();
    const char* c = static_cast<const char*>(eq) + 1;
    const char* end = rdn + length;
    bool quoted = c < end && *c == '"';
    if (quoted) ++c;
    std::string value;
    for (; c < end; ++c) {
        const int byte = *c == '\\' && c + 2 < end ? dn_hex_pair(c + 1) : -1;
        if (byte >= 0) {
            value += static_cast<char>(byte);
            c += 2;
        } else if (*c == '\\' && c + 1 < end) {
            value += *++c;
        } else if (quoted && *c == '"') {
            break;
        } else {
            value += *c;
        }
    }
    return value;
}

}  // namespace ffdn
