#ifndef DIRCLIENT_BASE64_ALPHABET_H
#define DIRCLIENT_BASE64_ALPHABET_H

// Internal, header only: the base64 alphabet of RFC 2045 and its decoding table, shared by
// the LDIF codec and the base64 value plug-in (which links nothing of the product).

namespace base64_alphabet {

constexpr char kEncode[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr unsigned char kInvalid = 255;

// 6-bit values of the alphabet; kInvalid for every other byte, "=" and 0x80-0xFF included.
struct DecodeTable {
    unsigned char value[256];
    constexpr DecodeTable() : value() {
        for (auto& v : value)
            v = kInvalid;
        for (int i = 0; i < 64; ++i)
            value[static_cast<unsigned char>(kEncode[i])] = static_cast<unsigned char>(i);
    }
};
constexpr DecodeTable kDecode;

}  // namespace base64_alphabet

#endif
