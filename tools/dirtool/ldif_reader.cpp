// LDIF records, RFC 2849, read with the runtime's line codec (ldif_codec.h).
#include "ldif_reader.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>
#include <unordered_map>

#include <dirclient/dn_normalize.h>
#include <dirclient/ldif_codec.h>
#include <dirclient/modification.h>
#include <dirclient/object_memory.h>

namespace dirtool {
namespace {

// The line codec counts value lengths in an int.
constexpr off_t kMaxValueBytes = INT_MAX;

bool iequals(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

// A line as it may be quoted in a message: at most 40 characters, control bytes as '?'.
std::string quoted(std::string_view text) {
    std::string out;
    for (char c : text.substr(0, 40))
        out += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    if (text.size() > 40) out += "...";
    return "\"" + out + "\"";
}

// A DN or RDN as written after "dn:", "newrdn:" or "newsuperior:": blanks at the end are
// typing accidents unless escaped.
std::string dn_text(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t') &&
           !(text.size() >= 2 && text[text.size() - 2] == '\\'))
        text.pop_back();
    return text;
}

int line_of_offset(const std::string& text, size_t offset, int first_line) {
    return first_line + static_cast<int>(std::count(text.begin(), text.begin() + offset, '\n'));
}

// Logical lines of LDIF text grouped into records, with physical line numbers.
class LineSource {
  public:
    LineSource(const std::string& text, int first_line)
        : text_(without_blank_content(text)), line_(first_line) {
        next_ = text_.data();
    }

    // Steps over blank lines (white space only counts as blank here); false at the end.
    bool at_record() {
        while (next_ != nullptr && *next_ == '\n') {
            ++next_;
            ++line_;
        }
        return next_ != nullptr && *next_ != '\0';
    }

    // The next logical line of the current record without its CR, comments skipped; null
    // at the record's end.
    char* next_line() {
        for (;;) {
            int count = 1;
            char* line = ldif_getline(&next_, &count);
            if (line == nullptr) return nullptr;
            current_ = line_;
            line_ += count;
            size_t n = strlen(line);
            if (n > 0 && line[n - 1] == '\r') line[n - 1] = '\0';
            if (line[0] != '#') return line;
        }
    }

    int current() const { return current_; }

  private:
    // Lines of nothing but blanks become empty: written by hand between records they are
    // meant as separators, and the codec never writes such a continuation line.
    static std::string without_blank_content(const std::string& text) {
        std::string out;
        out.reserve(text.size());
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string_view line(text.data() + start, end - start);
            if (line.find_first_not_of(" \t\r") != std::string_view::npos) out.append(line);
            if (end < text.size()) out += '\n';
            start = end + 1;
        }
        return out;
    }

