#include "commands.h"

#include <ldap.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include <dirclient/dconnection.h>
#include <dirclient/ldap_result_codes.h>
#include "change_file.h"
#include "command_io.h"
#include "ldif_reader.h"
#include "ldif_writer.h"
#include "profiling.h"
#include "search_command.h"

namespace dirtool {
namespace {

constexpr const char* kMonitorDn = "cn=monitor";
constexpr const char* kModsCompleted = "modsCompleted";

class Runner {
  public:
    Runner(DConnection& connection, const Invocation& inv) : c_(connection), inv_(inv) {}

    int run() {
        switch (inv_.command) {
            case Command::kSearch:
                return run_search(c_, inv_);
            case Command::kRead:
                return read();
            case Command::kAdd:
                return apply_file(true);
            case Command::kApply:
                return apply_file(false);
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
    int fail(const std::string& what, DException* e) {
        message("cannot " + what + ": " + describe_exception(*e));
        int status = failure_status(*e);
        c_.deleteObject(e);
        return status;
    }

    int handle_kind() {
        DS_LDAP* handle = c_.getConnection();
        return handle != nullptr ? handle->kind : 0;
    }

    ChangeApplier applier(const std::string& source) {
        ApplyOptions options;
        options.source = source;
        options.keep_going = inv_.keep_going;
        options.dry_run = inv_.dry_run;
        options.verbose = inv_.verbose;
        return ChangeApplier(c_, options);
    }

    // The records of the file named on the command line; false (with *status) when it
    // cannot be read or holds a fault.
    bool read_records(std::vector<LdifRecord>& records, int* status) {
        Activity activity("ldif_input");
        std::string source = source_name(inv_.file);
        std::string text;
        *status = kExitUsage;
        if (!read_all(inv_.file, text)) {
            message("cannot read " + source + ": " + strerror(errno));
            return false;
        }
        try {
            records = parse_ldif(text);
        } catch (const LdifError& e) {
            message(where(source, e.line()) + ": " + e.what());
            return false;
        }
        return true;
    }

    // add (entries only) and apply (change records of every kind) of the file named.
    int apply_file(bool entries_only) {
        std::vector<LdifRecord> records;
        int status = kExitOk;
        if (!read_records(records, &status)) return status;
        std::string source = source_name(inv_.file);
        if (records.empty()) {
            message(source + (entries_only ? " holds no entries" : " holds no changes"));
            return kExitUsage;
        }
        for (const LdifRecord& record : records) {
            if (entries_only && record.change != ChangeType::kNone &&
                record.change != ChangeType::kAdd) {
                message(where(source, record.line) +
                        ": add takes entries (or changetype: add records), not other changes "
                        "(dirtool apply FILE applies them)");
                return kExitUsage;
            }
        }
        Activity activity("operation");
        return applier(source).apply_all(records);
    }

    int modify() {
        LdifRecord record;
        record.dn = inv_.dn;
        record.change = ChangeType::kModify;
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
                record.modifications = parse_modify_input(text, inv_.dn);
            } catch (const LdifError& e) {
                message(where("standard input", e.line()) + ": " + e.what());
                return kExitUsage;
            }
        }
        Activity activity("operation");
        return applier("standard input").apply(record);
    }

    int remove() {
        Activity activity("operation");
        if (inv_.subtree) return applier("").remove_tree(inv_.dn);
        LdifRecord record;
        record.dn = inv_.dn;
        record.change = ChangeType::kDelete;
        return applier("").apply(record);
    }

    int rename() {
        Activity activity("operation");
        LdifRecord record;
        record.dn = inv_.dn;
        record.change = ChangeType::kModRdn;
        record.new_rdn = inv_.new_rdn;
        record.delete_old_rdn = !inv_.keep_old_rdn;
        record.has_new_superior = inv_.has_new_superior;
        record.new_superior = inv_.new_superior;
        return applier("").apply(record);
    }

    int read() {
        DEntry* entry = nullptr;
        {
            Activity activity("operation");
            DList* attributes = nullptr;
            if (!inv_.attributes.empty()) {
                attributes = c_.newDList();
                for (const std::string& name : inv_.attributes)
                    attributes->append(const_cast<char*>(name.c_str()), DLIST_STRING, true);
            }
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

    // Whether the server publishes the count of completed modifications that change
    // detection reads; a server that does not would always look unchanged.
    bool count_published() {
        DList* names = c_.newDList();
        names->append(const_cast<char*>(kModsCompleted), DLIST_STRING, true);
        DException* e = nullptr;
        DEntry* monitor = c_.read(kMonitorDn, names, &e);
        c_.deleteObject(names);
        c_.deleteObject(e);
        bool published = monitor != nullptr && monitor->getAttribute(kModsCompleted) != nullptr;
        c_.deleteObject(monitor);
        return published;
    }

    int changed() {
        Activity activity("operation");
        int kind = handle_kind();
        if (kind == QDX_LDAP_PLAIN)
            message(
                "note: only server lists (LDAP://... or DNS:...) report changes; a plain host "
                "never does");
        if (kind == QDX_LDAP_SERVER_LIST && !count_published()) {
            message(std::string("the count of completed modifications is not available: the "
                                "server publishes no ") +
                    kModsCompleted + " in " + kMonitorDn + " (or does not let this user read it)");
            return kExitFailed;
        }
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
            return status_of_code(result);
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
