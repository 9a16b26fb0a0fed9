// LDIF line codec, RFC 2849 (line folding, "type: value" and "type:: base64"), with the
// base64 alphabet of RFC 2045.
#include "ldif_codec.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base64_alphabet.h"
#include "byte_blocks.h"
#include "debug_mask.h"

namespace {

using base64_alphabet::kDecode;
using base64_alphabet::kEncode;
using base64_alphabet::kInvalid;

// The C locale's classes, without consulting the locale: the codec must not change
// behaviour with the host program's setlocale.
inline bool is_space(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool starts_blank_line(const char* p) {
    return *p == '\n' || *p == '\0' || (p[0] == '\r' && p[1] == '\n');
}

// A continuation line begins with white space; a blank line ("\r\n" included) never does.
bool continues(const char* p) {
    return *p != '\n' && is_space(static_cast<unsigned char>(*p)) &&
           !(p[0] == '\r' && p[1] == '\n');
}

void report_bad_char(unsigned char c) {
    if (ldap_debug & 0xFFFF) fprintf(stderr, "invalid base 64 encoding char (%c) 0x%x\n", c, c);
}

// Decodes text[0..len) in place and NUL-terminates the result. Returns the byte count, or
// -1 for a character outside the alphabet, "=" where data must stand, or a group cut short
// by the end of the text (whose missing characters would otherwise be read past the end).
long decode_base64(char* text, size_t len) {
    auto* in = reinterpret_cast<unsigned char*>(text);
    size_t out = 0;
    for (size_t i = 0; i < len; i += 4) {
        if (len - i < 4) {
            if (ldap_debug & 0xFFFF) fprintf(stderr, "base 64 value ends inside a group\n");
            return -1;
        }
        unsigned char c[4] = {in[i], in[i + 1], in[i + 2], in[i + 3]};
        unsigned v[4] = {kDecode.value[c[0]], kDecode.value[c[1]], kDecode.value[c[2]],
                         kDecode.value[c[3]]};
        if ((v[0] | v[1] | v[2] | v[3]) < 64) {  // the common case: four alphabet characters
            in[out++] = static_cast<unsigned char>(v[0] << 2 | v[1] >> 4);
            in[out++] = static_cast<unsigned char>(v[1] << 4 | v[2] >> 2);
            in[out++] = static_cast<unsigned char>(v[2] << 6 | v[3]);
            continue;
        }
        for (int k = 0; k < 4; ++k) {
            bool pad_allowed = k >= 2 && c[k] == '=';
            if (v[k] == kInvalid && !pad_allowed) {
                report_bad_char(c[k]);
                return -1;
            }
        }
        in[out++] = static_cast<unsigned char>(v[0] << 2 | v[1] >> 4);
        if (c[2] == '=') break;
        in[out++] = static_cast<unsigned char>(v[1] << 4 | v[2] >> 2);
        if (c[3] == '=') break;
        in[out++] = static_cast<unsigned char>(v[2] << 6 | v[3]);
    }
    in[out] = '\0';
    return static_cast<long>(out);
}

// Copies a line's worth of bytes with fixed-size moves that may overlap but never leave
// [src, src + n) or [dst, dst + n); the compiler would otherwise use a string instruction
// whose start-up costs more than such a short copy.
inline void copy_short(char* dst, const char* src, size_t n) {
    if (n >= 16) {
        for (size_t i = 0; i + 16 < n; i += 16)
            memcpy(dst + i, src + i, 16);
        memcpy(dst + n - 16, src + n - 16, 16);
    } else if (n >= 8) {
        memcpy(dst, src, 8);
        memcpy(dst + n - 8, src + n - 8, 8);
    } else if (n >= 4) {
        memcpy(dst, src, 4);
        memcpy(dst + n - 4, src + n - 4, 4);
    } else {
        for (size_t i = 0; i < n; ++i)
            dst[i] = src[i];
    }
}

class LineWriter {
  public:
    LineWriter(char* out, size_t used) : out_(out), len_(used) {}
    char* pos() const { return out_; }
    size_t len() const { return len_; }

    void put(char c) {
        *out_++ = c;
        ++len_;
    }
    void put_n(const char* p, size_t n) {
        copy_short(out_, p, n);
        out_ += n;
        len_ += n;
    }
    void fold() {
        *out_++ = '\n';
        *out_++ = ' ';
        len_ = 1;
    }
    void restart_at(char* p, size_t len) {
        out_ = p;
        len_ = len;
    }

  private:
    char* out_;
    size_t len_;
};

bool needs_base64_at_once(const unsigned char* v, size_t n) {
    if (n == 0) return false;
    return is_space(v[0]) || v[0] == ':' || v[0] == '<' || is_space(v[n - 1]);
}

using byte_blocks::Bytes16;
using byte_blocks::first_set;
using byte_blocks::Lanes16;
using byte_blocks::load;
using byte_blocks::signed_lanes;
using byte_blocks::splat;

inline bool is_printable(unsigned char c) {
    return static_cast<unsigned char>(c - 0x20) < 0x5F;
}

// Length of the longest prefix of v[0..n) whose bytes all pass `keeps`; `stops` gives the
// lanes of a 16-byte block that do not, the same test sixteen bytes at a time.
template <typename Stops, typename Keeps>
size_t prefix_while(const unsigned char* v, size_t n, Stops stops, Keeps keeps) {
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        size_t k = first_set(stops(load(v + i)));
        if (k < 16) return i + k;
    }
    while (i < n && keeps(v[i]))
        ++i;
    return i;
}

// Length of the longest prefix of v[0..n) made of printable ASCII (0x20-0x7E).
size_t printable_prefix(const unsigned char* v, size_t n) {
    // Adding 1 takes exactly the printable bytes to 0x21-0x7F, positive as signed bytes.
    auto stops = [](Bytes16 x) { return signed_lanes(x + splat(1)) < signed_lanes(splat(0x21)); };
    return prefix_while(v, n, stops, is_printable);
}

// Length of the longest prefix of v[0..n) made of base64 alphabet characters ("=" is not one).
size_t base64_prefix(const unsigned char* v, size_t n) {
    auto stops = [](Bytes16 x) {
        // Letters fold to upper case with one bit; digits, "+" and "/" are checked apart.
        Lanes16 folded = signed_lanes((x & splat(0xDF)) - splat('A'));
        Lanes16 digit = signed_lanes(x - splat('0'));
        const Lanes16 zero = signed_lanes(splat(0));
        Lanes16 letter = (folded >= zero) & (folded < signed_lanes(splat(26)));
        Lanes16 decimal = (digit >= zero) & (digit < signed_lanes(splat(10)));
        return ~(letter | decimal | (x == splat('+')) | (x == splat('/')));
    };
    return prefix_while(v, n, stops, [](unsigned char c) { return kDecode.value[c] < 64; });
}

// Index of the first ':', line end or NUL in v[0..n), or n: where a type ends.
size_t type_length(const unsigned char* v, size_t n) {
    auto stops = [](Bytes16 x) { return (x == splat(':')) | (x == splat('\n')) | (x == splat(0)); };
    auto keeps = [](unsigned char c) { return c != ':' && c != '\n' && c != '\0'; };
    return prefix_while(v, n, stops, keeps);
}

bool all_printable(const unsigned char* v, size_t n) {
    return printable_prefix(v, n) == n;
}

bool all_blank(const unsigned char* v, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (v[i] != ' ') return false;
    return true;
}

// Writes the plain form after "type: "; returns false when the value needs base64 (the
// caller then rewrites it). A line is filled, then the byte after it is looked at: if
// nothing but blanks was looked at since the line began (the first byte of a continuation
// line is written unlooked), the value goes to base64. Otherwise the blanks that end the
// line move to the next one, so that words stay whole, but never all of the line's value
// bytes: a line of nothing but blanks would not read back.
bool put_plain(LineWriter& w, const unsigned char* v, size_t n) {
    if (!all_printable(v, n)) return false;
    size_t i = 0;
    bool continuation = false;
    for (;;) {
        size_t room = w.len() < LDIF_LINE_WIDTH ? LDIF_LINE_WIDTH - w.len() : 0;
        if (n - i <= room) break;
        size_t looked_from = continuation ? i + 1 : i;
        if (all_blank(v + looked_from, i + room + 1 - looked_from)) return false;
        size_t back = 0;
        while (back < room && v[i + room - 1 - back] == ' ')
            ++back;
        if (back > 0 && back == room) return false;
        w.put_n(reinterpret_cast<const char*>(v + i), room - back);
        i += room - back;
        w.fold();
        continuation = true;
    }
    w.put_n(reinterpret_cast<const char*>(v + i), n - i);
    return true;
}

void put_b64_char(LineWriter& w, char c) {
    if (w.len() >= LDIF_LINE_WIDTH) w.fold();
    w.put(c);
}

void put_base64(LineWriter& w, const unsigned char* v, size_t n) {
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        uint32_t bits = uint32_t{v[i]} << 16 | uint32_t{v[i + 1]} << 8 | v[i + 2];
        char group[4] = {kEncode[bits >> 18], kEncode[(bits >> 12) & 63], kEncode[(bits >> 6) & 63],
                         kEncode[bits & 63]};
        if (w.len() + 4 <= LDIF_LINE_WIDTH) {
            w.put_n(group, 4);
        } else {
            for (char c : group)
                put_b64_char(w, c);
        }
    }
    size_t rest = n - i;
    if (rest == 0) return;
    uint32_t bits = uint32_t{v[i]} << 16 | (rest == 2 ? uint32_t{v[i + 1]} << 8 : 0);
    put_b64_char(w, kEncode[(bits >> 18) & 63]);
    put_b64_char(w, kEncode[(bits >> 12) & 63]);
    put_b64_char(w, rest == 2 ? kEncode[(bits >> 6) & 63] : '=');
    put_b64_char(w, '=');
}

