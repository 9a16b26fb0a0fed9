#include "commands.h"

#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <unordered_map>

#include "bulk_progress.h"
#include "dconnection.h"
#include "dn_normalize.h"
#include "error_report.h"
#include "ldap_result_codes.h"
#include "ldif_reader.h"
#include "ldif_stream.h"
#include "ldif_writer.h"
#include "model_build.h"
#include "object_memory.h"
#include "profiling.h"
#include "request_window.h"
#include "sort_order.h"

namespace dirtool {
namespace {

constexpr const char* kNoSuchObject = "ERROR: no such object";  // an empty LDAP answer

void message(const std::string& text) {
    fprintf(stderr, "dirtool: %s\n", text.c_str());
}

void write_out(const std::string& text) {
    fwrite(text.data(), 1, text.size(), stdout);
}

// The whole content of path ("-": standard input); false with errno set when unreadable.
bool read_all(const std::string& path, std::string& text) {
    FILE* in = path == "-" ? stdin : fopen(path.c_str(), "rb");
    if (in == nullptr) return false;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, in)) > 0)
        text.append(buffer, n);
    bool ok = !ferror(in);
    int saved = errno;
    if (in != stdin) fclose(in);
    errno = saved;
    return ok;
}

std::string normalized(const std::string& dn) {
    char* text = dn_normalize_case(dn.c_str());
    std::string copy = text != nullptr ? text : dn;
    check_free(text);
    return copy;
}

// The DN's parent as written ("" for a single RDN).
std::string parent_of(const std::string& dn) {
    for (size_t i = 0; i < dn.size(); ++i) {
        if (dn[i] == '\\')
            ++i;
        else if (dn[i] == ',')
            return dn.substr(i + 1);
    }
    return "";
}

std::string where(const std::string& source, int line) {
    return line > 0 ? source + ":" + std::to_string(line) : source;
}

// The DN a rename gives the entry: the new RDN, then the new superior or the old parent.
std::string renamed_dn(const Invocation& inv) {
    if (inv.has_new_superior) return inv.new_rdn + "," + inv.new_superior;
    std::string parent = parent_of(inv.dn);
    return parent.empty() ? inv.new_rdn : inv.new_rdn + "," + parent;
}

class Runner {
  public:
    Runner(DConnection& connection, const Invocation& inv) : c_(connection), inv_(inv) {}

    int run() {
        switch (inv_.command) {
            case Command::kSearch:
                return search();
            case Command::kRead:
                return read();
            case Command::kAdd:
                return add();
            case Command::kModify:
                return modify();
            case Command::kDelete:
                return remove();
            case Command::kRename:
                return rename();
            case Command::kCompare:
                return compare();
            case Command::kChanged:
                return changed();
        }
        return kExitUsage;
    }

  private:
    // Reports e (and releases it); the status of a failed operation.
    int fail(const std::string& what, DException* e, const std::string& hint = "") {
        message("cannot " + what + ": " + describe_exception(*e) + hint);
        c_.deleteObject(e);
        return kExitFailed;
    }

    int handle_kind() {
        DS_LDAP* handle = c_.getConnection();
        return handle != nullptr ? handle->kind : 0;
    }

    bool flat_file() { return handle_kind() == QDX_LDAP_FLAT_FILE; }

    // A list of the names for search and read, null for all attributes.
    DList* name_list(const std::vector<std::string>& names) {
        if (names.empty()) return nullptr;
        DList* list = c_.newDList();
        for (const std::string& name : names)
            list->append(const_cast<char*>(name.c_str()), DLIST_STRING, true);
        return list;
    }

    // A flat file answers a search that matches nothing with LDAP result 32, as it does for
    // a base that does not exist; the base tells them apart.
    bool flat_file_base_exists() {
        char* normal = dn_normalize(inv_.dn.c_str());
        bool root = normal == nullptr || *normal == '\0';
        c_.freeString(normal);
        if (root) return true;
        DException* e = nullptr;
        DEntry* base = c_.read(inv_.dn.c_str(), &e);
        c_.deleteObject(e);
        c_.deleteObject(base);
        return base != nullptr;
    }

    int search() {
        if (!inv_.sort.empty()) return sorted_search();
        Activity activity("operation");
        DList* attributes = name_list(inv_.attributes);
        DException* e = nullptr;
        LdifStream out(stdout);
        DConnection::SearchOutcome outcome = c_.searchEach(
            inv_.dn.c_str(), inv_.scope, inv_.filter.c_str(), attributes, false, nullptr,
            inv_.page_size,
            [&](DEntry* entry) {
                bool more = out.put(entry);
                c_.deleteObject(entry);
                return more;
            },
            &e);
        out.flush();
        c_.deleteObject(attributes);
        if (e != nullptr && !empty_answer(e)) return fail("search " + inv_.dn, e);
        c_.deleteObject(e);
        return search_status(out.count(), outcome.ldapCode);
    }

