#ifndef DIRCLIENT_STREAMED_SEARCH_H
#define DIRCLIENT_STREAMED_SEARCH_H

// A search whose entries are handed on one at a time as they arrive, optionally in pages
// (simple paged results, RFC 2696), so that memory stays flat in the size of the answer.

#include <cstddef>
#include <functional>
#include <memory>

#include <ldap.h>

#include "directory_handle.h"
#include "session_core.h"

namespace dirclient::ldapaccess {

struct StreamedSearch {
    const char* base = "";
    int scope = 2;
    const char* filter = "(objectClass=*)";
    char** attrs = nullptr;  // null-terminated, null for all
    int attrsonly = 0;
    int page_size = 0;  // > 0: pages of that many entries
    // The limits each page is sent with (seconds, entries; 0: none), set on the session
    // right before the page goes out, so that calls between steps cannot change them;
    // negative: the session's own.
    int time_limit = -1;
    int size_limit = -1;
};

// Sees one entry message; the message and the session belong to the search and are valid
// during the call only. Returns false to stop the search (it is then abandoned).
using EntryVisitor = std::function<bool(LDAP* ld, LDAPMessage* entry)>;

struct StreamOutcome {
    int code = 0;          // the classic result code of the search (3 and 4: cut short)
    int restarts = 0;      // times it started again from the first page after a fail-over
    bool stopped = false;  // the visitor asked to stop
};

// A search on an LDAP handle read in steps by the caller's own thread, with the session's
// limits: each step hands on the entries that have come (at most a batch), waiting only
// while none has, and lets the session go between steps, marked busy so that no idle close
// or fail-back takes it away. On a server list a search that loses its server starts again
// from the first page on the next server, and entries already seen (by DN) are not handed
// on again. Each wait for the next message ends after the session's response time-out
// without a byte from the server (the search then ends with 85); a search that keeps
// sending is never cut off. Entries come while the handle's session is held: the visitor
// must not use the handle. The texts of the search and the handle must outlive the cursor
// (see disown); steps are serialised with every other call on the handle.
class StreamedSearchCursor {
  public:
    StreamedSearchCursor(DS_LDAP* handle, const StreamedSearch& search);
    // A search still running is abandoned.
    ~StreamedSearchCursor();
    StreamedSearchCursor(const StreamedSearchCursor&) = delete;
    StreamedSearchCursor& operator=(const StreamedSearchCursor&) = delete;

    // Hands entries to visit: at most "batch" (0: up to the end); false once the search has
    // ended, outcome() then being final.
    bool step(const EntryVisitor& visit, std::size_t batch);
    const StreamOutcome& outcome() const { return outcome_; }
    // The handle was closed under the cursor: it ends without touching it.
    void disown() {
        ended_ = true;
        holding_ = false;
        sentOn_ = nullptr;
    }

  private:
    class Seen;
    int run(SessionCore& core, const EntryVisitor& visit, std::size_t batch);
    int sendPage(SessionCore& core);
    int takeResult(LDAP* ld, LDAPMessage* result);
    void finish();

    DS_LDAP* handle_;
    StreamedSearch search_;
    std::unique_ptr<Seen> seen_;
    LDAP* sentOn_ = nullptr;  // the session the running page was sent on
    int msgid_ = -1;
    berval cookie_{0, nullptr};  // the server's position between pages
    bool started_ = false;
    bool paused_ = false;  // the last step ended with its batch, not with the search
    bool ended_ = false;
    bool holding_ = false;  // the session carries this search's busy mark
    StreamOutcome outcome_;
};

}  // namespace dirclient::ldapaccess

#endif
