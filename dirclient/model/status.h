#ifndef DIRCLIENT_STATUS_H
#define DIRCLIENT_STATUS_H

#include <memory>
#include <string>
#include <utility>

#include "dexception.h"

// The outcome of an internal step: success, or the failure being built up (code, texts, the
// server's words). Internal helpers return it instead of filling a DException** on the side;
// the public method hands it to its caller once, with report().
class Status {
  public:
    Status() = default;  // success
    explicit Status(std::unique_ptr<DException> failure) : failure_(std::move(failure)) {}
    template <typename... Args>
    static Status failure(Args&&... args) {
        return Status(std::make_unique<DException>(std::forward<Args>(args)...));
    }

    bool ok() const { return !failure_; }
    explicit operator bool() const { return ok(); }
    int errorCode() const { return failure_ ? failure_->getErrorCode() : 0; }
    DException* exception() const { return failure_.get(); }  // null on success
    int ldapErrorCode() const { return failure_ ? failure_->getLdapErrorCode() : 0; }

    // Adds why, in the user's terms, as the failure's diagnostic message; nothing on success.
    Status explain(std::string detail) && {
        if (failure_) failure_->setDiagnosticMessage(std::move(detail));
        return std::move(*this);
    }

    // Gives the failure to a caller's DException** (dropped when the caller passed none);
    // returns whether this was a success.
    bool report(DException** err) {
        bool success = ok();
        if (err != nullptr && !success) *err = failure_.release();
        failure_.reset();
        return success;
    }
    DException* release() { return failure_.release(); }

  private:
    std::unique_ptr<DException> failure_;
};

#endif
