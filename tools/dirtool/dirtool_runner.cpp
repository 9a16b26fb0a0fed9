#include "dirtool_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace dirtool::test {
namespace {

std::string temp_name(const char* role) {
    const char* dir = getenv("TMPDIR");
    std::string pattern =
        std::string(dir != nullptr ? dir : "/tmp") + "/dirtool-" + role + "-XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    close(fd);
    return pattern;
}

// Output goes through pipes, which a file size limit set for the child does not touch.
[[noreturn]] void exec_child(const std::vector<std::string>& args, const RunOptions& options,
                             const std::string& in, int out, int err) {
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
    int fds[3] = {open(in.c_str(), O_RDONLY), out, err};
    for (int i = 0; i < 3; ++i)
        if (fds[i] < 0 || dup2(fds[i], i) < 0) _exit(126);
    unsetenv("DIRTOOL_HOST");
    for (const char* name : {"QDX_PROFILE", "QDX_PROFILE_ACTIVITIES", "QDX_PROFILE_FILE",
                             "QDX_DEBUG", "QDX_PROFILE_REPORT_CPU", "QDX_PROFILE_REPORT_ELAPSED",
                             "QDX_PROFILE_REPORT_COUNT", "QDX_PROFILE_REPORT_DESCRIPTION"})
        unsetenv(name);
    for (const auto& [name, value] : options.env)
        setenv(name.c_str(), value.c_str(), 1);
    if (options.file_size_limit >= 0) {
        // Writing past the limit then fails with EFBIG instead of killing the process.
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                     static_cast<rlim_t>(options.file_size_limit)};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::vector<char*> argv{const_cast<char*>(DIRTOOL_PATH)};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(DIRTOOL_PATH, argv.data());
    _exit(127);
}

}  // namespace

// Reads both pipes to their end, whichever the child fills first.
void drain(int out, int err, RunResult& result) {
    pollfd fds[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
    std::string* texts[2] = {&result.out, &result.err};
    int open_pipes = 2;
    while (open_pipes > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error("poll failed");
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                texts[i]->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_pipes;
            }
        }
    }
}

RunResult run_dirtool(const std::vector<std::string>& args, const RunOptions& options) {
    std::string in = temp_name("in");
    {
        std::ofstream input(in, std::ios::binary);
        input << options.input;
    }
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe failed");
    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        close(out[0]);
        close(err[0]);
        exec_child(args, options, in, out[1], err[1]);
    }
    close(out[1]);
    close(err[1]);
    RunResult result;
    drain(out[0], err[0], result);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    unlink(in.c_str());
    return result;
}

}  // namespace dirtool::test
