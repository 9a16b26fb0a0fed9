#ifndef DIRTOOL_DIRTOOL_RUNNER_H
#define DIRTOOL_DIRTOOL_RUNNER_H

// Runs the built dirtool as a user would, for the end-to-end tests.

#include <string>
#include <utility>
#include <vector>

#include "ldif_reader.h"

namespace dirtool::test {

struct RunResult {
    int status = -1;  // exit status; 128 + signal when killed
    std::string out;
    std::string err;
};

struct RunOptions {
    std::string input;                                     // standard input
    std::string cwd;                                       // working folder ("": unchanged)
    std::vector<std::pair<std::string, std::string>> env;  // set in the child
    long file_size_limit = -1;                             // RLIMIT_FSIZE in bytes (-1: none)
};

// Runs dirtool with args (without the program name), with DIRTOOL_HOST and the QDX_*
// variables removed from its environment unless options.env sets them.
RunResult run_dirtool(const std::vector<std::string>& args, const RunOptions& options = {});

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The DNs of the records of an LDIF text, in order.
inline std::vector<std::string> dns_of(const std::string& ldif) {
    std::vector<std::string> dns;
    for (const LdifRecord& record : parse_ldif(ldif))
        dns.push_back(record.dn);
    return dns;
}

}  // namespace dirtool::test

#endif
