#include "command_io.h"

#include <cerrno>
#include <cstdio>

namespace dirtool {

bool read_all(const std::string& path, std::string& text) {
    FILE* in = path == "-" ? stdin : fopen(path.c_str(), "rb");
    if (in == nullptr) return false;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, in)) > 0)
        text.append(buffer, n);
    bool ok = !ferror(in);
    int saved = errno;
    if (in != stdin) fclose(in);
    errno = saved;
    return ok;
}

std::string source_name(const std::string& path) {
    return path == "-" ? "standard input" : path;
}

std::string where(const std::string& source, int line) {
    return line > 0 ? source + ":" + std::to_string(line) : source;
}

void write_out(const std::string& text) {
    fwrite(text.data(), 1, text.size(), stdout);
}

}  // namespace dirtool
