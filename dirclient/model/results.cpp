#include "results.h"

#include "model_dump.h"
#include "status.h"

Results::~Results() {
    delete readResult_;
    delete searchResult_;
}

bool Results::setType(int type) {
    type_ = type;
    return true;
}

bool Results::setID(int id) {
    ID_ = id;
    return true;
}

bool Results::setException(DException* exception) {
    exception_ = exception;
    exceptionHandedOut_ = false;
    return true;
}

bool Results::setReadResult(DEntry* entry) {
    if (entry != readResult_) {
        delete readResult_;
        readResult_ = entry;
    }
    return true;
}

bool Results::setSearchResult(SearchResults* results) {
    if (results != searchResult_) {
        delete searchResult_;
        searchResult_ = results;
    }
    return true;
}

bool Results::report(int expected, int errorCode, DException** exc) {
    const bool succeeded = exception_ == nullptr && type_ == expected;
    if (exc == nullptr) return succeeded;
    *exc = nullptr;
    handOut(expected, errorCode).report(exc);
    return succeeded;
}

Status Results::handOut(int expected, int errorCode) {
    if (exception_ != nullptr) {
        // Whoever receives an exception deletes it: a second receiver gets its own copy.
        DException* given = exceptionHandedOut_ ? new DException(*exception_) : exception_;
        exceptionHandedOut_ = true;
        return Status(std::unique_ptr<DException>(given));
    }
    if (type_ != expected) {
        return Status::failure(dexception_info_message(errorCode), errorCode,
                               DEXC_ASYNCHRONOUS_ERROR);
    }
    return Status();
}

SearchResults* Results::getSearchResult(DException** exc) {
    return report(RES_SEARCH, DEXC_SEARCH, exc) ? searchResult_ : nullptr;
}

DEntry* Results::getReadResult(DException** exc) {
    return report(RES_READ, DEXC_READ, exc) ? readResult_ : nullptr;
}

void Results::getAddResult(DException** exc) {
    report(RES_ADD, DEXC_ADD, exc);
}
void Results::getRenameResult(DException** exc) {
    report(RES_RENAME, DEXC_RENAME, exc);
}
void Results::getRemoveResult(DException** exc) {
    report(RES_REMOVE, DEXC_REMOVE, exc);
}
void Results::getAuthenticateResult(DException** exc) {
    report(RES_AUTHENTICATE, DEXC_AUTHENTICATE, exc);
}
void Results::getModifyResult(DException** exc) {
    report(RES_MODIFY, DEXC_MODIFY, exc);
}

char* Results::ToString() {
    return ToString(0, true);
}

char* Results::ToString(int indent, bool compact) {
    DumpBuffer out;
    dump(out, this, indent, compact);
    return out.release();
}
