#include "search_command.h"

#include <ldap.h>
#include <strings.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "command_io.h"
#include "dconnection.h"
#include "dn_normalize.h"
#include "error_report.h"
#include "ldap_handle_calls.h"
#include "ldap_result_codes.h"
#include "ldif_writer.h"
#include "object_memory.h"
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
        SearchResults* results = nullptr;
        int status = kExitOk;
        {
            Activity activity("operation");
            status = flat_file_ || (inv_.size_limit == 0 && inv_.time_limit == 0)
                         ? whole_answer(filter, &results)
                         : limited_answer(filter, &results);
        }
        if (results == nullptr) return status;
        if (!inv_.sort.empty()) {
            std::unique_ptr<CompareAttrNames> order(make_comparator(inv_.sort));
            results->sort(order.get());
        }
        int entries = print(results, &status);
        {
            Activity activity("operation");  // releasing server values is an LDAP call
            c_.deleteObject(results);
        }
        if (inv_.ldif_level == 1) write_out("# numEntries: " + std::to_string(entries) + "\n\n");
        if (entries == 0) message("no entries found");
        if (status == LDAP_SIZELIMIT_EXCEEDED) message("size limit exceeded");
        if (status == LDAP_TIMELIMIT_EXCEEDED) message("time limit exceeded");
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

    // Through the connection, which hands out whole answers only.
    int whole_answer(const std::string& filter, SearchResults** results) {
        DList* attributes = name_list();
        DException* e = nullptr;
        *results = c_.search(inv_.dn.c_str(), library_scope(), filter.c_str(), attributes,
                             inv_.attrs_only && !flat_file_, &e);
        c_.deleteObject(attributes);
        if (e == nullptr) return kExitOk;
        int code = e->getLdapErrorCode();
        if (!flat_file_ && (code == LDAP_SIZELIMIT_EXCEEDED || code == LDAP_TIMELIMIT_EXCEEDED)) {
            // The server's own limit: ask again where the entries it sends are kept.
            c_.deleteObject(e);
            return limited_answer(filter, results);
        }
        // A flat file answers a search that matches nothing with LDAP result 32, as it does
        // for a base that does not exist; the base tells them apart.
        bool empty_answer =
            e->getLdapErrorCode() == LDAP_NO_SUCH_OBJECT && flat_file_ && flat_file_base_exists();
        if (empty_answer) {
            c_.deleteObject(e);
            *results = new SearchResults();
            return kExitOk;
        }
        message("cannot search " + inv_.dn + ": " + describe_exception(*e));
        int status = failure_status(*e);
        c_.deleteObject(e);
        return status;
    }

    // On the server's session, so that the entries sent before a limit ran out are kept.
    int limited_answer(const std::string& filter, SearchResults** results) {
        DList* attributes = name_list();
        DException* e = nullptr;
        SearchConstraints limits(inv_.time_limit, inv_.size_limit);
        SearchPar* par = c_.prepareSearchRequest(inv_.dn.c_str(), library_scope(), filter.c_str(),
                                                 attributes, inv_.attrs_only, &limits, &e);
        int rc = 0;
        LDAPMessage* answer = nullptr;
        if (par != nullptr) {
            rc = qdx_ldap_search_s(c_.getConnection(), inv_.dn.c_str(), par->scope, filter.c_str(),
                                   par->attrs, inv_.attrs_only ? 1 : 0, &answer);
            c_.freeSearchPar(par);
        }
        c_.deleteObject(attributes);
        if (e != nullptr) {
            message("cannot search " + inv_.dn + ": " + describe_exception(*e));
            int status = failure_status(*e);
            c_.deleteObject(e);
            return status;
        }
        if (rc != 0 && rc != LDAP_SIZELIMIT_EXCEEDED && rc != LDAP_TIMELIMIT_EXCEEDED) {
            qdx_ldap_msgfree(answer);
            message("cannot search " + inv_.dn + ": LDAP result " + std::to_string(rc) + ", " +
                    qdx_ldap_err2string(rc));
            return status_of_code(rc);
        }
        *results = answer != nullptr ? c_.getSearchResult(answer) : new SearchResults();
        return rc;
    }

    bool flat_file_base_exists() {
        if (normalized(inv_.dn).empty()) return true;
        DException* e = nullptr;
        DEntry* base = c_.read(inv_.dn.c_str(), &e);
        c_.deleteObject(e);
        c_.deleteObject(base);
        return base != nullptr;
    }

    // Prints the entries (the first size_limit of them); the count printed.
    int print(SearchResults* results, int* status) {
        Activity activity("ldif_output");
        std::string base = inv_.scope == kScopeChildren ? normalized(inv_.dn) : "";
        int entries = 0;
        std::string text;
        for (DElement* element = results->getFirstElement(); element != nullptr;
             element = results->getNextElement()) {
            if (element->getType() == DELEMENT_EXCEPTION) {
                auto* e = static_cast<DException*>(element);
                if (strcmp(e->getInfoSMsg(), kNoSuchObject) != 0)
                    message("part of the search failed: " + describe_exception(*e));
                continue;
            }
            if (element->getType() != DELEMENT_ENTRY) continue;
            auto* entry = static_cast<DEntry*>(element);
            std::string dn = entry->getDN() != nullptr ? entry->getDN() : "";
            if (!base.empty() && strcasecmp(normalized(dn).c_str(), base.c_str()) == 0) continue;
            if (inv_.size_limit > 0 && entries == inv_.size_limit) {
                *status = LDAP_SIZELIMIT_EXCEEDED;  // a flat file has no limit of its own
                break;
            }
            if (inv_.ldif_level == 1) text += "# " + dn + "\n";
            if (inv_.attrs_only) {
                append_entry_names_ldif(text, entry);
            } else {
                append_entry_ldif(text, entry);
            }
            ++entries;
            if (text.size() >= 1 << 16) {
                write_out(text);
                text.clear();
                if (ferror(stdout)) break;  // nobody reads any more
            }
        }
        write_out(text);
        return entries;
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
