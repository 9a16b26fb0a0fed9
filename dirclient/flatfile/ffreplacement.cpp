#include "ffreplacement.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace {

std::string uniqueName(const std::string& base) {
    static std::atomic<unsigned> counter{0};
    return base + "." + std::to_string(getpid()) + "." + std::to_string(++counter) + ".tmp";
}

void syncFolderOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Keeps the current file as "<path>.txt". A hard link keeps the path itself in place the
// whole time; where links are impossible the file is renamed instead.
bool keepBackup(const std::string& path, bool* moved) {
    std::string backup = path + ".txt";
    std::string linkName = uniqueName(backup);
    if (::link(path.c_str(), linkName.c_str()) == 0) {
        if (::rename(linkName.c_str(), backup.c_str()) == 0) return true;
        ::unlink(linkName.c_str());
        return false;
    }
    if (::rename(path.c_str(), backup.c_str()) != 0) return false;
    *moved = true;
    return true;
}

// The pid in "<pid>.<n>.tmp", or 0 when name is not of that form.
pid_t temporaryOwner(const char* name) {
    char* end = nullptr;
    long pid = std::strtol(name, &end, 10);
    if (end == name || *end != '.' || pid <= 0) return 0;
    const char* counter = end + 1;
    std::strtoul(counter, &end, 10);
    if (end == counter || std::strcmp(end, ".tmp") != 0) return 0;
    return static_cast<pid_t>(pid);
}

bool runs(pid_t pid) {
    return pid == getpid() || ::kill(pid, 0) == 0 || errno != ESRCH;
}

}  // namespace

FFReplacement::FFReplacement(std::string target) : target_(std::move(target)) {}

FFReplacement::~FFReplacement() {
    if (out_ != nullptr) std::fclose(out_);
    if (fd_ >= 0 && out_ == nullptr) ::close(fd_);
    if (!placed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

bool FFReplacement::failed(const char* doing, int error, std::string* why) {
    *why = std::string(doing) + ": " + std::strerror(error);
    return false;
}

bool FFReplacement::open(const struct stat* previous, std::string* why) {
    for (int attempt = 0; attempt < 16 && fd_ < 0; ++attempt) {
        temporary_ = uniqueName(target_);
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
        int error = errno;
        temporary_.clear();
        return failed(("cannot create a file beside " + target_).c_str(), error, why);
    }
    if (previous != nullptr) {
        // Owner first: changing it may clear set-id bits that the mode then restores. A
        // process that may not give the file away still keeps the group where it can.
        if (::fchown(fd_, previous->st_uid, previous->st_gid) != 0) {
            (void)::fchown(fd_, static_cast<uid_t>(-1), previous->st_gid);
        }
        ::fchmod(fd_, previous->st_mode & 07777);
    }
    out_ = ::fdopen(fd_, "w");
    if (out_ == nullptr) return failed("cannot write", errno, why);
    buffer_.resize(1 << 18);
    std::setvbuf(out_, buffer_.data(), _IOFBF, buffer_.size());
    return true;
}

bool FFReplacement::commit(bool backup, struct stat* written, std::string* why) {
    const std::string writing = "cannot write " + target_;
    if (std::fflush(out_) != 0 || std::ferror(out_)) return failed(writing.c_str(), errno, why);
    if (::fsync(fd_) != 0) return failed(writing.c_str(), errno, why);
    // Whoever opens the new file once it is in place must wait for this process.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno != ENOLCK && errno != EOPNOTSUPP) {
        return failed(writing.c_str(), errno, why);
    }
    if (::fstat(fd_, written) != 0) return failed(writing.c_str(), errno, why);
    bool moved = false;
    if (backup && !keepBackup(target_, &moved)) {
        return failed(("cannot keep " + target_ + ".txt").c_str(), errno, why);
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        int error = errno;
        if (moved) ::rename((target_ + ".txt").c_str(), target_.c_str());
        return failed(writing.c_str(), error, why);
    }
    placed_ = true;
    syncFolderOf(target_);
    return true;
}

int FFReplacement::lockedDescriptor() {
    return ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
}

void removeStaleTemporaries(const std::string& target) {
    std::string::size_type slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? "." : target.substr(0, slash);
    if (folder.empty()) folder = "/";
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* item = ::readdir(dir)) {
        const char* name = item->d_name;
        if (std::strncmp(name, base.c_str(), base.size()) != 0 || name[base.size()] != '.') {
            continue;
        }
        const char* rest = name + base.size() + 1;
        if (std::strncmp(rest, "txt.", 4) == 0 && temporaryOwner(rest) == 0) rest += 4;
        pid_t owner = temporaryOwner(rest);
        if (owner != 0 && !runs(owner)) ::unlinkat(::dirfd(dir), name, 0);
    }
    ::closedir(dir);
}
