#include "spool_queue.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

namespace {

// Records errno with the failed call and its paths; allocates nothing, so that it also
// serves to report exhausted memory.
void fail(RqcxStatus* status, const char* call, const std::string& path = {},
          const std::string& other = {}) {
    if (!status) return;
    status->error = errno;
    std::snprintf(status->detail, sizeof status->detail, "%s%s%s%s%s", call,
                  path.empty() ? "" : " ", path.c_str(), other.empty() ? "" : " ", other.c_str());
}

std::string queue_dir(const char* spool, const char* queue) {
    return std::string(spool) + "/" + queue;
}

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) ::close(fd);
    }
};

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

bool make_dir(const std::string& path, RqcxStatus* status) {
    if (::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST) return true;
    fail(status, "mkdir", path);
    return false;
}

// A name that sorts messages in the order they were put: nanoseconds, made strictly
// increasing within the process, then the process id to part equal stamps of two writers.
std::string next_message_name() {
    static std::mutex stamp_mutex;
    static unsigned long long last_stamp = 0;  // guarded by stamp_mutex
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    unsigned long long stamp =
        static_cast<unsigned long long>(now.tv_sec) * 1000000000ULL + now.tv_nsec;
    {
        std::lock_guard lock(stamp_mutex);
        if (stamp <= last_stamp) stamp = last_stamp + 1;
        last_stamp = stamp;
    }
    char name[64];
    std::snprintf(name, sizeof name, "%020llu-%010ld.msg", stamp, static_cast<long>(::getpid()));
    return name;
}

std::string next_work_name(const char* kind) {
    static std::atomic<unsigned long> counter{0};
    char name[64];
    std::snprintf(name, sizeof name, ".%s-%ld-%lu", kind, static_cast<long>(::getpid()),
                  counter.fetch_add(1));
    return name;
}

bool write_all(int fd, const char* data, size_t length) {
    while (length > 0) {
        ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool read_all(int fd, char* data, size_t length) {
    while (length > 0) {
        ssize_t n = ::read(fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = EIO;  // the file shrank under us
            return false;
        }
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool is_message_name(const char* name) {
    size_t length = std::strlen(name);
    return name[0] != '.' && length > 4 && std::strcmp(name + length - 4, ".msg") == 0;
}

// The oldest message of the folder: 1 found, 0 none, -1 unreadable folder.
int oldest_message(const std::string& dir, std::string& oldest, RqcxStatus* status) {
    std::unique_ptr<DIR, DirCloser> folder(::opendir(dir.c_str()));
    if (!folder) {
        if (errno == ENOENT) return 0;
        fail(status, "opendir", dir);
        return -1;
    }
    oldest.clear();
    errno = 0;
    while (dirent* entry = ::readdir(folder.get())) {
        if (is_message_name(entry->d_name) && (oldest.empty() || oldest > entry->d_name))
            oldest = entry->d_name;
    }
    if (errno != 0) {
        fail(status, "readdir", dir);
        return -1;
    }
    return oldest.empty() ? 0 : 1;
}

// Reads a claimed message file into a new buffer.
bool read_message(const std::string& path, void** data, size_t* length, RqcxStatus* status) {
    FdCloser file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    struct stat info {};
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0) {
        fail(status, "open", path);
        return false;
    }
    size_t size = static_cast<size_t>(info.st_size);
    char* buffer = nullptr;
    if (size > 0) {
        buffer = static_cast<char*>(std::malloc(size));
        if (!buffer) {
            fail(status, "malloc for", path);
            return false;
        }
        if (!read_all(file.fd, buffer, size)) {
            fail(status, "read", path);
            std::free(buffer);
            return false;
        }
    }
    *data = buffer;
    *length = size;
    return true;
}

}  // namespace

extern "C" {

RQC_API int rqcxQueueNameValid(const char* name, size_t length) {
    if (!name || length == 0 || std::memchr(name, '/', length) || std::memchr(name, 0, length))
        return 0;
    bool dots = name[0] == '.' && (length == 1 || (length == 2 && name[1] == '.'));
    return !dots;
}

RQC_API int rqcxQueueCreate(const char* spool, const char* queue, RqcxStatus* status) {
    try {
        return make_dir(spool, status) && make_dir(queue_dir(spool, queue), status);
    } catch (...) {
        errno = ENOMEM;
        fail(status, "out of memory in rqcxQueueCreate");
        return 0;
    }
}

RQC_API int rqcxQueuePut(const char* spool, const char* queue, const void* data, size_t length,
                         RqcxStatus* status) {
    try {
        std::string dir = queue_dir(spool, queue);
        if (!make_dir(dir, status)) return 0;
        std::string work = dir + "/" + next_work_name("tmp");
        {
            FdCloser file{::open(work.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666)};
            if (file.fd < 0) {
                fail(status, "open", work);
                return 0;
            }
            bool written = write_all(file.fd, static_cast<const char*>(data), length);
            int write_error = errno;
            int closed = ::close(file.fd);
            file.fd = -1;
            if (!written || closed != 0) {
                if (!written) errno = write_error;
                fail(status, "write", work);
                ::unlink(work.c_str());
                return 0;
            }
        }
        std::string final_path = dir + "/" + next_message_name();
        if (::rename(work.c_str(), final_path.c_str()) != 0) {
            fail(status, "rename", work, final_path);
            ::unlink(work.c_str());
            return 0;
        }
        return 1;
    } catch (...) {
        errno = ENOMEM;
        fail(status, "out of memory in rqcxQueuePut");
        return 0;
    }
}

RQC_API int rqcxQueueTake(const char* spool, const char* queue, void** data, size_t* length,
                          RqcxStatus* status) {
    try {
        std::string dir = queue_dir(spool, queue);
        std::string oldest;
        for (;;) {
            int found = oldest_message(dir, oldest, status);
            if (found <= 0) return found;
            std::string path = dir + "/" + oldest;
            std::string claim = dir + "/" + next_work_name("claim");
            if (::rename(path.c_str(), claim.c_str()) != 0) {
                if (errno == ENOENT) continue;  // another taker was quicker
                fail(status, "rename", path, claim);
                return -1;
            }
            if (!read_message(claim, data, length, status)) {
                ::rename(claim.c_str(), path.c_str());  // leave it queued for another try
                return -1;
            }
            ::unlink(claim.c_str());
            return 1;
        }
    } catch (...) {
        errno = ENOMEM;
        fail(status, "out of memory in rqcxQueueTake");
        return -1;
    }
}

}  // extern "C"
