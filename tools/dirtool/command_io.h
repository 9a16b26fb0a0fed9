#ifndef DIRTOOL_COMMAND_IO_H
#define DIRTOOL_COMMAND_IO_H

// The input and output of dirtool's commands.

#include <string>

namespace dirtool {

// The whole content of path ("-": standard input); false with errno set when unreadable.
bool read_all(const std::string& path, std::string& text);

// The input as messages name it: the path, or "standard input" for "-".
std::string source_name(const std::string& path);

// "source:line", or source alone for line 0.
std::string where(const std::string& source, int line);

// Writes text to standard output as it is.
void write_out(const std::string& text);

}  // namespace dirtool

#endif
