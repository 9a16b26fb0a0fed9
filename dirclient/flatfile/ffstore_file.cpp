#include "ffstore_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "dexception.h"
#include "ffnode.h"
#include "ffreplacement.h"

namespace {

// Another process may hold the file for as long as its run takes; beyond this, waiting
// would look like a hang.
constexpr std::chrono::seconds kLockWait{30};

struct Identity {
    bool known = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modifiedNs = 0;

    static Identity of(const struct stat& st) {
        return {true, st.st_dev, st.st_ino, st.st_size,
                static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
    }
    bool operator==(const Identity& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modifiedNs == other.modifiedNs;
    }
};

struct StoreFileState {
    Identity loaded;
    int lockFd = -1;  // the held lock, on the file the path named when it was taken
    int hold = -1;    // -1: not decided yet
    int users = 0;
};

StoreFileState state;

void closeLock(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// File systems without advisory locks still get the check at save time.
bool lockUnsupported(int error) {
    return error == ENOLCK || error == EOPNOTSUPP || error == ENOSYS;
}

bool waitForLock(int fd, std::chrono::steady_clock::time_point deadline) {
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 || lockUnsupported(errno)) return true;
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
}

// Opens the regular file path names and locks it. A writer may put a new file in place
// while this waits: the lock then holds the old one, so the path is opened again.
int lockFile(const std::string& path, std::string* why) {
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    for (int attempt = 0; attempt < 100; ++attempt) {
        int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            *why = "cannot open " + path + ": " + std::strerror(errno);
            return -1;
        }
        struct stat opened {};
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            ::close(fd);
            *why = path + " is not a regular file";
            return -1;
        }
        ::fcntl(fd, F_SETFL, O_RDONLY);  // reads of the load must block as usual
        if (!waitForLock(fd, deadline)) {
            ::close(fd);
            *why = path + " is locked by another process";
            return -1;
        }
        struct stat named {};
        if (::stat(path.c_str(), &named) == 0 && sameFile(named, opened)) return fd;
        ::close(fd);
    }
    *why = path + " is replaced again and again by other processes";
    return -1;
}

// The file a save writes: a symlink's target, so that the link stays a link.
std::string targetOf(const char* path) {
    struct stat link {};
    if (::lstat(path, &link) != 0 || !S_ISLNK(link.st_mode)) return path;
    char* resolved = ::realpath(path, nullptr);
    if (resolved == nullptr) return path;
    std::string target = resolved;
    std::free(resolved);
    return target;
}

std::string changedMessage(const char* path) {
    return std::string(path) +
           " was changed by another process since it was loaded; not overwritten";
}

// The lock for a save of target: the held one while it still covers target, else a new one.
int lockForSave(const char* path, const std::string& target, bool* fresh, std::string* why) {
    struct stat current {};
    if (::stat(target.c_str(), &current) != 0) {
        *why = errno == ENOENT && state.loaded.known
                   ? changedMessage(path)
                   : "cannot reach " + std::string(path) + ": " + std::strerror(errno);
        return -1;
    }
    if (!S_ISREG(current.st_mode)) {
        *why = std::string(path) + " is not a regular file; not overwritten";
        return -1;
    }
    struct stat held {};
    if (state.lockFd >= 0 && ::fstat(state.lockFd, &held) == 0 && sameFile(held, current)) {
        *fresh = false;
        return state.lockFd;
    }
    *fresh = true;
    int fd = lockFile(target, why);
    if (fd < 0) *why += "; not overwritten";
    return fd;
}

bool writeTree(FFReplacement& replacement, FFNode* root, std::string* why, const char* path) {
    DException* failure = nullptr;
    errno = 0;
    bool ok = root->save(replacement.stream(), &failure);
    int error = errno;
    delete failure;
    if (!ok) {
        *why = std::string("cannot write ") + path + ": " +
               (error != 0 ? std::strerror(error) : "an entry cannot be written as LDIF");
    }
    return ok;
}

}  // namespace

FILE* FFStoreFile::openForLoad(const char* path, std::string* why) {
    forget();
    if (holding()) {
        int fd = lockFile(path, why);
        if (fd < 0) return nullptr;
        int reading = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        FILE* file = reading >= 0 ? ::fdopen(reading, "r") : nullptr;
        if (file == nullptr) {
            *why = std::string("cannot read ") + path + ": " + std::strerror(errno);
            if (reading >= 0) ::close(reading);
            ::close(fd);
            return nullptr;
        }
        state.lockFd = fd;
        struct stat st {};
        if (::fstat(fd, &st) == 0) state.loaded = Identity::of(st);
        return file;
    }
    FILE* file = std::fopen(path, "r");
    if (file == nullptr) {
        *why = std::string("cannot open ") + path + ": " + std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fileno(file), &st) == 0) state.loaded = Identity::of(st);
    return file;
}

bool FFStoreFile::save(const char* path, FFNode* root, std::string* why) {
    const std::string target = targetOf(path);
    bool fresh = false;
    int lock = -1;
    struct stat previous {};
    bool existed = ::stat(target.c_str(), &previous) == 0;
    if (existed || state.loaded.known) {
        lock = lockForSave(path, target, &fresh, why);
        if (lock < 0) return false;
        if (::fstat(lock, &previous) != 0 ||
            (state.loaded.known && !(Identity::of(previous) == state.loaded))) {
            *why = changedMessage(path);
            if (lock == state.lockFd) state.lockFd = -1;
            ::close(lock);
            return false;
        }
    }
    removeStaleTemporaries(target);
    FFReplacement replacement(target);
    struct stat written {};
    bool ok = replacement.open(lock >= 0 ? &previous : nullptr, why) &&
              writeTree(replacement, root, why, path) &&
              replacement.commit(lock >= 0, &written, why);
    if (ok) state.loaded = Identity::of(written);
    // The lock moves to the new file when holding; else it ends with the save.
    if (fresh || (ok && lock >= 0)) ::close(lock);
    if (lock == state.lockFd && (ok || fresh)) state.lockFd = -1;
    if (ok && holding() && state.users > 0) state.lockFd = replacement.lockedDescriptor();
    return ok;
}

void FFStoreFile::setHold(bool hold) {
    state.hold = hold ? 1 : 0;
}

bool FFStoreFile::holding() {
    if (state.hold < 0) {
        const char* value = std::getenv("QDX_FLATFILE_HOLD");
        state.hold = value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
    }
    return state.hold == 1;
}

bool FFStoreFile::attach(const char* path, std::string* why) {
    if (state.users == 0 && state.lockFd < 0 && holding() && path != nullptr) {
        int fd = lockFile(targetOf(path), why);
        if (fd < 0) return false;
        state.lockFd = fd;
    }
    ++state.users;
    return true;
}

void FFStoreFile::detach() {
    if (state.users > 0 && --state.users == 0) closeLock(state.lockFd);
}

void FFStoreFile::forget() {
    state.loaded = Identity{};
    closeLock(state.lockFd);
}
