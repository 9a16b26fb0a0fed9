#include "command_line.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <optional>

#include "ldif_reader.h"

namespace dirtool {
namespace {

const char kUsage[] =
    R"(Usage: dirtool -H HOST [-p PORT] [-Z[Z]] [-D DN -w PASSWORD | -W | -y FILE] [--profile] COMMAND ...

Reads and changes a directory: an LDAP server, a list of servers, or a flat LDIF file.
Entries are printed as LDIF.

Commands:
  search BASE SCOPE [FILTER [ATTR...]] [--sort ATTR[:desc],...]
        print the entries found; SCOPE is base, one or sub (or 0, 1, 2); FILTER
        defaults to (objectclass=*); --sort orders them by attributes or by dn
  read DN [ATTR...]
        print one entry
  add FILE.ldif
        add every entry of the file ("-" reads standard input)
  modify DN
        apply the changes read from standard input, for example:
          replace: mail
          mail: ann@example.com
          -
          add: telephoneNumber
          telephoneNumber: 555 0101
          -
          delete: description
  delete [-r] DN
        delete a leaf entry; -r deletes the entry and everything below it
  rename DN NEWRDN [NEWSUPERIOR] [--keep-old-rdn]
        rename the entry, and move it below NEWSUPERIOR when given
  compare DN ATTR VALUE...
        print true when the entry holds every VALUE of ATTR, else false
  changed [--wait SECONDS]
        on a server list: print whether the server has completed changes, and how
        many; --wait waits up to SECONDS for one more

Options:
  -H, --host HOST       the directory (default: $DIRTOOL_HOST):
                          FILE:///data/dir.ldif      flat LDIF file, path relative to the
                                                     current directory; FILE:////srv/dir.ldif
                                                     for an absolute path
                          LDAP://host:389            one server
                          LDAPS://host:636           one server over TLS
                          LDAP://a:389;LDAP://b:389  servers with fail-over
                          DNS:name                   servers named by the TXT record of name
                          host                       one server, plain session
  -p, --port PORT       port of a plain host name (default 389)
  -D, --bind-dn DN      bind as DN (with -w or -y)
  -w, --password PW     password of the bind (blanked in the process list at once)
  -W                    prompt for the password on the terminal, without echo
  -y, --password-file FILE
                        read the password from the first line of FILE instead (keeps it
                        out of the process list)
  -Z                    StartTLS; go on in clear when the server refuses it
  -ZZ                   StartTLS, demanded: fail when the server refuses it
                        (certificates are checked as ldap.conf and LDAPTLS_* say)
      --profile         measure the run and the LDAP calls; the report goes to standard
                        error at exit (to $QDX_PROFILE_FILE when set)
  -h, --help            print this text
      --version         print the library version
  --                    ends the options (for operands that begin with '-')

Exit status: 0 success; 1 an operation failed; 2 bad command line or bad input;
3 compare found false, or changed found no change.

Examples:
  dirtool -H FILE:///out/release320.ldif search o=northwind sub '(objectclass=person)' cn --sort sn
  dirtool -H LDAP://localhost:389 -D cn=admin,dc=example,dc=com -w secret delete -r ou=old,dc=example,dc=com
)";

struct Synopsis {
    const char* name;
    Command command;
    size_t min_operands;
    size_t max_operands;  // SIZE_MAX: any number
    const char* form;
};

constexpr size_t kAny = static_cast<size_t>(-1);

const Synopsis kCommands[] = {
    {"search", Command::kSearch, 2, kAny, "search BASE SCOPE [FILTER [ATTR...]]"},
    {"read", Command::kRead, 1, kAny, "read DN [ATTR...]"},
    {"add", Command::kAdd, 1, 1, "add FILE.ldif"},
    {"modify", Command::kModify, 1, 1, "modify DN (changes on standard input)"},
    {"delete", Command::kDelete, 1, 1, "delete [-r] DN"},
    {"rename", Command::kRename, 2, 3, "rename DN NEWRDN [NEWSUPERIOR] [--keep-old-rdn]"},
    {"compare", Command::kCompare, 3, kAny, "compare DN ATTR VALUE..."},
    {"changed", Command::kChanged, 0, 0, "changed [--wait SECONDS]"},
};

// Options seen on the command line, before they are checked against the command.
struct RawOptions {
    std::optional<std::string> host, port, bind_dn, password, password_file, sort, wait;
    bool profile = false, help = false, version = false, recursive = false, keep_old_rdn = false;
    bool prompt_password = false;
    int starttls = -1;
    std::vector<std::string> operands;
};

int parse_number(const std::string& text, int low, int high, const char* what) {
    bool digits = !text.empty() && text.size() <= 9;
    for (char c : text)
        digits = digits && isdigit(static_cast<unsigned char>(c));
    int value = digits ? std::stoi(text) : -1;
    if (!digits || value < low || value > high)
        throw UsageError(std::string(what) + " must be a number from " + std::to_string(low) +
                         " to " + std::to_string(high) + ", not \"" + text + "\"");
    return value;
}

// Reads one option at argv[*i] (stepping over its value); false when it is not one of ours.
bool read_option(int argc, const char* const* argv, int* i, RawOptions& raw) {
    std::string arg = argv[*i];
    if (arg == "-Z" || arg == "-ZZ" || arg == "-W") {
        if (arg == "-W")
            raw.prompt_password = true;
        else
            raw.starttls = std::max(raw.starttls, static_cast<int>(arg.size()) - 1);
        return true;
    }
    std::string name = arg;
    std::optional<std::string> attached;
    if (arg.rfind("--", 0) == 0) {
        if (size_t eq = arg.find('='); eq != std::string::npos) {
            name = arg.substr(0, eq);
            attached = arg.substr(eq + 1);
        }
    } else if (arg.size() > 2) {
        name = arg.substr(0, 2);
        attached = arg.substr(2);
    }
    auto value = [&](std::optional<std::string>& slot) {
        if (attached) {
            slot = *attached;
        } else if (*i + 1 < argc) {
            slot = argv[++*i];
        } else {
            throw UsageError("option " + name + " needs a value");
        }
    };
    auto flag = [&](bool& slot) {
        if (attached) throw UsageError("option " + name + " takes no value");
        slot = true;
    };
    if (name == "-H" || name == "--host") {
        value(raw.host);
    } else if (name == "-p" || name == "--port") {
        value(raw.port);
    } else if (name == "-D" || name == "--bind-dn") {
        value(raw.bind_dn);
    } else if (name == "-w" || name == "--password") {
        value(raw.password);
    } else if (name == "-y" || name == "--password-file") {
        value(raw.password_file);
    } else if (name == "--sort") {
        value(raw.sort);
    } else if (name == "--wait") {
        value(raw.wait);
    } else if (name == "--profile") {
        flag(raw.profile);
    } else if (name == "-h" || name == "-?" || name == "--help") {
        flag(raw.help);
    } else if (name == "--version") {
        flag(raw.version);
    } else if (name == "-r" || name == "--recursive") {
        flag(raw.recursive);
    } else if (name == "--keep-old-rdn") {
        flag(raw.keep_old_rdn);
    } else {
        return false;
    }
    return true;
}

const Synopsis& find_command(const std::string& name) {
    for (const Synopsis& synopsis : kCommands)
        if (name == synopsis.name) return synopsis;
    throw UsageError("unknown command \"" + name +
                     "\" (search, read, add, modify, delete, rename, compare, changed)");
}

// Options that belong to one command only.
void check_command_options(const RawOptions& raw, Command command) {
    auto only = [&](bool given, const char* option, Command owner, const char* owner_name) {
        if (given && command != owner)
            throw UsageError(std::string("option ") + option + " belongs to the " + owner_name +
                             " command");
    };
    only(raw.sort.has_value(), "--sort", Command::kSearch, "search");
    only(raw.recursive, "-r", Command::kDelete, "delete");
    only(raw.keep_old_rdn, "--keep-old-rdn", Command::kRename, "rename");
    only(raw.wait.has_value(), "--wait", Command::kChanged, "changed");
}

// Names of attributes to return; "*", "+" and "1.1" are the protocol's own selectors.
std::vector<std::string> attribute_list(std::vector<std::string>::const_iterator begin,
                                        std::vector<std::string>::const_iterator end) {
    std::vector<std::string> names(begin, end);
    for (const std::string& name : names)
        if (name != "*" && name != "+" && !is_attribute_name(name))
            throw UsageError("invalid attribute name \"" + name + "\"");
    return names;
}

void fill_operands(Invocation& inv, const std::vector<std::string>& ops) {
    switch (inv.command) {
        case Command::kSearch:
            inv.dn = ops[0];
            inv.scope = parse_scope(ops[1]);
            if (ops.size() > 2) {
                if (ops[2].empty()) throw UsageError("empty search filter");
                inv.filter = ops[2];
            }
            inv.attributes =
                attribute_list(ops.begin() + std::min<size_t>(3, ops.size()), ops.end());
            break;
        case Command::kRead:
            inv.dn = ops[0];
            inv.attributes = attribute_list(ops.begin() + 1, ops.end());
            break;
        case Command::kAdd:
            inv.file = ops[0];
            break;
        case Command::kModify:
        case Command::kDelete:
            inv.dn = ops[0];
            break;
        case Command::kRename:
            inv.dn = ops[0];
            inv.new_rdn = ops[1];
            if (inv.new_rdn.find('=') == std::string::npos)
                throw UsageError("NEWRDN must read attribute=value, not \"" + inv.new_rdn + "\"");
            inv.has_new_superior = ops.size() > 2;
            if (inv.has_new_superior) inv.new_superior = ops[2];
            // An empty superior would leave the entry renamed where it was and the move failed.
            if (inv.has_new_superior && inv.new_superior.find('=') == std::string::npos)
                throw UsageError("NEWSUPERIOR must be a DN, not \"" + inv.new_superior + "\"");
            break;
        case Command::kCompare:
            inv.dn = ops[0];
            inv.attribute = ops[1];
            if (!is_attribute_name(inv.attribute))
                throw UsageError("invalid attribute name \"" + inv.attribute + "\"");
            inv.values.assign(ops.begin() + 2, ops.end());
            break;
        case Command::kChanged:
            break;
    }
}

}  // namespace

