// Case folding by ranges: each entry maps a run of upper-case letters onto lower case by
// an offset, either for every code point of the run or for every second one (the
// alternating upper/lower pairs of the Latin and Cyrillic extension blocks).

#include "text_fold.h"

#include <algorithm>
#include <iterator>

namespace dirschema {

namespace {

struct FoldRange {
    std::uint32_t first, last;
    std::int32_t offset;
    bool alternate;  // only code points with first's parity, each followed by its lower case
};

constexpr FoldRange kRanges[] = {
    {0x41, 0x5A, 32, false},       {0xC0, 0xD6, 32, false},     {0xD8, 0xDE, 32, false},
    {0x100, 0x12F, 1, true},       {0x130, 0x130, -199, false}, {0x132, 0x137, 1, true},
    {0x139, 0x148, 1, true},       {0x14A, 0x177, 1, true},     {0x178, 0x178, -121, false},
    {0x179, 0x17E, 1, true},       {0x181, 0x181, 210, false},  {0x186, 0x186, 206, false},
    {0x189, 0x18A, 205, false},    {0x18E, 0x18E, 79, false},   {0x18F, 0x18F, 202, false},
    {0x190, 0x190, 203, false},    {0x193, 0x193, 205, false},  {0x194, 0x194, 207, false},
    {0x196, 0x196, 211, false},    {0x197, 0x197, 209, false},  {0x19C, 0x19C, 211, false},
    {0x19D, 0x19D, 213, false},    {0x1A0, 0x1A5, 1, true},     {0x1CD, 0x1DC, 1, true},
    {0x1DE, 0x1EF, 1, true},       {0x1F8, 0x21F, 1, true},     {0x222, 0x233, 1, true},
    {0x386, 0x386, 38, false},     {0x388, 0x38A, 37, false},   {0x38C, 0x38C, 64, false},
    {0x38E, 0x38F, 63, false},     {0x391, 0x3A1, 32, false},   {0x3A3, 0x3AB, 32, false},
    {0x3D8, 0x3EF, 1, true},       {0x400, 0x40F, 80, false},   {0x410, 0x42F, 32, false},
    {0x460, 0x481, 1, true},       {0x48A, 0x4BF, 1, true},     {0x4C0, 0x4C0, 15, false},
    {0x4C1, 0x4CE, 1, true},       {0x4D0, 0x52F, 1, true},     {0x531, 0x556, 48, false},
    {0x10A0, 0x10C5, 7264, false}, {0x1E00, 0x1E95, 1, true},   {0x1E9E, 0x1E9E, -7615, false},
    {0x1EA0, 0x1EFF, 1, true},     {0x1F08, 0x1F0F, -8, false}, {0x1F18, 0x1F1D, -8, false},
    {0x1F28, 0x1F2F, -8, false},   {0x1F38, 0x1F3F, -8, false}, {0x1F48, 0x1F4D, -8, false},
    {0x1F68, 0x1F6F, -8, false},   {0x2160, 0x216F, 16, false}, {0x24B6, 0x24CF, 26, false},
    {0x2C00, 0x2C2E, 48, false},   {0xFF21, 0xFF3A, 32, false},
};

bool isBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Decodes the UTF-8 sequence at text[i]; its length in *length, 0 when it is not valid.
std::uint32_t decode(std::string_view text, std::size_t i, std::size_t* length) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    std::size_t need = lead >= 0xF0 && lead < 0xF5 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    *length = 0;
    if (lead >= 0xF5 || need == 0 || i + need > text.size()) return 0;
    std::uint32_t c = lead & (0x3F >> (need - 1));
    for (std::size_t k = 1; k < need; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    *length = need;
    return c;
}

// Writes c as UTF-8 at out; returns the position after it.
char* encode(std::uint32_t c, char* out) {
    if (c < 0x80) {
        *out++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (c >> 18));
        *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

}  // namespace

std::uint32_t foldCodePoint(std::uint32_t c) {
    if (c < 0x100) {  // Latin-1, the common case, without the search
        bool upper = (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7);
        return upper ? c + 32 : c;
    }
    // Binary search for the last range starting at or before c.
    const FoldRange* low = std::begin(kRanges);
    const FoldRange* high = std::end(kRanges);
    while (high - low > 1) {
        const FoldRange* mid = low + (high - low) / 2;
        if (mid->first <= c) {
            low = mid;
        } else {
            high = mid;
        }
    }
    if (c < low->first || c > low->last) return c;
    if (low->alternate && ((c - low->first) & 1) != 0) return c;
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(c) + low->offset);
}

void prepareText(std::string_view text, bool fold, std::string& out, bool keepEdges) {
    // Written through a pointer into room made once: every value of a search passes here.
    // A folded character takes at most twice the bytes of the original.
    std::size_t start = out.size();
    out.resize(start + 2 * text.size() + 1);
    char* w = out.data() + start;
    std::size_t i = 0;
    while (i < text.size() && isBlank(static_cast<unsigned char>(text[i])))
        ++i;
    bool pendingBlank = keepEdges && i > 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        if (isBlank(c)) {
            pendingBlank = true;
            ++i;
            continue;
        }
        if (pendingBlank) *w++ = ' ';
        pendingBlank = false;
        if (c < 0x80) {
            *w++ = static_cast<char>(fold && c >= 'A' && c <= 'Z' ? c + 32 : c);
            ++i;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t code = decode(text, i, &length);
        if (length == 0) {
            *w++ = static_cast<char>(c);
            ++i;
            continue;
        }
        if (fold) {
            w = encode(foldCodePoint(code), w);
        } else {
            w = std::copy_n(text.data() + i, length, w);
        }
        i += length;
    }
    if (pendingBlank && keepEdges) *w++ = ' ';
    out.resize(static_cast<std::size_t>(w - out.data()));
}

}  // namespace dirschema
