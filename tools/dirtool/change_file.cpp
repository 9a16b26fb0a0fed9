#include "change_file.h"

#include <ldap.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unordered_map>

#include <dirclient/dconnection.h>
#include <dirclient/dn_normalize.h>
#include <dirclient/object_memory.h>
#include <dirclient/request_window.h>
#include "bulk_progress.h"
#include "error_report.h"
#include "model_build.h"

namespace dirtool {
namespace {

const char* op_name(int op) {
    switch (op) {
        case MOD_OP_ADD:
            return "add";
        case MOD_OP_DELETE:
            return "delete";
        case MOD_OP_REPLACE:
            return "replace";
        default:
            return "increment";
    }
}

// "replace: mail, add: telephoneNumber": what a modify record does, for -n and -v.
std::string summary(const std::vector<LdifModification>& modifications) {
    std::string text;
    for (const LdifModification& m : modifications)
        text += (text.empty() ? "" : ", ") + std::string(op_name(m.op)) + ": " + m.attribute;
    return text;
}

// The text of every value of the entry's attribute (none when it has no such attribute).
std::vector<std::string> values_of(DEntry* entry, const std::string& name) {
    std::vector<std::string> values;
    Attribute* attribute = entry != nullptr ? entry->getAttribute(name.c_str()) : nullptr;
    DList* list = attribute != nullptr ? attribute->getValues() : nullptr;
    for (DListItem* item = list != nullptr ? list->getHead() : nullptr; item != nullptr;
         item = item->getNextItem()) {
        char* text = item->stringValue();
        if (text != nullptr) values.emplace_back(text);
        check_free(text);
    }
    return values;
}

bool needs_entry(const std::vector<LdifModification>& modifications) {
    for (const LdifModification& m : modifications)
        if (m.op == kModIncrement || (m.op == MOD_OP_REPLACE && m.values.empty())) return true;
    return false;
}

// Whether the record adds an entry.
bool is_add(const LdifRecord& record) {
    return record.change == ChangeType::kNone || record.change == ChangeType::kAdd;
}

// The end of the run of adds that starts at begin.
size_t end_of_adds(const std::vector<LdifRecord>& records, size_t begin) {
    size_t end = begin;
    while (end < records.size() && is_add(records[end]))
        ++end;
    return end;
}

// The DN as requests in flight are told apart: normalised, case folded.
std::string dn_key(const std::string& dn) {
    char* text = dn_normalize_case(dn.c_str());
    std::string key = text != nullptr ? text : dn;
    check_free(text);
    return key;
}

struct EntryDeleter {
    DConnection* c;
    void operator()(DEntry* entry) const { c->deleteObject(entry); }
};

}  // namespace

std::string parent_dn(const std::string& dn) {
    for (size_t i = 0; i < dn.size(); ++i) {
        if (dn[i] == '\\') {
            ++i;
        } else if (dn[i] == ',') {
            return dn.substr(i + 1);
        }
    }
    return "";
}

std::string renamed_dn(const std::string& dn, const std::string& new_rdn,
                       const std::string* new_superior) {
    if (new_superior != nullptr) return new_rdn + "," + *new_superior;
    std::string parent = parent_dn(dn);
    return parent.empty() ? new_rdn : new_rdn + "," + parent;
}

ChangeApplier::ChangeApplier(DConnection& connection, ApplyOptions options)
    : c_(connection), options_(std::move(options)) {}

int ChangeApplier::apply_all(const std::vector<LdifRecord>& records) {
    size_t failed = 0;
    int first_status = kExitOk;
    size_t done = 0;
    for (size_t i = 0; i < records.size();) {
        size_t end = pipelined() ? end_of_adds(records, i) : i;
        if (end > i) {
            long added = 0;
            int status = add_run(records, i, end, &added);
            done += static_cast<size_t>(added);
            i = end;
            if (status == kExitOk) continue;
            first_status = status;
            failed = 1;
            break;
        }
        int status = apply(records[i++]);
        if (status == kExitOk) {
            ++done;
            continue;
        }
        if (first_status == kExitOk) first_status = status;
        ++failed;
        if (!options_.keep_going) break;
    }
    bool entries_only = true;
    for (const LdifRecord& record : records)
        entries_only = entries_only && is_add(record);
    const char* noun = entries_only ? "entries" : "changes";
    if (failed > 0 && options_.keep_going) {
        message(std::to_string(failed) + " of " + std::to_string(records.size()) + " " + noun +
                " failed");
    } else if (failed > 0) {
        message(std::string(entries_only ? "added " : "applied ") + std::to_string(done) + " of " +
                std::to_string(records.size()) + " " + noun);
    }
    return first_status;
}

bool ChangeApplier::pipelined() {
    if (options_.keep_going || options_.dry_run) return false;
    DS_LDAP* handle = c_.getConnection();
    return handle != nullptr && handle->kind != QDX_LDAP_FLAT_FILE;
}

// Adds through a window of requests, so that the next entry travels while the server works
// on the previous ones; an entry whose parent is still in flight waits for its answer.
int ChangeApplier::add_run(const std::vector<LdifRecord>& records, size_t begin, size_t end,
                           long* added) {
    BulkProgress progress("added", static_cast<long>(end - begin));
    RequestWindow window(c_);
    std::unordered_map<std::string, size_t> index;  // DN key -> record
    window.onSuccess([&](const std::string& key) { done("added", records[index[key]].dn); });
    for (size_t i = begin; i < end; ++i) {
        const LdifRecord& record = records[i];
        if (options_.verbose) message("adding " + record.dn + where(record));
        const std::string key = dn_key(record.dn);
        index[key] = i;  // a DN given twice fails at its second record
        DEntry* entry = make_entry(record);
        bool sent = window.submit(
            key, [&](DException** out) { return c_.add_asyn(entry, out); },
            dn_key(parent_dn(record.dn)));
        c_.deleteObject(entry);
        if (!sent) break;
        progress.update(window.done());
    }
    window.drain();
    progress.update(window.done());
    *added = window.done();
    DException* e = window.takeFailure();
    if (e == nullptr) return kExitOk;
    const LdifRecord& record = records[index[window.failedLabel()]];
    return fail("add " + record.dn, record, e);
}

int ChangeApplier::apply(const LdifRecord& record) {
    switch (record.change) {
        case ChangeType::kNone:
        case ChangeType::kAdd:
            return add(record);
        case ChangeType::kDelete:
            return remove(record);
        case ChangeType::kModify:
            return modify(record);
        case ChangeType::kModRdn:
            return rename(record);
    }
    return kExitUsage;
}

std::string ChangeApplier::where(const LdifRecord& record) const {
    return record.line > 0 ? " (" + options_.source + ":" + std::to_string(record.line) + ")" : "";
}

int ChangeApplier::fail(const std::string& what, const LdifRecord& record, DException* e,
                        const std::string& hint) {
    message("cannot " + what + where(record) + ": " + describe_exception(*e) + hint);
    int status = failure_status(*e);
    c_.deleteObject(e);
    return status;
}

int ChangeApplier::done(const char* verb, const std::string& text) {
    printf("%s%s %s\n", options_.dry_run ? "would " : "", verb, text.c_str());
    return kExitOk;
}

int ChangeApplier::add(const LdifRecord& record) {
    if (options_.verbose) message("adding " + record.dn + where(record));
    if (options_.dry_run) return done("add", record.dn);
    DEntry* entry = make_entry(record);
    DException* e = nullptr;
    c_.add(entry, &e);
    c_.deleteObject(entry);
    if (e != nullptr) return fail("add " + record.dn, record, e);
    return done("added", record.dn);
}

int ChangeApplier::remove(const LdifRecord& record) {
    if (options_.verbose) message("deleting " + record.dn + where(record));
    if (options_.dry_run) return done("delete", record.dn);
    DException* e = nullptr;
    c_.remove(record.dn.c_str(), &e);
    if (e != nullptr) {
        bool has_children = e->getLdapErrorCode() == LDAP_NOT_ALLOWED_ON_NONLEAF;
        return fail("delete " + record.dn, record, e,
                    has_children ? " (the entry has children: delete -r removes them too)" : "");
    }
    return done("deleted", record.dn);
}

int ChangeApplier::remove_tree(const std::string& dn) {
    LdifRecord record;
    record.dn = dn;
    if (options_.verbose) message("deleting " + dn + " and everything below it");
    if (options_.dry_run) return done("delete", dn + " and everything below it");
    BulkProgress progress("deleted", 0);
    long removed = 0;
    std::string failed;
    DException* e = nullptr;
    c_.removeTree(
        dn.c_str(), [&](long count) { progress.update(count); }, &removed, &failed, &e);
    if (e != nullptr) {
        if (!failed.empty()) record.dn = failed;
        return fail("delete " + record.dn, record, e,
                    " (" + std::to_string(removed) + " entries deleted before)");
    }
    return done("deleted", dn + " and everything below it");
}

int ChangeApplier::modify(const LdifRecord& record) {
    if (options_.verbose)
        message("modifying " + record.dn + where(record) + ": " + summary(record.modifications));
    if (options_.dry_run)
        return done("modify", record.dn + " (" + summary(record.modifications) + ")");
    std::vector<LdifModification> modifications;
    int status = kExitOk;
    if (!resolve(record, modifications, &status)) return status;
    if (!modifications.empty()) {
        std::unique_ptr<ModificationSet> set(make_modification_set(modifications));
        DException* e = nullptr;
        c_.modify(record.dn.c_str(), set.get(), &e);
        if (e != nullptr) return fail("modify " + record.dn, record, e);
    }
    return done("modified", record.dn);
}

bool ChangeApplier::resolve(const LdifRecord& record, std::vector<LdifModification>& out,
                            int* status) {
    if (!needs_entry(record.modifications)) {
        out = record.modifications;
        return true;
    }
    DException* e = nullptr;
    std::unique_ptr<DEntry, EntryDeleter> entry(c_.read(record.dn.c_str(), &e), {&c_});
    if (e != nullptr) {
        *status = fail("modify " + record.dn, record, e);
        return false;
    }
    for (const LdifModification& m : record.modifications) {
        if (m.op == MOD_OP_REPLACE && m.values.empty()) {
            // Replacing with nothing removes the attribute, and is no error without one.
            if (!values_of(entry.get(), m.attribute).empty())
                out.push_back({MOD_OP_DELETE, m.attribute, {}});
        } else if (m.op == kModIncrement) {
            std::vector<std::string> old = values_of(entry.get(), m.attribute);
            if (old.empty()) {
                message("cannot modify " + record.dn + where(record) +
                        ": increment: " + m.attribute + ": the entry has no value to increment");
                *status = LDAP_NO_SUCH_ATTRIBUTE;
                return false;
            }
            // The old values go in the same change: a concurrent writer makes it fail
            // instead of being overwritten.
            std::vector<std::string> incremented;
            for (const std::string& value : old) {
                char* end = nullptr;
                long long number = strtoll(value.c_str(), &end, 10);
                if (value.empty() || *end != '\0') {
                    message("cannot modify " + record.dn + where(record) + ": increment: " +
                            m.attribute + ": \"" + value + "\" is not a whole number");
                    *status = LDAP_CONSTRAINT_VIOLATION;
                    return false;
                }
                incremented.push_back(
                    std::to_string(number + strtoll(m.values[0].c_str(), nullptr, 10)));
            }
            out.push_back({MOD_OP_DELETE, m.attribute, old});
            out.push_back({MOD_OP_ADD, m.attribute, incremented});
        } else {
            out.push_back(m);
        }
    }
    return true;
}

int ChangeApplier::rename(const LdifRecord& record) {
    std::string target = renamed_dn(record.dn, record.new_rdn,
                                    record.has_new_superior ? &record.new_superior : nullptr);
    if (options_.verbose) message("renaming " + record.dn + where(record) + " to " + target);
    if (options_.dry_run) return done("rename", record.dn + " to " + target);
    DException* e = nullptr;
    c_.rename(record.dn.c_str(), record.new_rdn.c_str(),
              record.has_new_superior ? record.new_superior.c_str() : nullptr,
              record.delete_old_rdn, &e);
    if (e != nullptr) return fail("rename " + record.dn, record, e);
    return done("renamed", record.dn + " to " + target);
}

}  // namespace dirtool
