#ifndef DIRTOOL_BULK_PROGRESS_H
#define DIRTOOL_BULK_PROGRESS_H

// A sign of life during bulk work: the count done and the rate, rewritten in place on
// standard error four times a second, only when standard error is a terminal.

#include <chrono>
#include <string>

namespace dirtool {

class BulkProgress {
  public:
    // verb: what is done to the entries ("added", "deleted"); total 0 when unknown.
    BulkProgress(std::string verb, long total);
    // Ends the line when one was shown.
    ~BulkProgress();
    BulkProgress(const BulkProgress&) = delete;
    BulkProgress& operator=(const BulkProgress&) = delete;

    // Shows done, at most every quarter of a second.
    void update(long done);

  private:
    std::string verb_;
    long total_;
    bool shown_ = false;
    bool terminal_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_;
};

}  // namespace dirtool

#endif
