#ifndef DIRTOOL_COMMANDS_H
#define DIRTOOL_COMMANDS_H

#include "command_line.h"
#include "error_report.h"

class DConnection;

namespace dirtool {

// Runs the command of inv on the connected connection: results go to standard output,
// failures to standard error as "dirtool: ..." lines. Returns the exit status.
int run_command(DConnection& connection, const Invocation& inv);

}  // namespace dirtool

#endif
