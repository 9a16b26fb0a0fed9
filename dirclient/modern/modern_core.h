#ifndef DIRCLIENT_MODERN_CORE_H
#define DIRCLIENT_MODERN_CORE_H

// Internal: what the modern types share behind their headers: the classic connection with
// the count of its open streams, and the steps from classic reports to thrown Errors.

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "dconnection.h"
#include "modern_search.h"

namespace dirclient {

// The text a classic call is given. The classic calls end a text at its first NUL byte, so
// one inside would make them act on another DN, filter or name: it is refused (Error).
std::string classic_text(std::string_view view);

class ConnectionCore {
  public:
    DConnection classic;
    bool flatFile = false;
    // The SearchStreams of the connection still open. Calls between their entries are
    // fine (each answer is collected by its own message identifier), but a bind or a close
    // would pull the session from under them.
    std::atomic<int> streams{0};

    // Throws Error while a stream is open.
    void checkNoStream() const;
};

// Append a copy of the value: bytes as a binary value; a text as a text, or as bytes when
// it holds a NUL byte.
void add_classic_bytes(::Attribute& attribute, Bytes value);
// Appends a copy of value: a text, or bytes when it holds a NUL byte.
void add_classic_value(::Attribute& attribute, std::string_view value);

// The names as a classic list of texts, null when there are none (all attributes).
std::unique_ptr<DList> classic_names(const Names& names);

// Throws the classic exception (taking it over) as an Error; nothing for null.
void throw_if(DException* failure);

// The classic search the modern one stands for; the texts are copied.
struct SearchRequest {
    std::string base;
    int scope = 2;
    std::string filter;
    std::unique_ptr<DList> attributes;  // null: all
    SearchOptions options;

    SearchRequest(std::string_view base, Scope scope, std::string_view filter, const Names& names,
                  const SearchOptions& options);
};

struct SearchEnd {
    int code = 0;                         // 0, or 3 / 4: cut short by a limit
    std::unique_ptr<DException> failure;  // the search failed
};

// Runs the search, each entry handed to sink (taken over there; false stops it). A flat
// file's empty answer below an existing base is an empty answer, as over LDAP.
SearchEnd run_search(ConnectionCore& core, const SearchRequest& request,
                     const std::function<bool(DEntry*)>& sink);

}  // namespace dirclient

#endif
