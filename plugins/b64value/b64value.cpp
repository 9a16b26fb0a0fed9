// Base64 of RFC 2045. The plug-in links nothing of the product; the alphabet tables are
// header only.
#include "b64value.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include "base64_alphabet.h"

namespace {

using base64_alphabet::kDecode;
using base64_alphabet::kEncode;
using base64_alphabet::kInvalid;

constexpr size_t kFirstLine = 77;  // characters before the first fold
constexpr size_t kLaterLine = 76;  // characters of a continuation line after its space

class FoldedWriter {
  public:
    explicit FoldedWriter(char* out) : out_(out) {}
    void put(char c) {
        if (column_ > kLaterLine) {
            *out_++ = '\n';
            *out_++ = ' ';
            column_ = 1;
        }
        *out_++ = c;
        ++column_;
    }
    char* pos() const { return out_; }

  private:
    char* out_;
    size_t column_ = 0;
};

}  // namespace

extern "C" {

size_t qdx_b64_value_size(size_t length) {
    size_t chars = (length + 2) / 3 * 4;
    size_t folds = chars > kFirstLine ? (chars - kFirstLine + kLaterLine - 1) / kLaterLine : 0;
    return chars + 2 * folds + 1;
}

char* qdx_enc_b64_value(char* out, const char* data, int length) {
    const auto* in = reinterpret_cast<const unsigned char*>(data);
    size_t n = length > 0 ? static_cast<size_t>(length) : 0;
    FoldedWriter w(out);
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        uint32_t bits = uint32_t{in[i]} << 16 | uint32_t{in[i + 1]} << 8 | in[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6)
            w.put(kEncode[(bits >> shift) & 63]);
    }
    if (size_t rest = n - i) {
        uint32_t bits = uint32_t{in[i]} << 16 | (rest == 2 ? uint32_t{in[i + 1]} << 8 : 0);
        w.put(kEncode[(bits >> 18) & 63]);
        w.put(kEncode[(bits >> 12) & 63]);
        w.put(rest == 2 ? kEncode[(bits >> 6) & 63] : '=');
        w.put('=');
    }
    char* end = w.pos();
    *end = '\0';
    return end;
}

int qdx_dec_b64_value(char* text, int* length) {
    auto* s = reinterpret_cast<unsigned char*>(text);
    size_t len = strlen(text);
    size_t out = 0;
    for (size_t i = 0; i < len; i += 4) {
        if (len - i < 4) return -1;  // never read past the terminator
        unsigned v[4];
        for (int k = 0; k < 4; ++k) {
            unsigned char c = s[i + k];
            v[k] = kDecode.value[c];
            if (v[k] == kInvalid && !(k >= 2 && c == '=')) return -1;
        }
        bool pad3 = s[i + 2] == '=', pad4 = s[i + 3] == '=';
        s[out++] = static_cast<unsigned char>(v[0] << 2 | v[1] >> 4);
        if (pad3) break;
        s[out++] = static_cast<unsigned char>(v[1] << 4 | v[2] >> 2);
        if (pad4) break;
        s[out++] = static_cast<unsigned char>(v[2] << 6 | v[3]);
    }
    if (out > INT_MAX) return -1;
    s[out] = '\0';
    *length = static_cast<int>(out);
    return 0;
}

}  // extern "C"
