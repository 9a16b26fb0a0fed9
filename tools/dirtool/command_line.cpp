#include "command_line.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <optional>

#include "ldif_reader.h"

namespace dirtool {
namespace {

using Text = std::optional<std::string>;

// Options seen on the command line, before they are checked against the command.
struct RawOptions {
    Text host, port, bind_dn, password, password_file, protocol, sort, wait, base, scope,
        size_limit, time_limit, file, match, page, extension;
    bool profile = false, help = false, version = false, recursive = false, keep_old_rdn = false,
         simple = false, verbose = false, attrs_only = false, keep_going = false, dry_run = false,
         add_new = false, prompt_password = false;
    int ldif_level = 0;  // how many -L
    int starttls = 0;    // how many -Z
    std::vector<std::string> operands;
};

// One option: its letter and long name (either may be absent) and the field it fills.
// New options are one line of kOptions.
struct OptionRule {
    char letter = '\0';
    const char* name = nullptr;  // without the leading "--"
    Text RawOptions::*value = nullptr;
    bool RawOptions::*flag = nullptr;
    int RawOptions::*count = nullptr;
};

constexpr OptionRule named(char letter, const char* name) {
    OptionRule rule;
    rule.letter = letter;
    rule.name = name;
    return rule;
}

constexpr OptionRule valued(char letter, const char* name, Text RawOptions::*field) {
    OptionRule rule = named(letter, name);
    rule.value = field;
    return rule;
}

constexpr OptionRule flag(char letter, const char* name, bool RawOptions::*field) {
    OptionRule rule = named(letter, name);
    rule.flag = field;
    return rule;
}

constexpr OptionRule counted(char letter, int RawOptions::*field) {
    OptionRule rule = named(letter, nullptr);
    rule.count = field;
    return rule;
}

const OptionRule kOptions[] = {
    valued('H', "host", &RawOptions::host),
    valued('p', "port", &RawOptions::port),
    valued('D', "bind-dn", &RawOptions::bind_dn),
    valued('w', "password", &RawOptions::password),
    valued('y', "password-file", &RawOptions::password_file),
    flag('W', "prompt-password", &RawOptions::prompt_password),
    counted('Z', &RawOptions::starttls),
    flag('x', "simple", &RawOptions::simple),
    valued('P', "protocol", &RawOptions::protocol),
    flag('v', "verbose", &RawOptions::verbose),
    flag('\0', "profile", &RawOptions::profile),
    flag('h', "help", &RawOptions::help),
    flag('?', nullptr, &RawOptions::help),
    flag('\0', "version", &RawOptions::version),
    // search
    valued('b', "base", &RawOptions::base),
    valued('s', "scope", &RawOptions::scope),
    counted('L', &RawOptions::ldif_level),
    valued('z', "size-limit", &RawOptions::size_limit),
    valued('l', "time-limit", &RawOptions::time_limit),
    flag('A', "attributes-only", &RawOptions::attrs_only),
    valued('S', "sort", &RawOptions::sort),
    valued('\0', "page", &RawOptions::page),
    valued('E', nullptr, &RawOptions::extension),
    // changes
    valued('f', "file", &RawOptions::file),
    flag('c', "continue", &RawOptions::keep_going),
    flag('a', "add-new", &RawOptions::add_new),  // records without changetype are adds anyway
    flag('n', "dry-run", &RawOptions::dry_run),
    flag('r', "recursive", &RawOptions::recursive),
    flag('\0', "keep-old-rdn", &RawOptions::keep_old_rdn),
    valued('\0', "wait", &RawOptions::wait),
    valued('\0', "match", &RawOptions::match),
};

const OptionRule* find_letter(char letter) {
    for (const OptionRule& rule : kOptions)
        if (rule.letter == letter) return &rule;
    return nullptr;
}

const OptionRule* find_name(const std::string& name) {
    for (const OptionRule& rule : kOptions)
        if (rule.name != nullptr && name == rule.name) return &rule;
    return nullptr;
}

struct Synopsis {
    const char* name;
    Command command;
    size_t min_operands;
    size_t max_operands;
    const char* form;
};

constexpr size_t kAny = static_cast<size_t>(-1);

const Synopsis kCommands[] = {
    {"search", Command::kSearch, 2, kAny, "search BASE SCOPE [FILTER [ATTR...]]"},
    {"read", Command::kRead, 1, kAny, "read DN [ATTR...]"},
    {"add", Command::kAdd, 1, 1, "add FILE.ldif"},
    {"apply", Command::kApply, 1, 1, "apply FILE.ldif"},
    {"modify", Command::kModify, 1, 1, "modify DN (changes on standard input)"},
    {"delete", Command::kDelete, 1, 1, "delete [-r] DN"},
    {"rename", Command::kRename, 2, 3, "rename DN NEWRDN [NEWSUPERIOR] [--keep-old-rdn]"},
    {"compare", Command::kCompare, 3, kAny, "compare DN ATTR VALUE..."},
    {"changed", Command::kChanged, 0, 0, "changed [--wait SECONDS]"},
};

// The forms whose operands an option takes over.
const Synopsis kSearchWithBase = {"search", Command::kSearch, 0, kAny,
                                  "search -b BASE [-s SCOPE] [FILTER [ATTR...]]"};
const Synopsis kAddFromFile = {"add", Command::kAdd, 0, 0, "add -f FILE.ldif"};
const Synopsis kApplyFromFile = {"apply", Command::kApply, 0, 0, "apply -f FILE.ldif"};

const Synopsis* find_command(const std::string& name) {
    for (const Synopsis& synopsis : kCommands)
        if (name == synopsis.name) return &synopsis;
    return nullptr;
}

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

// Reads the command line into raw; the first unknown option goes to *unknown.
class OptionReader {
  public:
    OptionReader(int argc, const char* const* argv) : argc_(argc), argv_(argv) {}

