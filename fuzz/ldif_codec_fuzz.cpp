// Parse, format, parse again: a line that parses must come back with the same type and
// value, within the room the size rule promises. A line said to be in canonical form must
// come back byte for byte.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <dirclient/ldif_codec.h>

namespace {

void check_canonical_claim(const uint8_t* data, size_t size) {
    size_t n = ldif_canonical_line(reinterpret_cast<const char*>(data), size);
    if (n == 0) return;
    if (n > size) abort();
    std::string line(reinterpret_cast<const char*>(data), n);
    char* next = line.data();
    char* joined = str_getline(&next);
    char *type, *value;
    int length;
    if (!joined || str_parse_line(joined, &type, &value, &length) != 0) abort();
    char* again = ldif_type_and_value(type, value, length);
    if (!again || std::string(again) != std::string(reinterpret_cast<const char*>(data), n))
        abort();
    free(again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    check_canonical_claim(data, size);
    std::string text(reinterpret_cast<const char*>(data), size);
    char* next = text.data();
    char* line = str_getline(&next);
    if (!line) return 0;
    char *type, *value;
    int length;
    if (str_parse_line(line, &type, &value, &length) != 0) return 0;
    std::string t(type), v(value, static_cast<size_t>(length));

    size_t room = ldif_size_needed(t.size(), v.size());
    std::string out(room + 1, '\x7f');
    char* end = out.data();
    put_type_and_value(&end, t.c_str(), v.data(), length);
    size_t written = static_cast<size_t>(end - out.data());
    if (written + 1 > room || out[room] != '\x7f') abort();
    if (written == 0 || out[written - 1] != '\n') abort();
    out.resize(written);

    next = out.data();
    char* again = str_getline(&next);
    if (!again || (next && *next)) abort();  // one logical line, nothing after it
    char *type2, *value2;
    int length2;
    if (str_parse_line(again, &type2, &value2, &length2) != 0) abort();
    if (t != type2 || v != std::string(value2, static_cast<size_t>(length2))) abort();
    return 0;
}
