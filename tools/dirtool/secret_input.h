#ifndef DIRTOOL_SECRET_INPUT_H
#define DIRTOOL_SECRET_INPUT_H

#include <optional>
#include <string>

// Passwords on dirtool's command line and terminal.

namespace dirtool {

// Overwrites the values of -w / --password in argv with 'x', so that the process list no
// longer shows them. Stops at "--".
void hide_password_arguments(int argc, char** argv);

// Reads one line from the controlling terminal with echo off, after "prompt"; nothing when
// there is no terminal or it cannot be read.
std::optional<std::string> prompt_password(const char* prompt);

}  // namespace dirtool

#endif