    std::string text_;  // writable copy: the codec works in place
    char* next_;
    int line_;
    int current_ = 0;
};

struct Field {
    std::string type;
    std::string value;
};

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percent_decoded(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        int high = i + 2 < text.size() && text[i] == '%' ? hex_digit(text[i + 1]) : -1;
        int low = high >= 0 ? hex_digit(text[i + 2]) : -1;
        if (low >= 0) {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The bytes a "name:< URL" line refers to; only local files are read.
std::string read_url(std::string_view url, int line) {
    constexpr std::string_view kScheme = "file://";
    if (url.size() < kScheme.size() || !iequals(url.substr(0, kScheme.size()), kScheme))
        throw LdifError(line, "only file:// URLs can give a value, not " + quoted(url));
    std::string path = percent_decoded(url.substr(kScheme.size()));
    if (path.rfind("localhost/", 0) == 0) path.erase(0, strlen("localhost"));
    // Only regular files: a device such as /dev/zero would never end.
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        throw LdifError(line, "cannot read " + path + ": " + strerror(errno));
    if (!S_ISREG(st.st_mode)) throw LdifError(line, path + " is not a regular file");
    if (st.st_size > kMaxValueBytes) throw LdifError(line, path + " is too large for a value");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw LdifError(line, "cannot read " + path + ": " + strerror(errno));
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad() || bytes.size() > static_cast<size_t>(kMaxValueBytes))
        throw LdifError(line, "cannot read " + path + ": " + strerror(errno));
    return bytes;
}

Field split_field(char* line, int number) {
    char* colon = strchr(line, ':');
    if (colon == nullptr) {
        if (strcmp(line, "-") == 0)
            throw LdifError(number,
                            "\"-\" belongs between the changes of a changetype: modify record");
        throw LdifError(number, "expected \"name: value\", found " + quoted(line));
    }
    Field field;
    if (colon[1] == '<') {
        field.type = std::string(trim(std::string_view(line, static_cast<size_t>(colon - line))));
        field.value = read_url(trim(colon + 2), number);
    } else {
        char* type = nullptr;
        char* value = nullptr;
        int length = 0;
        if (str_parse_line(line, &type, &value, &length) != 0)
            throw LdifError(number, "invalid base64 value");
        field.type = type;
        field.value.assign(value, static_cast<size_t>(length));
    }
    if (field.type.empty()) throw LdifError(number, "missing attribute name before ':'");
    if (!iequals(field.type, "dn") && !is_attribute_name(field.type))
        throw LdifError(number, "invalid attribute name " + quoted(field.type));
    return field;
}

bool op_of(std::string_view type, int* op) {
    if (iequals(type, "add")) {
        *op = MOD_OP_ADD;
    } else if (iequals(type, "delete")) {
        *op = MOD_OP_DELETE;
    } else if (iequals(type, "replace")) {
        *op = MOD_OP_REPLACE;
    } else if (iequals(type, "increment")) {
        *op = kModIncrement;
    } else {
        return false;
    }
    return true;
}

// An "increment:" value: an optional sign and decimal digits.
bool is_integer(std::string_view text) {
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) text.remove_prefix(1);
    return !text.empty() && text.size() <= 18 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void check_values(const LdifModification& modification, int line) {
    const std::string& name = modification.attribute;
    if (modification.op == MOD_OP_ADD && modification.values.empty())
        throw LdifError(line, "add: " + name + " needs at least one value (delete: " + name +
                                  " removes the attribute)");
    if (modification.op == kModIncrement &&
        (modification.values.size() != 1 || !is_integer(modification.values[0])))
        throw LdifError(line, "increment: " + name + " needs exactly one value, a whole number");
}

class Parser {
  public:
    Parser(const std::string& text, int first_line) : source_(text, first_line) {}

    std::vector<LdifRecord> all() {
        std::vector<LdifRecord> records;
        LdifRecord record;
        while (next_record(record)) {
            records.push_back(std::move(record));
            record = LdifRecord();
        }
        return records;
    }

  private:
    bool next_record(LdifRecord& record) {
        while (source_.at_record()) {
            char* line = source_.next_line();
            if (line == nullptr) continue;  // a block of comments only
            Field field = split_field(line, source_.current());
            if (version_allowed_ && iequals(field.type, "version")) {
                if (std::string(trim(field.value)) != "1")
                    throw LdifError(source_.current(),
                                    "unsupported LDIF version " + quoted(field.value));
                version_allowed_ = false;
                line = source_.next_line();
                if (line == nullptr) continue;
                field = split_field(line, source_.current());
            }
            version_allowed_ = false;
            if (iequals(field.type, "search")) {
                skip_search_trailer();
                continue;
            }
            if (!iequals(field.type, "dn"))
                throw LdifError(source_.current(), "expected \"dn:\" to begin a record, found " +
                                                       quoted(field.type + ":"));
            if (field.value.find('\0') != std::string::npos)
                throw LdifError(source_.current(), "the DN holds a NUL byte");
            record.line = source_.current();
            record.dn = dn_text(std::move(field.value));
            body(record);
            return true;
        }
        return false;
    }

    // The "search: N", "result: 0 Success" lines (with text:, matchedDN:, ref: or control:)
    // that end a search listing: a report, not an entry.
    void skip_search_trailer() {
        while (char* line = source_.next_line()) {
            Field field = split_field(line, source_.current());
            bool known = false;
            for (const char* type : {"result", "text", "matchedDN", "ref", "control", "search"})
                known = known || iequals(field.type, type);
            if (!known)
                throw LdifError(source_.current(), "unexpected " + quoted(field.type + ":") +
                                                       " in the result lines of a search");
        }
    }

    void body(LdifRecord& record) {
        char* line = source_.next_line();
        if (line == nullptr)
            throw LdifError(record.line, "entry " + quoted(record.dn) + " has no attributes");
        Field field = split_field(line, source_.current());
        if (iequals(field.type, "control"))
            throw LdifError(source_.current(), "controls in change records are not supported");
        if (!iequals(field.type, "changetype")) {
            attributes(record, &field);
            return;
        }
        std::string type(trim(field.value));
        if (iequals(type, "add")) {
            record.change = ChangeType::kAdd;
            attributes(record);
        } else if (iequals(type, "delete")) {
            record.change = ChangeType::kDelete;
            if (source_.next_line() != nullptr)
                throw LdifError(source_.current(),
                                "a changetype: delete record has no other lines");
        } else if (iequals(type, "modify")) {
            record.change = ChangeType::kModify;
            modifications(record);
        } else if (iequals(type, "modrdn") || iequals(type, "moddn")) {
            record.change = ChangeType::kModRdn;
            modrdn(record);
        } else {
            throw LdifError(source_.current(), "unknown changetype " + quoted(type) +
                                                   " (add, delete, modify, modrdn or moddn)");
        }
    }

    // Where each attribute of a record stands, by name folded to lower case, so that a
    // record with very many attributes reads in linear time.
    using Positions = std::unordered_map<std::string, std::size_t>;

    void add_value(LdifRecord& record, Field field, Positions& positions) {
        if (iequals(field.type, "dn"))
            throw LdifError(source_.current(),
                            "a second \"dn:\" line: records are separated by an empty line");
        if (iequals(field.type, "changetype"))
            throw LdifError(source_.current(),
                            "\"changetype:\" must come right after the \"dn:\" line");
        std::string key = field.type;
        std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
        });
        auto [at, added] = positions.emplace(std::move(key), record.attributes.size());
        if (!added) {
            record.attributes[at->second].values.push_back(std::move(field.value));
            return;
        }
        record.attributes.push_back({std::move(field.type), {std::move(field.value)}});
    }

