#ifndef REPLHOST_UPDATE_FOLDER_H
#define REPLHOST_UPDATE_FOLDER_H

// A folder that receives updates as files "update-NNNNNN". A file appears only once it is
// complete, and never in place of one that exists: several slaves may share a folder, and
// a later run adds to what an earlier one left.

#include <cstddef>
#include <string>
#include <utility>

namespace replhost {

class UpdateFolder {
  public:
    explicit UpdateFolder(std::string path) : path_(std::move(path)) {}

    // Writes one update under the next free number; false, with the reason in error(), when
    // it could not be written in full (nothing is left behind then).
    bool write(const char* data, size_t length);

    const std::string& error() const { return error_; }

  private:
    bool publish(const std::string& temporary);
    static bool place(const std::string& temporary, const std::string& target);
    void syncFolder() const;

    std::string path_;
    long next_ = 1;  // no lower number is free any more
    std::string error_;
};

}  // namespace replhost

#endif