    // --sort needs the whole answer before the first line.
    int sorted_search() {
        SearchResults* results = nullptr;
        int code = 0;
        {
            Activity activity("operation");
            DList* attributes = name_list(inv_.attributes);
            DException* e = nullptr;
            results = c_.searchPartial(inv_.dn.c_str(), inv_.scope, inv_.filter.c_str(), attributes,
                                       false, nullptr, inv_.page_size, &code, &e);
            c_.deleteObject(attributes);
            if (e != nullptr && !empty_answer(e)) return fail("search " + inv_.dn, e);
            c_.deleteObject(e);
        }
        int entries = 0;
        if (results != nullptr) {
            std::unique_ptr<CompareAttrNames> order(make_comparator(inv_.sort));
            results->sort(order.get());
            entries = print_results(results);
        }
        {
            Activity activity("operation");  // releasing server values is an LDAP call
            c_.deleteObject(results);
        }
        return search_status(entries, code);
    }

    // A flat file's "no such object" for a base that exists is an empty answer.
    bool empty_answer(DException* e) {
        return e->getLdapErrorCode() == 32 && flat_file() && flat_file_base_exists();
    }

    int search_status(long entries, int code) {
        if (entries == 0) message("no entries found");
        if (code != LDAP_SIZELIMIT_EXCEEDED && code != LDAP_TIMELIMIT_EXCEEDED) return kExitOk;
        message(std::string(code == LDAP_SIZELIMIT_EXCEEDED ? "size" : "time") +
                " limit exceeded (LDAP result " + std::to_string(code) +
                "): " + std::to_string(entries) + " entries received" +
                (code == LDAP_SIZELIMIT_EXCEEDED && inv_.page_size == 0
                     ? "; --page N reads past a server's limit where it allows"
                     : ""));
        return code == LDAP_SIZELIMIT_EXCEEDED ? kExitSizeLimit : kExitTimeLimit;
    }

    int print_results(SearchResults* results) {
        Activity activity("ldif_output");
        int entries = 0;
        std::string text;
        for (DElement* element = results->getFirstElement(); element != nullptr;
             element = results->getNextElement()) {
            if (element->getType() == DELEMENT_ENTRY) {
                append_entry_ldif(text, static_cast<DEntry*>(element));
                ++entries;
                if (text.size() >= 1 << 16) {
                    write_out(text);
                    text.clear();
                    if (ferror(stdout)) break;  // nobody reads any more
                }
            } else if (element->getType() == DELEMENT_EXCEPTION) {
                auto* e = static_cast<DException*>(element);
                if (strcmp(e->getInfoSMsg(), kNoSuchObject) != 0)
                    message("part of the search failed: " + describe_exception(*e));
            }
        }
        write_out(text);
        return entries;
    }

    int read() {
        DEntry* entry = nullptr;
        {
            Activity activity("operation");
            DList* attributes = name_list(inv_.attributes);
            DException* e = nullptr;
            entry = c_.read(inv_.dn.c_str(), attributes, &e);
            c_.deleteObject(attributes);
            if (e != nullptr) return fail("read " + inv_.dn, e);
        }
        if (entry == nullptr) {
            message("cannot read " + inv_.dn + ": no entry");
            return kExitFailed;
        }
        {
            Activity activity("ldif_output");
            std::string text;
            append_entry_ldif(text, entry);
            write_out(text);
        }
        Activity activity("operation");
        c_.deleteObject(entry);
        return kExitOk;
    }

    int add() {
        std::vector<LdifRecord> records;
        std::string source = inv_.file == "-" ? "standard input" : inv_.file;
        {
            Activity activity("ldif_input");
            std::string text;
            if (!read_all(inv_.file, text)) {
                message("cannot read " + source + ": " + strerror(errno));
                return kExitUsage;
            }
            try {
                records = parse_ldif(text);
            } catch (const LdifError& e) {
                message(where(source, e.line()) + ": " + e.what());
                return kExitUsage;
            }
        }
        if (records.empty()) {
            message(source + " holds no entries");
            return kExitUsage;
        }
        for (const LdifRecord& record : records) {
            if (record.change != ChangeType::kNone && record.change != ChangeType::kAdd) {
                message(where(source, record.line) +
                        ": add takes entries (or changetype: add records), not other changes");
                return kExitUsage;
            }
        }
        return add_records(records, source);
    }

