// dirtool: reads and changes a directory (LDAP servers or a flat LDIF file) from the
// command line, through libdirclient's DConnection. "dirtool --help" explains it all.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>

#include <dirclient/version.h>
#include "command_line.h"
#include "commands.h"
#include "profiling.h"
#include "secret_input.h"
#include "session.h"

int main(int argc, char** argv) {
    using namespace dirtool;
    // A reader that goes away must not end the run before a changed flat file is written
    // back; the lost output is reported by the exit status instead.
    signal(SIGPIPE, SIG_IGN);
    Invocation inv;
    try {
        inv = parse_command_line(argc, argv, getenv("DIRTOOL_HOST"));
        hide_password_arguments(argc, argv);
    } catch (const UsageError& e) {
        hide_password_arguments(argc, argv);
        fprintf(stderr, "dirtool: %s\nRun \"dirtool --help\" for the usage.\n", e.what());
        return kExitUsage;
    }
    if (inv.help) {
        fputs(usage_text(), stdout);
        return kExitOk;
    }
    if (inv.version) {
        printf("dirtool, libdirclient %s\n", dirclient_version());
        return kExitOk;
    }
    try {
        Profiling profiling(inv.profile);
        return run_session(inv);
    } catch (const std::bad_alloc&) {
        fputs("dirtool: out of memory\n", stderr);
    } catch (const std::exception& e) {
        fprintf(stderr, "dirtool: %s\n", e.what());
    }
    return kExitFailed;
}
