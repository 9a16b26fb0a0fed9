// The codec's base64 decoder behind "type:: ", on text that ends exactly where its buffer
// does, so that a read past the terminator is caught.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <dirclient/ldif_codec.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (memchr(data, '\0', size)) return 0;
    std::vector<char> line{'v', ':', ':', ' '};
    line.insert(line.end(), data, data + size);
    line.push_back('\0');
    char *type, *value;
    int length = -1;
    if (str_parse_line(line.data(), &type, &value, &length) == 0) {
        if (length < 0 || value[length] != '\0') abort();
        if (static_cast<size_t>(length) > size / 4 * 3 + 3) abort();
    }
    return 0;
}
