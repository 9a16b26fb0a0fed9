#include "bulk_progress.h"

#include <unistd.h>

#include <cstdio>
#include <utility>

namespace dirtool {

BulkProgress::BulkProgress(std::string verb, long total)
    : verb_(std::move(verb)),
      total_(total),
      terminal_(isatty(STDERR_FILENO) != 0),
      start_(std::chrono::steady_clock::now()),
      last_(start_) {}

BulkProgress::~BulkProgress() {
    if (shown_) fputc('\n', stderr);
}

void BulkProgress::update(long done) {
    if (!terminal_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(250)) return;
    last_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0 ? done / seconds : 0;
    if (total_ > 0)
        fprintf(stderr, "\rdirtool: %ld of %ld %s (%.0f/s)  ", done, total_, verb_.c_str(), rate);
    else
        fprintf(stderr, "\rdirtool: %ld %s (%.0f/s)  ", done, verb_.c_str(), rate);
    fflush(stderr);
    shown_ = true;
}

}  // namespace dirtool
