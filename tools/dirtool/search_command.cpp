#include "search_command.h"

#include <ldap.h>
#include <strings.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include <dirclient/dconnection.h>
#include <dirclient/dn_normalize.h>
#include <dirclient/ldap_result_codes.h>
#include <dirclient/object_memory.h>
#include "command_io.h"
#include "error_report.h"
#include "ldif_stream.h"
#include "profiling.h"
#include "sort_order.h"

namespace dirtool {
namespace {

constexpr const char* kNoSuchObject = "ERROR: no such object";  // an empty LDAP answer

const char* scope_name(int scope) {
    static const char* const kNames[] = {"baseObject", "oneLevel", "subtree", "children"};
    return scope >= 0 && scope <= kScopeChildren ? kNames[scope] : "?";
}

std::string normalized(const std::string& dn) {
    char* normal = dn_normalize(dn.c_str());
    std::string text = normal != nullptr ? normal : "";
    check_free(normal);
    return text;
}

// The filters to search for: the one of the command line, or one per line of the filter
// file, put in place of "%s" when the command line's filter holds it.
bool filters_of(const Invocation& inv, std::vector<std::string>& filters) {
    if (inv.filter_file.empty()) {
        filters.push_back(inv.filter);
        return true;
    }
    std::string text;
    if (!read_all(inv.filter_file, text)) {
        message("cannot read " + source_name(inv.filter_file) + ": " + strerror(errno));
        return false;
    }
    size_t hole = inv.filter.find("%s");
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        start = end + 1;
        if (line.empty()) continue;
        filters.push_back(
            hole == std::string::npos ? line : std::string(inv.filter).replace(hole, 2, line));
    }
    if (filters.empty()) message(source_name(inv.filter_file) + " holds no filters");
    return !filters.empty();
}

// The entries of one search on standard output: the base left out of a "children"
// search, and at most the size limit of them, which a flat file does not apply itself.
class Printer {
  public:
    explicit Printer(const Invocation& inv)
        : out_(stdout, inv.attrs_only, inv.ldif_level == 1),
          base_(inv.scope == kScopeChildren ? normalized(inv.dn) : ""),
          limit_(inv.size_limit) {}

    // Prints the entry (still the caller's); false when no more are wanted.
    bool offer(DEntry* entry) {
        if (!base_.empty() && entry->getDN() != nullptr &&
            strcasecmp(normalized(entry->getDN()).c_str(), base_.c_str()) == 0)
            return true;
        if (limit_ > 0 && out_.count() == limit_) {
            cut_ = true;
            return false;
        }
        return out_.put(entry);  // false: nobody reads any more
    }
    void finish() { out_.flush(); }
    long count() const { return out_.count(); }
    // Whether entries past the size limit were left out.
    bool cut() const { return cut_; }

  private:
    LdifStream out_;
    std::string base_;
    long limit_;
    bool cut_ = false;
};

class Search {
  public:
    Search(DConnection& connection, const Invocation& inv) : c_(connection), inv_(inv) {
        DS_LDAP* handle = c_.getConnection();
        flat_file_ = handle != nullptr && handle->kind == QDX_LDAP_FLAT_FILE;
    }

    int run() {
        std::vector<std::string> filters;
        if (!filters_of(inv_, filters)) return kExitUsage;
        if (flat_file_ && inv_.time_limit > 0)
            message("note: -l has no effect on a flat file, which is searched in memory");
        if (inv_.ldif_level > 0) write_out("version: 1\n\n");
        int status = kExitOk;
        for (const std::string& filter : filters) {
            int one = search(filter);
            if (status == kExitOk) status = one;
        }
        return status;
    }

  private:
    int search(const std::string& filter) {
        if (inv_.verbose || inv_.dry_run)
            message(std::string(inv_.dry_run ? "would search " : "searching ") + inv_.dn + " (" +
                    scope_name(inv_.scope) + ") for " + filter + ", requesting " + requested());
        if (inv_.dry_run) return kExitOk;
        if (inv_.ldif_level == 1)
            write_out("#\n# LDAPv3\n# base <" + inv_.dn + "> with scope " + scope_name(inv_.scope) +
                      "\n# filter: " + filter + "\n# requesting: " + requested() + "\n#\n\n");
        Printer printer(inv_);
        int status = inv_.sort.empty() ? streamed(filter, printer) : sorted(filter, printer);
        if (status != kExitOk && status != LDAP_SIZELIMIT_EXCEEDED &&
            status != LDAP_TIMELIMIT_EXCEEDED)
            return status;
        long entries = printer.count();
        if (inv_.ldif_level == 1) write_out("# numEntries: " + std::to_string(entries) + "\n\n");
        if (entries == 0) message("no entries found");
        if (status != kExitOk)
            message(std::string(status == LDAP_SIZELIMIT_EXCEEDED ? "size" : "time") +
                    " limit exceeded (LDAP result " + std::to_string(status) +
                    "): " + std::to_string(entries) + " entries received" +
                    (status == LDAP_SIZELIMIT_EXCEEDED && !flat_file_ && inv_.page_size == 0
                         ? "; --page N reads past a server's limit where it allows"
                         : ""));
        return status;
    }

