#include "ldif_stream.h"

#include <dirclient/dentry.h>
#include "ldif_writer.h"

namespace dirtool {

namespace {

// Large enough that writes stay few, small enough to keep memory flat.
constexpr size_t kBlock = 1 << 16;

}  // namespace

bool LdifStream::put(DEntry* entry) {
    if (comments_)
        buffer_ += "# " + std::string(entry->getDN() != nullptr ? entry->getDN() : "") + "\n";
    if (names_only_) {
        append_entry_names_ldif(buffer_, entry);
    } else {
        append_entry_ldif(buffer_, entry);
    }
    ++count_;
    return buffer_.size() < kBlock || flush();
}

bool LdifStream::flush() {
    if (!buffer_.empty()) fwrite(buffer_.data(), 1, buffer_.size(), out_);
    buffer_.clear();
    return ferror(out_) == 0;
}

}  // namespace dirtool
