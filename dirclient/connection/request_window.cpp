#include "request_window.h"

#include <algorithm>
#include <memory>

#include "dconnection.h"
#include "status.h"

namespace {

constexpr const char* kNoAnswer = "ERROR: no answer within the time-out";

}  // namespace

RequestWindow::RequestWindow(DConnection& connection, std::size_t size)
    : connection_(connection), size_(std::max<std::size_t>(size, 1)) {}

RequestWindow::~RequestWindow() {
    drain();
}

bool RequestWindow::submit(const std::string& label, const std::function<int(DException**)>& send,
                           const std::string& waitFor) {
    if (failure_) return false;
    while (!pending_.empty() && (pending_.size() >= size_ || inFlight(waitFor)))
        collectOldest();
    if (failure_) return false;
    DException* failure = nullptr;
    int msgId = send(&failure);
    if (msgId < 0 || failure != nullptr) {
        noteFailure(label, failure != nullptr ? Status(std::unique_ptr<DException>(failure))
                                              : Status::failure(kNoAnswer));
        return false;
    }
    pending_.push_back(Pending{msgId, label});
    return true;
}

bool RequestWindow::drain() {
    while (!pending_.empty())
        collectOldest();
    return !failure_;
}

bool RequestWindow::inFlight(const std::string& label) const {
    if (label.empty()) return false;
    return std::any_of(pending_.begin(), pending_.end(),
                       [&](const Pending& p) { return p.label == label; });
}

void RequestWindow::collectOldest() {
    Pending oldest = pending_.front();
    pending_.pop_front();
    Results* result = connection_.getResult(oldest.msgId, kAnswerWait);
    if (result == nullptr) {
        noteFailure(oldest.label, Status::failure(dexception_info_message(DEXC_GET_RESULT),
                                                  DEXC_GET_RESULT, kNoAnswer));
        return;
    }
    // A Results never deletes its exception: never handed out, it is ours to keep.
    std::unique_ptr<DException> failure(result->getException());
    delete result;
    if (failure) return noteFailure(oldest.label, Status(std::move(failure)));
    ++done_;
    if (onSuccess_) onSuccess_(oldest.label);
}

void RequestWindow::noteFailure(const std::string& label, Status failure) {
    if (failure_) return;  // the first failure is kept; a later one goes
    failure_.reset(failure.release());
    failedLabel_ = label;
}

DException* RequestWindow::takeFailure() {
    return failure_.release();
}
