#include "update_folder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace replhost {

bool UpdateFolder::write(const char* data, size_t length) {
    std::string temporary = path_ + "/.update-XXXXXX";
    int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error_ = "cannot create a file in " + path_ + ": " + std::strerror(errno);
        return false;
    }
    FILE* out = ::fdopen(fd, "wb");
    bool ok = out != nullptr && std::fwrite(data, 1, length, out) == length &&
              std::fflush(out) == 0 && ::fsync(fd) == 0;
    int saved = errno;
    if ((out != nullptr ? std::fclose(out) : ::close(fd)) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        error_ = "cannot write " + temporary + ": " + std::strerror(saved);
        ::unlink(temporary.c_str());
        return false;
    }
    if (publish(temporary)) return true;
    ::unlink(temporary.c_str());
    return false;
}

// Moves the temporary file to "update-<next free number>". The move never replaces a file:
// a name that is taken stays as it is and the next number is tried. Where the file system
// cannot rename that way, an exclusive hard link does the same.
bool UpdateFolder::place(const std::string& temporary, const std::string& target) {
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    if (::link(temporary.c_str(), target.c_str()) != 0) return false;
    ::unlink(temporary.c_str());
    return true;
}

// The rename itself is durable only once the folder is flushed: the next update is
// fetched (and the broker told this one is taken) after that.
void UpdateFolder::syncFolder() const {
    int dir = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    ::fsync(dir);
    ::close(dir);
}

bool UpdateFolder::publish(const std::string& temporary) {
    for (;; ++next_) {
        char name[32];
        std::snprintf(name, sizeof name, "/update-%06ld", next_);
        std::string target = path_ + name;
        if (place(temporary, target)) {
            ++next_;
            syncFolder();
            return true;
        }
        if (errno != EEXIST) {
            error_ = "cannot create " + target + ": " + std::strerror(errno);
            return false;
        }
    }
}

}  // namespace replhost