    // The attribute lines of a record; first, when given, is its first one, already read.
    void attributes(LdifRecord& record, Field* first = nullptr) {
        Positions positions;
        if (first != nullptr) add_value(record, std::move(*first), positions);
        while (char* line = source_.next_line())
            add_value(record, split_field(line, source_.current()), positions);
        if (record.attributes.empty())
            throw LdifError(record.line, "entry " + quoted(record.dn) + " has no attributes");
    }

    void modifications(LdifRecord& record) {
        LdifModification* open = nullptr;
        int open_line = 0;
        auto close = [&] {
            check_values(*open, open_line);
            open = nullptr;
        };
        while (char* line = source_.next_line()) {
            if (strcmp(line, "-") == 0) {
                if (open == nullptr)
                    throw LdifError(
                        source_.current(),
                        "\"-\" without add:, delete:, replace: or increment: before it");
                close();
                continue;
            }
            Field field = split_field(line, source_.current());
            if (open != nullptr) {
                if (!iequals(field.type, open->attribute))
                    throw LdifError(source_.current(),
                                    "expected a value of " + quoted(open->attribute) +
                                        " or \"-\", found " + quoted(field.type + ":"));
                open->values.push_back(std::move(field.value));
                continue;
            }
            int op = 0;
            if (!op_of(field.type, &op))
                throw LdifError(source_.current(),
                                "expected add:, delete:, replace: or increment:, found " +
                                    quoted(field.type + ":"));
            std::string name(trim(field.value));
            if (!is_attribute_name(name))
                throw LdifError(source_.current(), "invalid attribute name " + quoted(name));
            record.modifications.push_back({op, std::move(name), {}});
            open = &record.modifications.back();
            open_line = source_.current();
        }
        if (open != nullptr) close();  // the last "-" may be left out
        if (record.modifications.empty())
            throw LdifError(record.line, "changetype: modify record without changes");
    }

    void modrdn(LdifRecord& record) {
        bool has_rdn = false;
        bool has_delete = false;
        while (char* line = source_.next_line()) {
            Field field = split_field(line, source_.current());
            bool repeated = false;
            if (iequals(field.type, "newrdn")) {
                repeated = has_rdn;
                has_rdn = true;
                record.new_rdn = dn_text(std::move(field.value));
            } else if (iequals(field.type, "deleteoldrdn")) {
                repeated = has_delete;
                has_delete = true;
                std::string flag(trim(field.value));
                if (flag != "0" && flag != "1")
                    throw LdifError(source_.current(), "deleteoldrdn must be 0 or 1");
                record.delete_old_rdn = flag == "1";
            } else if (iequals(field.type, "newsuperior")) {
                repeated = record.has_new_superior;
                record.has_new_superior = true;
                record.new_superior = dn_text(std::move(field.value));
            } else {
                throw LdifError(source_.current(), "unexpected " + quoted(field.type + ":") +
                                                       " in a changetype: modrdn record");
            }
            if (repeated)
                throw LdifError(source_.current(), quoted(field.type + ":") + " given twice");
        }
        if (!has_rdn) throw LdifError(record.line, "changetype: modrdn record without newrdn:");
        if (!has_delete)
            throw LdifError(record.line, "changetype: modrdn record without deleteoldrdn:");
    }

