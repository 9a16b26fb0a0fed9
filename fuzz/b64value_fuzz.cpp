// The plug-in's decoder on arbitrary text, and encode-then-decode on arbitrary data.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "b64value.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    int length = -1;
    if (qdx_dec_b64_value(text.data(), &length) == 0 && text[static_cast<size_t>(length)] != '\0')
        abort();

    std::vector<char> encoded(qdx_b64_value_size(size));
    char* end = qdx_enc_b64_value(encoded.data(), reinterpret_cast<const char*>(data),
                                  static_cast<int>(size));
    if (end != encoded.data() + encoded.size() - 1) abort();
    std::string unfolded;
    for (const char* p = encoded.data(); p < end; ++p) {
        if (*p == '\n') {
            ++p;
            continue;
        }
        unfolded += *p;
    }
    if (qdx_dec_b64_value(unfolded.data(), &length) != 0) abort();
    if (static_cast<size_t>(length) != size || memcmp(unfolded.data(), data, size) != 0) abort();
    return 0;
}
