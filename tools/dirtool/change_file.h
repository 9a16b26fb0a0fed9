#ifndef DIRTOOL_CHANGE_FILE_H
#define DIRTOOL_CHANGE_FILE_H

// Applying LDIF records to a directory in order: entries, and change records of every kind
// (add, delete, modify with add:/delete:/replace:/increment:, modrdn and moddn), on any back
// end.

#include <string>
#include <vector>

#include "ldif_reader.h"

class DConnection;
class DException;

namespace dirtool {

struct ApplyOptions {
    std::string source;       // the input as messages name it: "changes.ldif", "standard input"
    bool keep_going = false;  // go on after a failure
    bool dry_run = false;     // say what would be done, send nothing
    bool verbose = false;     // say each change on standard error before sending it
};

// Sends records to a connection; "connection" must outlive the applier. Each change done is
// printed on standard output ("added DN", "modified DN", ...; "would add DN" in a dry run),
// each failure on standard error with the line of its record.
class ChangeApplier {
  public:
    ChangeApplier(DConnection& connection, ApplyOptions options);

    // Every record in order; stops at the first failure unless keep_going, then says how
    // far it got (or how many failed). 0, or the exit status of the first failure.
    int apply_all(const std::vector<LdifRecord>& records);

    // One record; 0 or the exit status of its failure.
    int apply(const LdifRecord& record);

    // Deletes dn and everything below it, children first; 0 or the exit status.
    int remove_tree(const std::string& dn);

  private:
    // Whether runs of adds go through a window of requests: on LDAP back ends, when the run
    // stops at its first failure anyway.
    bool pipelined();
    // Adds records [begin, end) pipelined; *added receives the count the server took. 0 or
    // the exit status of the first failure.
    int add_run(const std::vector<LdifRecord>& records, size_t begin, size_t end, long* added);
    int add(const LdifRecord& record);
    int remove(const LdifRecord& record);
    int modify(const LdifRecord& record);
    int rename(const LdifRecord& record);
    // The modifications as the directory model takes them: increments and empty replaces
    // are resolved against the entry as stored. False (with *status set) when that failed.
    bool resolve(const LdifRecord& record, std::vector<LdifModification>& out, int* status);
    // Reports the failure of what (and releases e); its exit status.
    int fail(const std::string& what, const LdifRecord& record, DException* e,
             const std::string& hint = "");
    int done(const char* verb, const std::string& text);
    std::string where(const LdifRecord& record) const;

    DConnection& c_;
    ApplyOptions options_;
};

// The DN's parent as written ("" for a single RDN).
std::string parent_dn(const std::string& dn);

// The DN an entry gets from a rename: the new RDN, then the new superior or the old parent.
std::string renamed_dn(const std::string& dn, const std::string& new_rdn,
                       const std::string* new_superior);

}  // namespace dirtool

#endif
