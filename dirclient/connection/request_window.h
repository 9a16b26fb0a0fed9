#ifndef DIRCLIENT_REQUEST_WINDOW_H
#define DIRCLIENT_REQUEST_WINDOW_H

#include "dirclient_export.h"

// Bulk work at the server's pace: asynchronous requests of one connection sent through a
// bounded window, so that the next request travels while the server works on the previous
// ones, and each answer is matched to its request by message id.
//
//   RequestWindow window(connection);
//   for (DEntry* e : entries)
//       if (!window.submit(e->getDN(), [&](DException** out) { return connection.add_asyn(e, out);
//       }))
//           break;
//   window.drain();
//   if (DException* failure = window.takeFailure()) ... window.failedLabel(), window.done()

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "dexception.h"

class DConnection;
class Status;

class RequestWindow {
  public:
    // At most 32 requests in flight: twice the worker threads of a default server keeps
    // every one of them busy, while a failure leaves few requests behind it.
    DIRCLIENT_API static constexpr std::size_t kDefaultSize = 32;
    // How long one answer may take (milliseconds) before the request counts as failed.
    DIRCLIENT_API static constexpr int kAnswerWait = 300000;

    // "connection" must outlive the window; size 0 stands for 1 (one request at a time).
    DIRCLIENT_API explicit RequestWindow(DConnection& connection, std::size_t size = kDefaultSize);
    // Waits for what is still in flight (as drain) and releases an untaken failure.
    DIRCLIENT_API ~RequestWindow();
    RequestWindow(const RequestWindow&) = delete;
    RequestWindow& operator=(const RequestWindow&) = delete;

    // Sends one request through send (which returns the message id of an asynchronous
    // call, or -1 with its failure in the DException** given), first collecting answers
    // while the window is full, or while "waitFor" (a label in flight; "" for none) is.
    // label names the request in reports (a DN). False, and nothing sent, once a request
    // has failed: the first failure ends the submissions.
    DIRCLIENT_API bool submit(const std::string& label,
                              const std::function<int(DException**)>& send,
                              const std::string& waitFor = "");
    // Collects every answer still owed. False when a request failed.
    DIRCLIENT_API bool drain();

    // Called with the label of each request that succeeded, in the order of submission
    // (may be empty).
    void onSuccess(std::function<void(const std::string& label)> hook) {
        onSuccess_ = std::move(hook);
    }

    // Requests that succeeded so far.
    long done() const { return done_; }
    // The first failure in the order of submission (the caller owns it), or null.
    DIRCLIENT_API DException* takeFailure();
    // The label of the request that failed first ("" when none).
    const std::string& failedLabel() const { return failedLabel_; }
    // True while "label" is in flight.
    DIRCLIENT_API bool inFlight(const std::string& label) const;

  private:
    struct Pending {
        int msgId;
        std::string label;
    };
    void collectOldest();
    void noteFailure(const std::string& label, Status failure);

    DConnection& connection_;
    std::size_t size_;
    std::deque<Pending> pending_;  // in the order sent
    long done_ = 0;
    std::unique_ptr<DException> failure_;  // the first failure; null while none
    std::string failedLabel_;
    std::function<void(const std::string&)> onSuccess_;
};

#endif
