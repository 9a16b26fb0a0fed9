#ifndef DIRTOOL_ERROR_REPORT_H
#define DIRTOOL_ERROR_REPORT_H

#include <string>

class DException;

namespace dirtool {

// One line for a failure: what failed and its code, then why, as text or as an LDAP result
// with the library's text for it:
//   "ERROR: can not search [609]: ERROR: invalid filter"
//   "ERROR: can not remove [614]: LDAP result 66, Operation not allowed on non-leaf"
// Followed by what the server said (server_words).
std::string describe_exception(const DException& exception);

// What the server said beside the code, each on its own tab-indented line after a line
// break ("\n\tadditional info: ...", "\n\tmatched DN: ...", "\n\treferral: ..."); "" when
// it said nothing.
std::string server_words(const DException& exception);

}  // namespace dirtool

#endif
