#ifndef DIRTOOL_ERROR_REPORT_H
#define DIRTOOL_ERROR_REPORT_H

#include <string>

class DException;

namespace dirtool {

// Exit statuses of dirtool besides the LDAP result codes that a failed operation ends with.
enum ExitStatus {
    kExitOk = 0,
    kExitFailed = 1,  // a failure without an LDAP result code
    kExitUsage = 2,   // bad command line or bad input (LDIF, unreadable file)
    kExitFalse = 3    // compare found false, changed found no change
};

// One line for a failure: what failed and its code, then why, as text or as an LDAP result
// with the library's text for it:
//   "ERROR: can not search [609]: ERROR: invalid filter"
//   "ERROR: can not remove [614]: LDAP result 66, Operation not allowed on non-leaf"
// Followed by what the server said (server_words).
std::string describe_exception(const DException& exception);

// The exit status a failure ends the run with: its LDAP result code, as the usual LDAP
// tools do, or kExitFailed when it has none (or one that an exit status cannot carry).
int failure_status(const DException& exception);

// The exit status of an LDAP result code (classic numbering) that ended the run.
int status_of_code(int code);

// "dirtool: text" on standard error.
void message(const std::string& text);

// What the server said beside the code, each on its own tab-indented line after a line
// break ("\n\tadditional info: ...", "\n\tmatched DN: ...", "\n\treferral: ..."); "" when
// it said nothing.
std::string server_words(const DException& exception);

}  // namespace dirtool

#endif
