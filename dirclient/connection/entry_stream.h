#ifndef DIRCLIENT_ENTRY_STREAM_H
#define DIRCLIENT_ENTRY_STREAM_H

// Internal: DConnection's streamed search pulled by the caller's thread instead of pushed
// into a sink: each step hands on the entries that have come, at most a batch, and waits
// only while none has. The connection is locked during a step only, so code between steps
// may use it. A flat file answers everything in the first step.

#include <cstddef>
#include <memory>
#include <string>

#include "dconnection.h"
#include "streamed_search.h"

namespace dirclient::connection {

// A streamed search cut short by a time or size limit (3, 4): its entries are delivered
// and the search is no failure.
inline bool cut_short_by_limit(int code) {
    return code == LDAP_TIMELIMIT_EXCEEDED || code == LDAP_SIZELIMIT_EXCEEDED;
}

// The form of the entries handed on.
enum class EntryForm {
    Classic,    // as search() builds them, the value arrays kept beside the values (berVal)
    ValuesOnly  // read in one pass, each value copied once, berVal null
};

class EntryStream {
  public:
    // Validates the search and sets the session's limits as searchEach does (a refusal ends
    // the stream at once: see takeFailure()). attrs and constraints are borrowed until the
    // stream is destroyed.
    EntryStream(DConnection& connection, const char* base, int scope, const char* filter,
                DList* attrs, bool attrsOnly, SearchConstraints* constraints, int pageSize,
                EntryForm form = EntryForm::Classic);
    ~EntryStream();
    EntryStream(const EntryStream&) = delete;
    EntryStream& operator=(const EntryStream&) = delete;

    // Hands entries to sink, at most batch of them (0: up to the end); false once the
    // search has ended (entries may have come in that step too).
    bool step(const DConnection::EntrySink& sink, std::size_t batch);

    // How it ended: 0, 3 or 4 as searchEach's; any other code comes with a failure.
    const DConnection::SearchOutcome& outcome() const { return outcome_; }
    // The failure that ended the search (taken over by the caller), or null.
    DException* takeFailure() { return failure_.release(); }

  private:
    void end(int code, DS_LDAP* handle);

    DConnection& connection_;
    std::string base_;
    std::string filter_;
    int scope_;
    DList* attrs_;
    bool attrsOnly_;
    EntryForm form_;
    SearchConstraints* constraints_;  // read by a flat file in the first step
    DS_LDAP* handle_ = nullptr;       // the LDAP handle the search runs on
    SearchPar* par_ = nullptr;
    std::unique_ptr<ldapaccess::StreamedSearchCursor> cursor_;
    bool ended_ = false;
    DConnection::SearchOutcome outcome_;
    std::unique_ptr<DException> failure_;
};

}  // namespace dirclient::connection

#endif
