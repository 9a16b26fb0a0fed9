#include "error_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr const char* kDefaultLog = "qdxserv.log";

enum class Source { none, default_file, list_file, standard_error };

struct LogState {
    std::vector<std::string> files;  // empty: no rotation list
    int per_file = 0;
    size_t index = 0;  // current name in files
    int written = 0;   // messages written to the current stream
    FILE* stream = nullptr;
    Source source = Source::none;
};

std::mutex errlog_mutex;
LogState state;  // guarded by errlog_mutex

// The default log lies in whatever folder the process runs in, where anyone may have put a
// link to a file worth keeping: it is never reached through a symlink, and a new one is
// readable by its owner only (messages can name users and DNs).
FILE* open_default_log() {
    int fd = open(kDefaultLog, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    FILE* f = fdopen(fd, "w");
    if (!f) close(fd);
    return f;
}

void wrap_index(LogState& s) {
    if (s.index >= s.files.size()) s.index = 0;
}

void close_stream(LogState& s) {
    if (s.stream && s.source != Source::standard_error) fclose(s.stream);
    s.stream = nullptr;
    s.source = Source::none;
}

// A log that fell back to the default file or to standard error moves to the list once
// there is one; returns the name of where earlier output went, or null.
const char* redirect_to_list(LogState& s) {
    if (!s.stream || s.source == Source::list_file || s.files.empty()) return nullptr;
    wrap_index(s);
    FILE* f = fopen(s.files[s.index].c_str(), "w");
    if (!f) return nullptr;
    const char* previous = nullptr;
    if (s.source == Source::default_file) {
        previous = kDefaultLog;
        fclose(s.stream);
    } else {
        previous = "(stderr) device/file";
    }
    s.stream = f;
    s.source = Source::list_file;
    s.written = 0;
    return previous;
}

void open_stream(LogState& s) {
    if (s.stream) return;
    if (!s.files.empty()) {
        wrap_index(s);
        if ((s.stream = fopen(s.files[s.index].c_str(), "w"))) s.source = Source::list_file;
    }
    if (!s.stream && (s.stream = open_default_log())) s.source = Source::default_file;
    if (!s.stream) {
        s.stream = stderr;
        s.source = Source::standard_error;
    }
    s.written = 0;
}

void write_stamp(FILE* f) {
    time_t now = time(nullptr);
    struct tm local;
    char stamp[32] = "";
    if (localtime_r(&now, &local)) strftime(stamp, sizeof stamp, "%Y%m%d%H%M%SZ", &local);
    fprintf(f, "%s  ", stamp);
}

void rotate(LogState& s) {
    if (++s.written < s.per_file) return;
    close_stream(s);
    s.written = 0;
    ++s.index;
    wrap_index(s);
}

}  // namespace

extern "C" {

void ErrorLog(const char* format, ...) {
    std::lock_guard<std::mutex> lock(errlog_mutex);
    const char* previous = redirect_to_list(state);
    open_stream(state);
    FILE* f = state.stream;
    write_stamp(f);
    if (previous) {
        fputs("ERROR OUTPUT HAS BEEN REDIRECTED FROM A PREVIOUS SOURCE\n", f);
        write_stamp(f);
        fprintf(f, "OTHER ERROR OUTPUT EXISTS IN: %s\n", previous);
        write_stamp(f);
    }
    va_list args;
    va_start(args, format);
    vfprintf(f, format, args);
    va_end(args);
    fflush(f);
    rotate(state);
}

void errlog_set_rotation(const char* const* files, int per_file) {
    std::vector<std::string> names;
    try {
        for (; files && *files; ++files)
            names.emplace_back(*files);
    } catch (...) {
        return;  // out of memory: the settings stay as they were
    }
    std::lock_guard<std::mutex> lock(errlog_mutex);
    if (state.source == Source::list_file) close_stream(state);
    state.files = std::move(names);
    state.per_file = per_file;
    state.index = 0;
    state.written = 0;
}

void errlog_close(void) {
    std::lock_guard<std::mutex> lock(errlog_mutex);
    close_stream(state);
    state.index = 0;
    state.written = 0;
}

}  // extern "C"
