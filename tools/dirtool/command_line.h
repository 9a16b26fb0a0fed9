#ifndef DIRTOOL_COMMAND_LINE_H
#define DIRTOOL_COMMAND_LINE_H

// The command line of dirtool: connection options, one command and its operands.

#include <stdexcept>
#include <string>
#include <vector>

#include "sort_order.h"

namespace dirtool {

enum class Command { kSearch, kRead, kAdd, kModify, kDelete, kRename, kCompare, kChanged };

struct Invocation {
    bool help = false;
    bool version = false;

    std::string host;
    int port = 389;
    bool bind = false;  // -D given, with -w or -y
    std::string bind_dn;
    std::string password;
    std::string password_file;  // -y: the password is the file's first line
    bool prompt_password = false;  // -W: ask for it on the terminal
    int starttls = -1;             // -Z 1 (try), -ZZ 2 (demand), -1 as QDX_STARTTLS says
    bool profile = false;

    Command command = Command::kSearch;
    std::string dn;  // the entry; the base of a search
    int scope = 2;   // search: 0 base, 1 one level, 2 subtree
    std::string filter = "(objectclass=*)";
    std::vector<std::string> attributes;  // search and read: names to return (empty: all)
    std::vector<SortKey> sort;            // search
    std::string file;                     // add: LDIF file, "-" for standard input
    bool subtree = false;                 // delete -r
    std::string new_rdn;                  // rename
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
// -H. Options may stand anywhere before "--"; --help and --version win over everything
// else. Throws UsageError.
Invocation parse_command_line(int argc, const char* const* argv, const char* env_host);

// 0, 1 or 2 for "base", "one" ("onelevel"), "sub" ("subtree") or the digit itself, case
// ignored. Throws UsageError.
int parse_scope(const std::string& text);

// The text of --help.
const char* usage_text();

}  // namespace dirtool

#endif
