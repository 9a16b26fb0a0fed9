#ifndef DIRTOOL_COMMAND_LINE_H
#define DIRTOOL_COMMAND_LINE_H

// The command line of dirtool: connection options, one command and its operands. The
// options of the usual LDAP command-line tools (-x, -b, -s, -L, -z, -l, -A, -f, -c, -n, -v,
// -S, -P) are accepted beside dirtool's own, with the same meaning.

#include <stdexcept>
#include <string>
#include <vector>

#include "sort_order.h"

namespace dirtool {

// How a flat-file directory matches values (--match); kProcess leaves the process default.
enum class Matching { kProcess, kDefault, kLdap };

enum class Command { kSearch, kRead, kAdd, kModify, kDelete, kRename, kCompare, kChanged, kApply };

// The "children" scope: everything below the base, without the base itself.
constexpr int kScopeChildren = 3;

struct Invocation {
    bool help = false;
    bool version = false;

    std::string host;
    int port = 389;
    bool bind = false;  // -D given, with -w or -y
    std::string bind_dn;
    std::string password;
    std::string password_file;     // -y: the password is the file's first line
    bool prompt_password = false;  // -W: ask for it on the terminal
    int starttls = -1;             // -Z 1 (try), -ZZ 2 (demand), -1 as QDX_STARTTLS says
    bool profile = false;
    bool verbose = false;  // -v: say each step on standard error
    Matching match = Matching::kProcess;

    Command command = Command::kSearch;
    std::string dn;  // the entry; the base of a search
    int scope = 2;   // search: 0 base, 1 one level, 2 subtree, kScopeChildren
    std::string filter = "(objectclass=*)";
    std::vector<std::string> attributes;  // search and read: names to return (empty: all)
    std::vector<SortKey> sort;            // search
    // Search output: 0 the records only (also -LLL), 1 (-L) with the version line and
    // comments, 2 (-LL) with the version line.
    int ldif_level = 0;
    int size_limit = 0;       // search -z: at most this many entries (0: no limit)
    int time_limit = 0;       // search -l: seconds the server may take (0: no limit)
    bool attrs_only = false;  // search -A: attribute names without values
    std::string filter_file;  // search -f: one filter per line
    int page_size = 0;        // search: --page N or -E pr=N, 0 for no paging
    std::string file;         // add and apply: LDIF file, "-" for standard input
    bool keep_going = false;  // -c: go on after a failed change
    bool dry_run = false;     // -n: show what would be done, change nothing
    bool subtree = false;     // delete -r
    std::string new_rdn;      // rename
    bool has_new_superior = false;
    std::string new_superior;
    bool keep_old_rdn = false;
    std::string attribute;  // compare
    std::vector<std::string> values;
    int wait_seconds = 0;  // changed --wait
};

// A command line that cannot be run; the message says why.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reads argv (argv[0] is the program). env_host, when not null, is the host used without
// -H. Options may stand anywhere before "--", short ones clustered ("-xLLL"); --help and
// --version win over everything else. Without a command word, -b BASE means search and
// -f FILE means apply. Throws UsageError.
Invocation parse_command_line(int argc, const char* const* argv, const char* env_host);

// 0, 1, 2 or kScopeChildren for "base", "one" ("onelevel"), "sub" ("subtree") or
// "children", or the digits 0 to 2, case ignored. Throws UsageError.
int parse_scope(const std::string& text);

// The text of --help.
const char* usage_text();

}  // namespace dirtool

#endif