// Whether p starts a continuation line of a text that ends at `end`, where the functions
// on NUL-terminated text meet the terminator.
bool continues_before(const char* p, const char* end) {
    if (p == end || *p == '\n' || !is_space(static_cast<unsigned char>(*p))) return false;
    return !(p[0] == '\r' && p + 1 < end && p[1] == '\n');
}

// End of a plain value at v that put_plain, starting at column `column`, would write exactly
// as it stands: printable, not opening or ending with what forces base64, and folded where
// put_plain folds (after `carry` blanks that a fold moved to the next line, the word goes
// on). Null when it would write something else.
const char* canonical_plain(const char* v, const char* end, size_t column) {
    const auto* p = reinterpret_cast<const unsigned char*>(v);
    const auto* stop = reinterpret_cast<const unsigned char*>(end);
    if (p == stop || !is_printable(*p) || *p == ' ' || *p == ':' || *p == '<') return nullptr;
    size_t carry = 0;
    bool one_byte_line = false;  // the previous line held one byte after its leading blank
    for (bool continuation = false;; continuation = true) {
        const size_t length = printable_prefix(p, static_cast<size_t>(stop - p));
        const unsigned char* nl = p + length;
        if (nl == stop || *nl != '\n' || length <= carry) return nullptr;
        for (size_t k = 0; k < carry; ++k)
            if (p[k] != ' ') return nullptr;
        // put_plain would have found nothing but blanks on the previous line and chosen base64.
        if (one_byte_line && p[carry] == ' ') return nullptr;
        const size_t room = LDIF_LINE_WIDTH - column;
        if (length > room || p[length - 1] == ' ') return nullptr;
        const char* after = reinterpret_cast<const char*>(nl + 1);
        if (!continues_before(after, end)) return after;
        if (*after != ' ') return nullptr;
        carry = room - length;
        one_byte_line = continuation && length == 1;
        column = 1;
        p = nl + 2;
    }
}

