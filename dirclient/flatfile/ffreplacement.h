#ifndef DIRCLIENT_FFREPLACEMENT_H
#define DIRCLIENT_FFREPLACEMENT_H

// A new version of a file, written beside it and put in its place in one step (internal):
// readers see the old file or the new one, never a part of either, and a failure at any
// point leaves the old file as it was. The previous contents are kept as "<file>.txt".

#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

class FFReplacement {
  public:
    // Temporaries are named "<target>.<pid>.<n>.tmp".
    explicit FFReplacement(std::string target);
    ~FFReplacement();  // removes the temporary unless it took the target's place
    FFReplacement(const FFReplacement&) = delete;
    FFReplacement& operator=(const FFReplacement&) = delete;

    // Creates the temporary. With previous (the file it replaces) it gets that file's owner
    // (where the process may give it) and mode; else the mode the umask leaves.
    bool open(const struct stat* previous, std::string* why);
    FILE* stream() { return out_; }

    // Makes the content durable, keeps the target's contents as "<target>.txt" (when
    // keepBackup) and renames the temporary into place. The new file is locked (flock)
    // before it appears, and *written receives its status.
    bool commit(bool keepBackup, struct stat* written, std::string* why);

    // A new descriptor of the committed file that shares its lock; the caller closes it.
    int lockedDescriptor();

  private:
    bool failed(const char* doing, int error, std::string* why);

    std::string target_;
    std::string temporary_;
    FILE* out_ = nullptr;
    int fd_ = -1;
    bool placed_ = false;
    std::vector<char> buffer_;
};

// Removes "<target>.<pid>.<n>.tmp" and "<target>.txt.<pid>.<n>.tmp" files left behind by
// processes that no longer run.
void removeStaleTemporaries(const std::string& target);

#endif