int parse_scope(const std::string& text) {
    const char* t = text.c_str();
    if (strcasecmp(t, "base") == 0 || text == "0") return 0;
    if (strcasecmp(t, "one") == 0 || strcasecmp(t, "onelevel") == 0 || text == "1") return 1;
    if (strcasecmp(t, "sub") == 0 || strcasecmp(t, "subtree") == 0 || text == "2") return 2;
    throw UsageError("unknown scope \"" + text + "\" (base, one or sub)");
}

const char* usage_text() {
    return kUsage;
}

Invocation parse_command_line(int argc, const char* const* argv, const char* env_host) {
    RawOptions raw;
    bool options_done = false;
    std::string unknown;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (!options_done && arg == "--") {
            options_done = true;
        } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
            if (!read_option(argc, argv, &i, raw) && unknown.empty()) unknown = arg;
        } else {
            raw.operands.push_back(arg);
        }
    }

    Invocation inv;
    inv.help = raw.help || (!raw.operands.empty() && raw.operands[0] == "help");
    inv.version = raw.version;
    if (inv.help || inv.version) return inv;
    if (!unknown.empty())
        throw UsageError("unknown option " + unknown +
                         " (write -- before operands that begin with '-')");
    if (raw.operands.empty()) throw UsageError("no command given");

    const Synopsis& synopsis = find_command(raw.operands[0]);
    inv.command = synopsis.command;
    std::vector<std::string> ops(raw.operands.begin() + 1, raw.operands.end());
    if (ops.size() < synopsis.min_operands || ops.size() > synopsis.max_operands)
        throw UsageError(std::string(ops.size() < synopsis.min_operands ? "missing" : "too many") +
                         " operands: " + synopsis.form);
    check_command_options(raw, inv.command);

    if (raw.host) {
        inv.host = *raw.host;
    } else if (env_host != nullptr && *env_host != '\0') {
        inv.host = env_host;
    } else {
        throw UsageError("no directory given: use -H HOST or set DIRTOOL_HOST");
    }
    if (inv.host.empty()) throw UsageError("empty host");
    if (raw.port) inv.port = parse_number(*raw.port, 1, 65535, "the port");
    bool has_password = raw.password || raw.password_file || raw.prompt_password;
    if (raw.password && raw.password_file) throw UsageError("give -w or -y, not both");
    if (raw.prompt_password && (raw.password || raw.password_file))
        throw UsageError("give -W alone, without -w or -y");
    if (raw.bind_dn.has_value() != has_password)
        throw UsageError(raw.bind_dn ? "-D needs -w PASSWORD or -y FILE" : "-w and -y need -D DN");
    inv.prompt_password = raw.prompt_password;
    inv.starttls = raw.starttls;
    inv.bind = raw.bind_dn.has_value();
    inv.bind_dn = raw.bind_dn.value_or("");
    inv.password = raw.password.value_or("");
    inv.password_file = raw.password_file.value_or("");
    inv.profile = raw.profile;

    fill_operands(inv, ops);
    if (raw.sort) {
        try {
            inv.sort = parse_sort_order(*raw.sort);
        } catch (const SortOrderError& e) {
            throw UsageError(e.what());
        }
    }
    inv.subtree = raw.recursive;
    inv.keep_old_rdn = raw.keep_old_rdn;
    if (raw.wait) inv.wait_seconds = parse_number(*raw.wait, 0, 86400, "--wait");
    return inv;
}

}  // namespace dirtool