    LineSource source_;
    bool version_allowed_ = true;
};

std::vector<LdifRecord> parse_from(const std::string& text, int first_line) {
    size_t nul = text.find('\0');
    if (nul != std::string::npos)
        throw LdifError(line_of_offset(text, nul, first_line), "NUL byte in LDIF text");
    return Parser(text, first_line).all();
}

// The type of the first line that is neither blank nor a comment, "" when there is none.
std::string first_type(const std::string& text) {
    LineSource source(text, 1);
    while (source.at_record()) {
        if (char* line = source.next_line()) {
            char* colon = strchr(line, ':');
            return std::string(trim(
                std::string_view(line, colon ? static_cast<size_t>(colon - line) : strlen(line))));
        }
    }
    return "";
}

bool same_dn(const std::string& a, const std::string& b) {
    char* na = dn_normalize(a.c_str());
    char* nb = dn_normalize(b.c_str());
    bool same = na != nullptr && nb != nullptr && strcasecmp(na, nb) == 0;
    check_free(na);
    check_free(nb);
    return same;
}

}  // namespace

bool is_attribute_name(const std::string& name) {
    std::string_view base(name);
    std::string_view options;
    if (size_t semi = base.find(';'); semi != std::string_view::npos) {
        options = base.substr(semi);
        base = base.substr(0, semi);
    }
    if (base.empty()) return false;
    auto word = [](unsigned char c) { return isalnum(c) || c == '-' || c == '_'; };
    if (isdigit(static_cast<unsigned char>(base[0]))) {
        for (unsigned char c : base)
            if (!isdigit(c) && c != '.') return false;
    } else {
        if (!isalpha(static_cast<unsigned char>(base[0]))) return false;
        for (unsigned char c : base)
            if (!word(c)) return false;
    }
    for (size_t i = 0; i < options.size(); ++i) {
        if (options[i] == ';') {
            if (i + 1 == options.size() || options[i + 1] == ';') return false;
        } else if (!word(static_cast<unsigned char>(options[i]))) {
            return false;
        }
    }
    return true;
}

std::vector<LdifRecord> parse_ldif(const std::string& text) {
    return parse_from(text, 1);
}

std::vector<LdifModification> parse_modify_input(const std::string& text, const std::string& dn) {
    std::string type = first_type(text);
    if (type.empty()) throw LdifError(0, "no changes given");
    std::vector<LdifRecord> records;
    if (iequals(type, "dn") || iequals(type, "version")) {
        records = parse_from(text, 1);
    } else {
        char* dn_line = ldif_type_and_value("dn", dn.data(), static_cast<int>(dn.size()));
        if (dn_line == nullptr) throw std::bad_alloc();
        std::string header = std::string(dn_line) + "changetype: modify\n";
        free(dn_line);
        // Blank lines before the first change would end the record the header begins.
        size_t skipped = 0;
        int skipped_lines = 0;
        for (size_t end; (end = text.find('\n', skipped)) != std::string::npos; skipped = end + 1) {
            if (text.find_first_not_of(" \t\r", skipped) < end) break;
            ++skipped_lines;
        }
        int header_lines = static_cast<int>(std::count(header.begin(), header.end(), '\n'));
        records = parse_from(header + text.substr(skipped), 1 + skipped_lines - header_lines);
    }
    if (records.empty()) throw LdifError(0, "no changes given");
    if (records.size() > 1)
        throw LdifError(records[1].line, "changes for one entry only: a second record begins here");
    LdifRecord& record = records.front();
    if (record.change != ChangeType::kModify)
        throw LdifError(record.line, "expected a \"changetype: modify\" record");
    if (!same_dn(record.dn, dn))
        throw LdifError(record.line,
                        "the changes are for " + quoted(record.dn) + ", not " + quoted(dn));
    return std::move(record.modifications);
}

}  // namespace dirtool
