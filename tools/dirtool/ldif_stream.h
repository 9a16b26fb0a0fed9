#ifndef DIRTOOL_LDIF_STREAM_H
#define DIRTOOL_LDIF_STREAM_H

// Entries written to a stream as LDIF while a search is still running, in blocks, so that
// the output keeps pace with the answer and nothing of it is held back.

#include <cstdio>
#include <string>

class DEntry;

namespace dirtool {

class LdifStream {
  public:
    // "out" must stay open while the stream is in use. names_only: attribute names without
    // values; comments: a "# DN" line before each entry.
    explicit LdifStream(FILE* out, bool names_only = false, bool comments = false)
        : out_(out), names_only_(names_only), comments_(comments) {}
    ~LdifStream() { flush(); }
    LdifStream(const LdifStream&) = delete;
    LdifStream& operator=(const LdifStream&) = delete;

    // Appends the entry (still the caller's); false once the stream takes no more (a closed
    // pipe), which tells the search to stop.
    bool put(DEntry* entry);
    // Writes out what is buffered; false when the stream failed.
    bool flush();
    long count() const { return count_; }

  private:
    FILE* out_;
    bool names_only_;
    bool comments_;
    std::string buffer_;
    long count_ = 0;
};

}  // namespace dirtool

#endif
