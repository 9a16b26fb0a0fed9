#ifndef DIRTOOL_COMMANDS_H
#define DIRTOOL_COMMANDS_H

#include "command_line.h"

class DConnection;

namespace dirtool {

// Exit statuses of dirtool.
enum ExitStatus {
    kExitOk = 0,
    kExitFailed = 1,  // a directory operation failed
    kExitUsage = 2,   // bad command line or bad input (LDIF, unreadable file)
    kExitFalse = 3,   // compare found false, changed found no change
    // A search cut short by a limit, as the LDAP result code; the entries received are out.
    kExitTimeLimit = 3,
    kExitSizeLimit = 4
};

// Runs the command of inv on the connected connection: results go to standard output,
// failures to standard error as "dirtool: ..." lines. Returns the exit status.
int run_command(DConnection& connection, const Invocation& inv);

}  // namespace dirtool

#endif
