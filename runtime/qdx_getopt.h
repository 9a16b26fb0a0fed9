#ifndef DIRCLIENT_QDX_GETOPT_H
#define DIRCLIENT_QDX_GETOPT_H

// Command-line option scanner of the programs. It keeps its position in the usual globals
// optarg, optind, opterr and optopt (declared by <unistd.h>; defined by this scanner with
// optind 0 before the first call, which restarts a scan). For one thread.

#include <unistd.h>

#ifdef __cplusplus
extern "C" {
#endif

// Returns the next option character of argv, '?' for an unknown option or a missing
// argument (':' instead when optstring begins with ':'), or -1 at the first operand, at
// "--" (which is stepped over) or at the end. "x:" takes an argument, "x::" an optional one
// that must be attached ("-xVALUE"). A leading '+' or '-' of optstring is ignored.
// Errors are written to standard error while opterr is non-zero.
int qdx_getopt(int argc, char* const argv[], const char* optstring);

#ifdef __cplusplus
}
#endif

#endif
