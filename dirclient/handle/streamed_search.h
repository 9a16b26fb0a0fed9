#ifndef DIRCLIENT_STREAMED_SEARCH_H
#define DIRCLIENT_STREAMED_SEARCH_H

// A search whose entries are handed on one at a time as they arrive, optionally in pages
// (simple paged results, RFC 2696), so that memory stays flat in the size of the answer.

#include <functional>

#include <ldap.h>

#include "directory_handle.h"

namespace dirclient::ldapaccess {

struct StreamedSearch {
    const char* base = "";
    int scope = 2;
    const char* filter = "(objectClass=*)";
    char** attrs = nullptr;  // null-terminated, null for all
    int attrsonly = 0;
    int page_size = 0;  // > 0: pages of that many entries
};

// Sees one entry message; the message and the session belong to the search and are valid
// during the call only. Returns false to stop the search (it is then abandoned).
using EntryVisitor = std::function<bool(LDAP* ld, LDAPMessage* entry)>;

struct StreamOutcome {
    int code = 0;          // the classic result code of the search (3 and 4: cut short)
    int restarts = 0;      // times it started again from the first page after a fail-over
    bool stopped = false;  // the visitor asked to stop
};

// Runs the search on an LDAP handle with the session's limits. On a server list a search
// that loses its server starts again from the first page on the next server, and entries
// already seen (by DN) are not handed on again. Each wait for the next message ends after
// the session's response time-out without a byte from the server (the search then ends
// with 85); a search that keeps sending is never cut off. Entries come while the
// handle's session is held: the visitor must not use the handle.
StreamOutcome run_streamed_search(DS_LDAP* handle, const StreamedSearch& search,
                                  const EntryVisitor& visit);

}  // namespace dirclient::ldapaccess

#endif