    RawOptions read(std::string* unknown) {
        RawOptions raw;
        bool options_done = false;
        for (i_ = 1; i_ < argc_; ++i_) {
            std::string arg = argv_[i_];
            if (!options_done && arg == "--") {
                options_done = true;
            } else if (options_done || arg.size() < 2 || arg[0] != '-') {
                raw.operands.push_back(arg);
            } else if (arg[1] == '-') {
                long_option(arg, raw, unknown);
            } else {
                short_options(arg, raw, unknown);
            }
        }
        return raw;
    }

  private:
    void long_option(const std::string& arg, RawOptions& raw, std::string* unknown) {
        size_t eq = arg.find('=');
        std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        const OptionRule* rule = find_name(name);
        if (rule == nullptr) {
            if (unknown->empty()) *unknown = arg.substr(0, eq);
            return;
        }
        std::string shown = "--" + name;
        if (rule->value != nullptr) {
            raw.*(rule->value) = eq != std::string::npos ? arg.substr(eq + 1) : next_value(shown);
        } else if (eq != std::string::npos) {
            throw UsageError("option " + shown + " takes no value");
        } else {
            set(*rule, raw);
        }
    }

    // "-xLLL", "-Hhost", "-b base": letters in a row, the first one with a value ending it.
    void short_options(const std::string& arg, RawOptions& raw, std::string* unknown) {
        for (size_t pos = 1; pos < arg.size(); ++pos) {
            const OptionRule* rule = find_letter(arg[pos]);
            if (rule == nullptr) {
                if (unknown->empty()) *unknown = std::string("-") + arg[pos];
                return;
            }
            if (rule->value != nullptr) {
                std::string shown = std::string("-") + arg[pos];
                raw.*(rule->value) = pos + 1 < arg.size() ? arg.substr(pos + 1) : next_value(shown);
                return;
            }
            set(*rule, raw);
        }
    }

    static void set(const OptionRule& rule, RawOptions& raw) {
        if (rule.flag != nullptr) raw.*(rule.flag) = true;
        if (rule.count != nullptr) ++(raw.*(rule.count));
    }

    std::string next_value(const std::string& shown) {
        if (i_ + 1 >= argc_) throw UsageError("option " + shown + " needs a value");
        return argv_[++i_];
    }

