#ifndef DIRTOOL_SEARCH_COMMAND_H
#define DIRTOOL_SEARCH_COMMAND_H

#include "command_line.h"

class DConnection;

namespace dirtool {

// Runs the search of inv (every filter of its filter file in turn) on the connection and
// prints the entries as LDIF. 0 (also when nothing matched), 4 when the size limit cut the
// answer short, 3 when the time limit did, or the status of the failure.
int run_search(DConnection& connection, const Invocation& inv);

}  // namespace dirtool

#endif
