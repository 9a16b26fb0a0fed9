#ifndef DIRTOOL_SESSION_H
#define DIRTOOL_SESSION_H

#include <string>

#include "command_line.h"

namespace dirtool {

// Connects to inv.host (binding when -D was given), runs the command, disconnects (which
// writes a changed flat file back) and returns the exit status.
int run_session(const Invocation& inv);

// The file a "FILE:///..." host names, as the flat-file directory reads it: the text after
// the third '/', without a trailing "/base DN" part.
std::string flat_file_path(const std::string& host);

}  // namespace dirtool

#endif
