// DN normalisation on arbitrary text: the result is never longer than the input,
// normalising it again changes nothing, and the upper-case form is the same text upper-cased.

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <dirclient/dn_normalize.h>
#include <dirclient/object_memory.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const char* dn = input.c_str();  // a C text ends at its first NUL
    char* once = dn_normalize(dn);
    if (once == nullptr || std::strlen(once) > std::strlen(dn)) std::abort();
    char* twice = dn_normalize(once);
    if (std::strcmp(once, twice) != 0) std::abort();
    char* upper = dn_normalize_case(dn);
    if (std::strlen(upper) != std::strlen(once)) std::abort();
    for (std::size_t i = 0; once[i] != '\0'; ++i)
        if (upper[i] != static_cast<char>(std::toupper(static_cast<unsigned char>(once[i]))))
            std::abort();
    check_free(once);
    check_free(twice);
    check_free(upper);
    return 0;
}