// Whether the value that canonical base64 text decodes to could not be written plain, so
// that put_type_and_value writes base64 whatever the value holds further on. The text's
// lines are joined by "\n " and it holds `chars` characters, `pads` of them final "=".
bool decodes_to_base64_only(const unsigned char* p, size_t chars, int pads) {
    const size_t bytes = chars / 4 * 3 - static_cast<size_t>(pads);
    auto sextet = [&p]() -> uint32_t {
        if (*p == '\n') p += 2;
        unsigned char v = kDecode.value[*p++];
        return v == kInvalid ? 0 : v;  // padding carries no bits
    };
    size_t produced = 0;
    for (size_t g = 0; g < chars / 4; ++g) {
        uint32_t a = sextet(), b = sextet(), c = sextet(), d = sextet();
        uint32_t bits = a << 18 | b << 12 | c << 6 | d;
        for (int shift = 16; shift >= 0 && produced < bytes; shift -= 8, ++produced) {
            auto byte = static_cast<unsigned char>(bits >> shift);
            if (!is_printable(byte)) return true;
            if (produced == 0 && (byte == ' ' || byte == ':' || byte == '<')) return true;
            if (produced + 1 == bytes && byte == ' ') return true;
        }
    }
    return false;
}

// End of base64 text at `text` that put_type_and_value, starting at column `column`, would
// write back exactly: alphabet characters in lines filled to the width, the shortest
// padding with no stray bits, and a value that needs base64. Null otherwise.
const char* canonical_base64(const char* text, const char* end, size_t column) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const auto* stop = reinterpret_cast<const unsigned char*>(end);
    const unsigned char* last_data = nullptr;
    size_t chars = 0;
    int pads = 0;
    const char* after;
    for (;;) {
        // The padding may be folded too; nothing but padding follows it.
        const size_t data = pads > 0 ? 0 : base64_prefix(p, static_cast<size_t>(stop - p));
        const unsigned char* q = p + data;
        if (data > 0) last_data = q - 1;
        while (q < stop && *q == '=' && pads < 2) {
            ++q;
            ++pads;
        }
        if (q == stop || *q != '\n') return nullptr;
        const size_t length = static_cast<size_t>(q - p);
        const size_t room = LDIF_LINE_WIDTH - column;
        chars += length;
        after = reinterpret_cast<const char*>(q + 1);
        if (!continues_before(after, end)) {
            if (length == 0 || length > room) return nullptr;
            break;
        }
        if (length != room || *after != ' ') return nullptr;
        column = 1;
        p = q + 2;
    }
    if (last_data == nullptr || chars % 4 != 0) return nullptr;
    const unsigned stray = pads == 2 ? 15 : pads == 1 ? 3 : 0;
    if (kDecode.value[*last_data] & stray) return nullptr;
    if (!decodes_to_base64_only(reinterpret_cast<const unsigned char*>(text), chars, pads))
        return nullptr;
    return after;
}

}  // namespace