    // Entries printed as they arrive, so that memory stays flat in the size of the answer.
    int streamed(const std::string& filter, Printer& printer) {
        Activity activity("operation");
        DList* attributes = name_list();
        SearchConstraints limits(inv_.time_limit, inv_.size_limit);
        DException* e = nullptr;
        DConnection::SearchOutcome outcome = c_.searchEach(
            inv_.dn.c_str(), library_scope(), filter.c_str(), attributes,
            inv_.attrs_only && !flat_file_, constraints(limits), inv_.page_size,
            [&](DEntry* entry) {
                bool more = printer.offer(entry);
                c_.deleteObject(entry);
                return more;
            },
            &e);
        printer.finish();
        c_.deleteObject(attributes);
        if (e != nullptr) return failed(e);
        return printer.cut() ? LDAP_SIZELIMIT_EXCEEDED : outcome.ldapCode;
    }

    // --sort needs the whole answer before the first line.
    int sorted(const std::string& filter, Printer& printer) {
        SearchResults* results = nullptr;
        int code = 0;
        {
            Activity activity("operation");
            DList* attributes = name_list();
            SearchConstraints limits(inv_.time_limit, inv_.size_limit);
            DException* e = nullptr;
            results = c_.searchPartial(inv_.dn.c_str(), library_scope(), filter.c_str(), attributes,
                                       inv_.attrs_only && !flat_file_, constraints(limits),
                                       inv_.page_size, &code, &e);
            c_.deleteObject(attributes);
            if (e != nullptr) {
                c_.deleteObject(results);
                return failed(e);
            }
        }
        if (results == nullptr) return code;
        std::unique_ptr<CompareAttrNames> order(make_comparator(inv_.sort));
        results->sort(order.get());
        print(results, printer);
        {
            Activity activity("operation");  // releasing server values is an LDAP call
            c_.deleteObject(results);
        }
        return printer.cut() ? LDAP_SIZELIMIT_EXCEEDED : code;
    }

    // The limits of the command line for the server; none (the connection's own) without
    // them. A flat file is searched whole and cut by the printer.
    SearchConstraints* constraints(SearchConstraints& limits) const {
        bool given = inv_.size_limit != 0 || inv_.time_limit != 0;
        return given && !flat_file_ ? &limits : nullptr;
    }

    // Reports a failed search (and releases e); its exit status. A flat file answers a
    // search that matches nothing with LDAP result 32, as it does for a base that does not
    // exist; the base tells them apart.
    int failed(DException* e) {
        bool empty_answer =
            e->getLdapErrorCode() == LDAP_NO_SUCH_OBJECT && flat_file_ && flat_file_base_exists();
        if (empty_answer) {
            c_.deleteObject(e);
            return kExitOk;
        }
        message("cannot search " + inv_.dn + ": " + describe_exception(*e));
        int status = failure_status(*e);
        c_.deleteObject(e);
        return status;
    }

    std::string requested() const {
        std::string text;
        for (const std::string& name : inv_.attributes)
            text += (text.empty() ? "" : " ") + name;
        return text.empty() ? "ALL" : text;
    }

    int library_scope() const { return inv_.scope == kScopeChildren ? 2 : inv_.scope; }

    DList* name_list() {
        if (inv_.attributes.empty()) return nullptr;
        DList* list = c_.newDList();
        for (const std::string& name : inv_.attributes)
            list->append(const_cast<char*>(name.c_str()), DLIST_STRING, true);
        return list;
    }

    bool flat_file_base_exists() {
        if (normalized(inv_.dn).empty()) return true;
        DException* e = nullptr;
        DEntry* base = c_.read(inv_.dn.c_str(), &e);
        c_.deleteObject(e);
        c_.deleteObject(base);
        return base != nullptr;
    }

    // Hands the entries of a whole answer to the printer, and says what failed in parts.
    static void print(SearchResults* results, Printer& printer) {
        Activity activity("ldif_output");
        for (DElement* element = results->getFirstElement(); element != nullptr;
             element = results->getNextElement()) {
            if (element->getType() == DELEMENT_EXCEPTION) {
                auto* e = static_cast<DException*>(element);
                if (strcmp(e->getInfoSMsg(), kNoSuchObject) != 0)
                    message("part of the search failed: " + describe_exception(*e));
            } else if (element->getType() == DELEMENT_ENTRY &&
                       !printer.offer(static_cast<DEntry*>(element))) {
                break;
            }
        }
        printer.finish();
    }

    DConnection& c_;
    const Invocation& inv_;
    bool flat_file_ = false;
};

}  // namespace

int run_search(DConnection& connection, const Invocation& inv) {
    return Search(connection, inv).run();
}

}  // namespace dirtool