    int argc_;
    const char* const* argv_;
    int i_ = 1;
};

constexpr unsigned bit(Command command) {
    return 1u << static_cast<unsigned>(command);
}

constexpr unsigned kChanges = bit(Command::kAdd) | bit(Command::kApply) | bit(Command::kModify) |
                              bit(Command::kDelete) | bit(Command::kRename);

constexpr int kMaxPage = 1000000;

// "-E [!]pr=N[/prompt|/noprompt]": the paged-results extension, the only one taken; pages
// are always fetched without prompting.
int parse_paging_extension(std::string text) {
    if (!text.empty() && text[0] == '!') text.erase(0, 1);
    if (text.rfind("pr=", 0) != 0)
        throw UsageError("unsupported search extension -E " + text + " (only pr=N)");
    text.erase(0, 3);
    if (size_t slash = text.find('/'); slash != std::string::npos) {
        std::string mode = text.substr(slash + 1);
        if (mode != "noprompt" && mode != "prompt")
            throw UsageError("-E pr=N takes /noprompt or /prompt, not /" + mode);
        text.erase(slash);
    }
    return parse_number(text, 1, kMaxPage, "the page size of -E pr=N");
}

// Options that belong to some commands only.
void check_command_options(const RawOptions& raw, Command command) {
    struct {
        bool given;
        const char* option;
        unsigned owners;
        const char* owner_names;
    } const rules[] = {
        {raw.sort.has_value(), "--sort", bit(Command::kSearch), "the search command"},
        {raw.base.has_value(), "-b", bit(Command::kSearch), "the search command"},
        {raw.scope.has_value(), "-s", bit(Command::kSearch), "the search command"},
        {raw.ldif_level > 0, "-L", bit(Command::kSearch), "the search command"},
        {raw.size_limit.has_value(), "-z", bit(Command::kSearch), "the search command"},
        {raw.time_limit.has_value(), "-l", bit(Command::kSearch), "the search command"},
        {raw.attrs_only, "-A", bit(Command::kSearch), "the search command"},
        {raw.page.has_value(), "--page", bit(Command::kSearch), "the search command"},
        {raw.extension.has_value(), "-E", bit(Command::kSearch), "the search command"},
        {raw.file.has_value(), "-f",
         bit(Command::kSearch) | bit(Command::kAdd) | bit(Command::kApply) | bit(Command::kModify),
         "search, add, apply and modify"},
        {raw.keep_going, "-c", bit(Command::kAdd) | bit(Command::kApply), "add and apply"},
        {raw.add_new, "-a", bit(Command::kAdd) | bit(Command::kApply), "add and apply"},
        {raw.dry_run, "-n", kChanges | bit(Command::kSearch),
         "search, add, apply, modify, delete and rename"},
        {raw.recursive, "-r", bit(Command::kDelete), "the delete command"},
        {raw.keep_old_rdn, "--keep-old-rdn", bit(Command::kRename), "the rename command"},
        {raw.wait.has_value(), "--wait", bit(Command::kChanged), "the changed command"},
    };
    for (const auto& rule : rules)
        if (rule.given && (rule.owners & bit(command)) == 0)
            throw UsageError(std::string("option ") + rule.option + " belongs to " +
                             rule.owner_names);
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

void set_filter(Invocation& inv, const std::string& filter) {
    if (filter.empty()) throw UsageError("empty search filter");
    inv.filter = filter;
}

// FILTER [ATTR...] from first on.
void fill_search_tail(Invocation& inv, const std::vector<std::string>& ops, size_t first) {
    if (ops.size() > first) set_filter(inv, ops[first]);
    inv.attributes = attribute_list(ops.begin() + std::min(first + 1, ops.size()), ops.end());
}

void fill_rename(Invocation& inv, const std::vector<std::string>& ops) {
    inv.dn = ops[0];
    inv.new_rdn = ops[1];
    if (inv.new_rdn.find('=') == std::string::npos)
        throw UsageError("NEWRDN must read attribute=value, not \"" + inv.new_rdn + "\"");
    inv.has_new_superior = ops.size() > 2;
    if (inv.has_new_superior) inv.new_superior = ops[2];
    // An empty superior would leave the entry renamed where it was and the move failed.
    if (inv.has_new_superior && inv.new_superior.find('=') == std::string::npos)
        throw UsageError("NEWSUPERIOR must be a DN, not \"" + inv.new_superior + "\"");
}

void fill_operands(Invocation& inv, const RawOptions& raw, const std::vector<std::string>& ops) {
    switch (inv.command) {
        case Command::kSearch:
            if (raw.base) {
                inv.dn = *raw.base;
                fill_search_tail(inv, ops, 0);
            } else {
                inv.dn = ops[0];
                inv.scope = parse_scope(ops[1]);
                fill_search_tail(inv, ops, 2);
            }
            break;
        case Command::kRead:
            inv.dn = ops[0];
            inv.attributes = attribute_list(ops.begin() + 1, ops.end());
            break;
        case Command::kAdd:
        case Command::kApply:
            inv.file = raw.file ? *raw.file : ops[0];
            break;
        case Command::kModify:
        case Command::kDelete:
            inv.dn = ops[0];
            break;
        case Command::kRename:
            fill_rename(inv, ops);
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

// The command and the form its operands take; the command word is dropped from ops.
const Synopsis& choose_command(RawOptions& raw, std::vector<std::string>& ops) {
    const Synopsis* named = ops.empty() ? nullptr : find_command(ops[0]);
    if (named != nullptr) {
        ops.erase(ops.begin());
    } else if (!raw.base && !raw.file) {
        if (ops.empty()) throw UsageError("no command given");
        throw UsageError("unknown command \"" + ops[0] +
                         "\" (search, read, add, apply, modify, delete, rename, compare, "
                         "changed; or -b BASE to search, -f FILE to apply changes)");
    }
    Command command = named != nullptr ? named->command
                      : raw.base       ? Command::kSearch
                                       : Command::kApply;
    // "modify -f FILE" is a whole file of changes, as other tools read it.
    if (command == Command::kModify && raw.file) command = Command::kApply;
    if (command == Command::kSearch && raw.base) return kSearchWithBase;
    if (command == Command::kSearch && raw.scope)
        throw UsageError("-s SCOPE goes with -b BASE (or write: search BASE SCOPE ...)");
    if (command == Command::kAdd && raw.file) return kAddFromFile;
    if (command == Command::kApply && raw.file) return kApplyFromFile;
    return *named;
}

void fill_connection(Invocation& inv, const RawOptions& raw, const char* env_host) {
    if (raw.host) {
        inv.host = *raw.host;
    } else if (env_host != nullptr && *env_host != '\0') {
        inv.host = env_host;
    } else {
        throw UsageError("no directory given: use -H HOST or set DIRTOOL_HOST");
    }
    if (inv.host.empty()) throw UsageError("empty host");
    if (raw.port) inv.port = parse_number(*raw.port, 1, 65535, "the port");
    if (raw.protocol && *raw.protocol != "3")
        throw UsageError("only LDAP version 3 is spoken, not -P " + *raw.protocol);
    bool has_password = raw.password || raw.password_file || raw.prompt_password;
    if (raw.password && raw.password_file) throw UsageError("give -w or -y, not both");
    if (raw.prompt_password && (raw.password || raw.password_file))
        throw UsageError("give -W alone, without -w or -y");
    if (raw.bind_dn.has_value() != has_password)
        throw UsageError(raw.bind_dn ? "-D needs -w PASSWORD, -W or -y FILE"
                                     : "-w, -W and -y need -D DN");
    inv.prompt_password = raw.prompt_password;
    inv.starttls = raw.starttls > 0 ? std::min(raw.starttls, 2) : -1;  // -ZZ and more: demand
    inv.bind = raw.bind_dn.has_value();
    inv.bind_dn = raw.bind_dn.value_or("");
    inv.password = raw.password.value_or("");
    inv.password_file = raw.password_file.value_or("");
    inv.profile = raw.profile;
    inv.verbose = raw.verbose;
    if (raw.match) {
        if (strcasecmp(raw.match->c_str(), "ldap") == 0) {
            inv.match = Matching::kLdap;
        } else if (strcasecmp(raw.match->c_str(), "default") == 0) {
            inv.match = Matching::kDefault;
        } else {
            throw UsageError("--match must be \"default\" or \"ldap\", not \"" + *raw.match + "\"");
        }
    }
}

void fill_search_options(Invocation& inv, const RawOptions& raw) {
    if (raw.scope) inv.scope = parse_scope(*raw.scope);
    if (raw.ldif_level > 3) throw UsageError("-L may be given at most three times (-LLL)");
    inv.ldif_level = raw.ldif_level == 3 ? 0 : raw.ldif_level;
    if (raw.size_limit) inv.size_limit = parse_number(*raw.size_limit, 0, 1 << 30, "-z");
    if (raw.time_limit) inv.time_limit = parse_number(*raw.time_limit, 0, 86400, "-l");
    inv.attrs_only = raw.attrs_only;
    if (raw.page) inv.page_size = parse_number(*raw.page, 1, kMaxPage, "--page");
    if (raw.extension) inv.page_size = parse_paging_extension(*raw.extension);
    if (inv.command == Command::kSearch && raw.file) inv.filter_file = *raw.file;
    if (raw.sort) {
        try {
            inv.sort = parse_sort_order(*raw.sort);
        } catch (const SortOrderError& e) {
            throw UsageError(e.what());
        }
    }
}

}  // namespace

int parse_scope(const std::string& text) {
    const char* t = text.c_str();
    if (strcasecmp(t, "base") == 0 || text == "0") return 0;
    if (strcasecmp(t, "one") == 0 || strcasecmp(t, "onelevel") == 0 || text == "1") return 1;
    if (strcasecmp(t, "sub") == 0 || strcasecmp(t, "subtree") == 0 || text == "2") return 2;
    if (strcasecmp(t, "children") == 0) return kScopeChildren;
    throw UsageError("unknown scope \"" + text + "\" (base, one, sub or children)");
}

Invocation parse_command_line(int argc, const char* const* argv, const char* env_host) {
    std::string unknown;
    RawOptions raw = OptionReader(argc, argv).read(&unknown);

    Invocation inv;
    inv.help = raw.help || (!raw.operands.empty() && raw.operands[0] == "help");
    inv.version = raw.version;
    if (inv.help || inv.version) return inv;
    if (!unknown.empty()) {
        // "-5" is more likely a value than an option.
        bool value_like = unknown.size() > 1 && isdigit(static_cast<unsigned char>(unknown[1]));
        throw UsageError("unknown option " + unknown +
                         (value_like ? " (write -- before operands that begin with '-')"
                                     : " (dirtool --help lists the options)"));
    }

    std::vector<std::string> ops = raw.operands;
    const Synopsis& synopsis = choose_command(raw, ops);
    inv.command = synopsis.command;
    if (ops.size() < synopsis.min_operands || ops.size() > synopsis.max_operands)
        throw UsageError(std::string(ops.size() < synopsis.min_operands ? "missing" : "too many") +
                         " operands: " + synopsis.form);
    check_command_options(raw, inv.command);
    fill_connection(inv, raw, env_host);
    if (raw.file && raw.file->empty()) throw UsageError("-f needs a file name, not \"\"");
    fill_operands(inv, raw, ops);
    if ((inv.command == Command::kAdd || inv.command == Command::kApply) && inv.file.empty())
        throw UsageError("empty file name");
    fill_search_options(inv, raw);
    inv.keep_going = raw.keep_going;
    inv.dry_run = raw.dry_run;
    inv.subtree = raw.recursive;
    inv.keep_old_rdn = raw.keep_old_rdn;
    if (raw.wait) inv.wait_seconds = parse_number(*raw.wait, 0, 86400, "--wait");
    return inv;
}

}  // namespace dirtool