    // The adds go through a window of requests; an entry whose parent is still in flight
    // waits for it, since the server may work on several requests at once.
    int add_records(const std::vector<LdifRecord>& records, const std::string& source) {
        Activity activity("operation");
        BulkProgress progress("added", static_cast<long>(records.size()));
        RequestWindow window(c_);
        std::unordered_map<std::string, size_t> index;  // normalized DN -> record
        window.onSuccess(
            [&](const std::string& dn) { printf("added %s\n", records[index[dn]].dn.c_str()); });
        for (size_t i = 0; i < records.size(); ++i) {
            const std::string dn = normalized(records[i].dn);
            index[dn] = i;  // a DN given twice fails at its second record
            DEntry* entry = make_entry(records[i]);
            bool sent = window.submit(
                dn, [&](DException** out) { return c_.add_asyn(entry, out); },
                normalized(parent_of(records[i].dn)));
            c_.deleteObject(entry);
            if (!sent) break;
            progress.update(window.done());
        }
        window.drain();
        progress.update(window.done());
        if (DException* e = window.takeFailure()) {
            const LdifRecord& record = records[index[window.failedLabel()]];
            int status = fail("add " + record.dn + " (" + where(source, record.line) + ")", e);
            message("added " + std::to_string(window.done()) + " of " +
                    std::to_string(records.size()) + " entries");
            return status;
        }
        return kExitOk;
    }

    int modify() {
        std::vector<LdifModification> changes;
        {
            Activity activity("ldif_input");
            if (isatty(STDIN_FILENO))
                fprintf(stderr, "dirtool: type the changes for %s, then Ctrl-D\n", inv_.dn.c_str());
            std::string text;
            if (!read_all("-", text)) {
                message(std::string("cannot read standard input: ") + strerror(errno));
                return kExitUsage;
            }
            try {
                changes = parse_modify_input(text, inv_.dn);
            } catch (const LdifError& e) {
                message(where("standard input", e.line()) + ": " + e.what());
                return kExitUsage;
            }
        }
        Activity activity("operation");
        std::unique_ptr<ModificationSet> set(make_modification_set(changes));
        DException* e = nullptr;
        c_.modify(inv_.dn.c_str(), set.get(), &e);
        if (e != nullptr) return fail("modify " + inv_.dn, e);
        printf("modified %s\n", inv_.dn.c_str());
        return kExitOk;
    }

    int remove() {
        Activity activity("operation");
        DException* e = nullptr;
        if (inv_.subtree) {
            BulkProgress progress("deleted", 0);
            long removed = 0;
            std::string failed;
            c_.removeTree(
                inv_.dn.c_str(), [&](long done) { progress.update(done); }, &removed, &failed, &e);
            if (e != nullptr)
                return fail("delete " + (failed.empty() ? inv_.dn : failed), e,
                            " (" + std::to_string(removed) + " entries deleted before)");
        } else {
            c_.remove(inv_.dn.c_str(), &e);
        }
        if (e != nullptr) {
            bool has_children = !inv_.subtree && e->getLdapErrorCode() == 66;
            return fail(
                "delete " + inv_.dn, e,
                has_children ? " (the entry has children: delete -r removes them too)" : "");
        }
        printf("deleted %s%s\n", inv_.dn.c_str(), inv_.subtree ? " and everything below it" : "");
        return kExitOk;
    }

    int rename() {
        Activity activity("operation");
        DException* e = nullptr;
        c_.rename(inv_.dn.c_str(), inv_.new_rdn.c_str(),
                  inv_.has_new_superior ? inv_.new_superior.c_str() : nullptr, !inv_.keep_old_rdn,
                  &e);
        if (e != nullptr) return fail("rename " + inv_.dn, e);
        printf("renamed %s to %s\n", inv_.dn.c_str(), renamed_dn(inv_).c_str());
        return kExitOk;
    }

    int compare() {
        Activity activity("operation");
        Attribute* attribute = c_.newAttribute(inv_.attribute.c_str());
        for (const std::string& value : inv_.values)
            attribute->addValue(value.c_str());
        DException* e = nullptr;
        bool holds = c_.compare(inv_.dn.c_str(), attribute, &e);
        c_.deleteObject(attribute);
        if (e != nullptr) return fail("compare " + inv_.dn, e);
        printf("%s\n", holds ? "true" : "false");
        return holds ? kExitOk : kExitFalse;
    }

    int changed() {
        Activity activity("operation");
        int kind = handle_kind();
        if (kind == QDX_LDAP_PLAIN)
            message(
                "note: only server lists (LDAP://... or DNS:...) report changes; a plain host "
                "never does");
        int result = c_.isChanged();
        if (inv_.wait_seconds > 0 && (result == 0 || result == 1)) {
            // The first reading only sets the starting point.
            auto deadline =
                std::chrono::steady_clock::now() + std::chrono::seconds(inv_.wait_seconds);
            result = 0;
            while (result == 0 && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(250));
                result = c_.isChanged();
            }
        }
        if (result != 0 && result != 1) {
            message("cannot read the modification count: LDAP result " + std::to_string(result) +
                    ", " + qdx_ldap_err2string(result));
            return kExitFailed;
        }
        printf("%s\n", result == 1 ? "changed" : "unchanged");
        if (kind == QDX_LDAP_SERVER_LIST) printf("modifications completed: %d\n", c_.getModCount());
        return result == 1 ? kExitOk : kExitFalse;
    }

    DConnection& c_;
    const Invocation& inv_;
};

}  // namespace

int run_command(DConnection& connection, const Invocation& inv) {
    return Runner(connection, inv).run();
}

}  // namespace dirtool