extern "C" {

char* ldif_getline(char** next, int* physical_lines) {
    char* line = next ? *next : nullptr;
    if (!line || starts_blank_line(line)) return nullptr;
    int count = 1;
    char* seg = line;
    char* joined_end = nullptr;  // end of the compacted text once a fold was removed
    for (;;) {
        char* nl = strchr(seg, '\n');
        if (!nl) {
            if (joined_end) memmove(joined_end, seg, strlen(seg) + 1);
            *next = nullptr;
            break;
        }
        char* after = nl + 1;
        if (!continues(after)) {
            size_t n = static_cast<size_t>(nl - seg);
            if (joined_end) {
                memmove(joined_end, seg, n);
                joined_end[n] = '\0';
            } else {
                *nl = '\0';
            }
            *next = after;
            break;
        }
        char* end = (nl > seg && nl[-1] == '\r') ? nl - 1 : nl;
        size_t n = static_cast<size_t>(end - seg);
        if (joined_end) {
            memmove(joined_end, seg, n);
            joined_end += n;
        } else {
            joined_end = end;
        }
        seg = after + 1;
        ++count;
    }
    if (physical_lines) *physical_lines = count;
    return line;
}

char* str_getline(char** next) {
    return ldif_getline(next, nullptr);
}

int str_parse_line(char* line, char** type, char** value, int* length) {
    char* s = line;
    while (is_space(static_cast<unsigned char>(*s)))
        ++s;
    char* colon = strchr(s, ':');
    if (!colon) {
        if (ldap_debug & 0x800) fprintf(stderr, "parse_line missing ':'\n");
        return -1;
    }
    char* type_end = colon;
    while (type_end - 1 > s && is_space(static_cast<unsigned char>(type_end[-1])))
        --type_end;
    *type_end = '\0';
    *colon = '\0';

    char* v = colon + 1;
    bool base64 = *v == ':';
    if (base64) ++v;
    while (is_space(static_cast<unsigned char>(*v)))
        ++v;
    size_t n = strlen(v);
    if (base64) {
        while (n > 0 && is_space(static_cast<unsigned char>(v[n - 1])))
            --n;
        long decoded = decode_base64(v, n);
        if (decoded < 0) return -1;
        n = static_cast<size_t>(decoded);
    }
    if (n > INT_MAX) return -1;
    *type = s;
    *value = v;
    *length = static_cast<int>(n);
    return 0;
}

size_t ldif_size_needed(size_t type_length, size_t value_length) {
    size_t t = type_length;
    size_t b = value_length / 3 * 4 + (value_length % 3) * 4 / 3;  // 4v/3 without overflow
    return t + (b + 4) + 2 * ((b + t + 7) / 75 + 1) + 5;
}

void put_type_and_value(char** out, const char* type, const char* value, int length) {
    size_t tlen = strlen(type);
    size_t n = length > 0 ? static_cast<size_t>(length) : 0;
    const auto* v = reinterpret_cast<const unsigned char*>(value);
    char* start = *out;
    memcpy(start, type, tlen);
    start[tlen] = ':';
    char* after_colon = start + tlen + 1;

    LineWriter w(after_colon, tlen + 1);
    bool plain = !needs_base64_at_once(v, n);
    if (plain) {
        w.put(' ');
        plain = put_plain(w, v, n);
    }
    if (!plain) {
        w.restart_at(after_colon, tlen + 1);
        w.put(':');
        w.put(' ');
        put_base64(w, v, n);
    }
    w.put('\n');
    *out = w.pos();
}

char* ldif_type_and_value(const char* type, const char* value, int length) {
    size_t n = length > 0 ? static_cast<size_t>(length) : 0;
    char* buf = static_cast<char*>(malloc(ldif_size_needed(strlen(type), n)));
    if (!buf) return nullptr;
    char* end = buf;
    put_type_and_value(&end, type, value, length);
    *end = '\0';
    return buf;
}

size_t ldif_logical_line_length(const char* text, size_t length) {
    const char* end = text + length;
    for (const char* p = text;;) {
        const auto* nl = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
        if (nl == nullptr) return length;
        p = nl + 1;
        if (!continues_before(p, end)) return static_cast<size_t>(p - text);
    }
}

size_t ldif_canonical_line(const char* text, size_t length) {
    if (text == nullptr) return 0;
    const char* end = text + length;
    const size_t t = type_length(reinterpret_cast<const unsigned char*>(text), length);
    const char* colon = text + t;
    if (end - colon < 3 || *colon != ':' || t == 0 || t + 3 >= LDIF_LINE_WIDTH ||
        is_space(static_cast<unsigned char>(text[0])) ||
        is_space(static_cast<unsigned char>(colon[-1])))
        return 0;
    const char* after = nullptr;
    if (colon[1] == ' ')
        after = canonical_plain(colon + 2, end, t + 2);
    else if (colon[1] == ':' && colon[2] == ' ')
        after = canonical_base64(colon + 3, end, t + 3);
    return after != nullptr ? static_cast<size_t>(after - text) : 0;
}

}  // extern "C"
