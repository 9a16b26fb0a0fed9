#ifndef DIRCLIENT_RESULTS_H
#define DIRCLIENT_RESULTS_H

#include "dirclient_export.h"

#include "dentry.h"
#include "dexception.h"
#include "search_results.h"

class DumpBuffer;
class Status;

// Result types of an asynchronous request; any other value dumps as RES_UNKNOWN.
enum ResultType {
    RES_SEARCH = 0,
    RES_ADD = 1,
    RES_RENAME = 2,
    RES_REMOVE = 3,
    RES_AUTHENTICATE = 4,
    RES_MODIFY = 5,
    RES_READ = 6,
    RES_COMPLETE = 7,
    RES_UNKNOWN = 8
};

// The outcome of one asynchronous request. Owns its read and search result. The exception
// is handed to the caller by the get operations below: the first hand-out passes the stored
// object itself, every later one a new copy, so each receiver owns and deletes what it
// got. The Results never deletes its exception: one that is never handed out stays the
// business of whoever set it.
// Allocated with the ordinary new.
class Results {
  public:
    Results() = default;
    DIRCLIENT_API ~Results();  // deletes the read and search results, not the exception
    Results(const Results&) = delete;
    Results& operator=(const Results&) = delete;

    int getType() const { return type_; }
    DIRCLIENT_API bool setType(int type);
    bool IsType(int type) const { return type_ == type; }
    int getID() const { return ID_; }
    DIRCLIENT_API bool setID(int id);
    DException* getException() const { return exception_; }
    DIRCLIENT_API bool setException(DException* exception);  // stores the pointer, deletes nothing
    // Delete the result held before (unless it is the same object) and keep the new one.
    DIRCLIENT_API bool setReadResult(DEntry* entry);
    DIRCLIENT_API bool setSearchResult(SearchResults* results);

    // The result object (still owned by this Results) when no exception is stored and the
    // type is the expected one, else null. When exc is not null it receives the stored
    // exception, or a new one ("ERROR: asynchronous operation error") when the type is not
    // the expected one, or null.
    DIRCLIENT_API SearchResults* getSearchResult(DException** exc);  // expects RES_SEARCH
    DIRCLIENT_API DEntry* getReadResult(DException** exc);           // expects RES_READ
    // Only fill exc as above.
    DIRCLIENT_API void getAddResult(DException** exc);
    DIRCLIENT_API void getRenameResult(DException** exc);
    DIRCLIENT_API void getRemoveResult(DException** exc);
    DIRCLIENT_API void getAuthenticateResult(DException** exc);
    DIRCLIENT_API void getModifyResult(DException** exc);

    // Text dumps; the caller releases the result with check_free.
    DIRCLIENT_API char* ToString();
    DIRCLIENT_API char* ToString(int indent, bool compact);

  private:
    friend void dump(DumpBuffer& out, Results* object, int indent, bool compact);

    // Fills *exc for an operation that expects type; true when the request succeeded.
    bool report(int expected, int errorCode, DException** exc);
    // What the get operation that expects type hands out: the stored exception (or its
    // copy), the type mismatch, or success.
    Status handOut(int expected, int errorCode);

    int type_ = RES_UNKNOWN;
    int ID_ = 0;
    DEntry* readResult_ = nullptr;
    SearchResults* searchResult_ = nullptr;
    DException* exception_ = nullptr;
    bool exceptionHandedOut_ = false;
};

#endif
