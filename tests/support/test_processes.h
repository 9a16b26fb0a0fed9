#ifndef DIRCLIENT_TEST_PROCESSES_H
#define DIRCLIENT_TEST_PROCESSES_H

#include <sys/types.h>

#include <string>
#include <vector>

// Small process and socket helpers for the integration tests.

namespace dirclient::test {

// A TCP port on 127.0.0.1 that was free a moment ago, never the same twice in a process.
int free_tcp_port();

// Starts "argv" with standard output and error appended to "log" (or discarded when empty);
// the child's pid. Throws std::runtime_error when it cannot be started.
pid_t spawn(const std::vector<std::string>& argv, const std::string& log = "");

// Sends "signal" and reaps the child, waiting at most "seconds" before it sends SIGKILL.
void terminate(pid_t pid, int signal, double seconds = 5.0);

// True while the child runs; reaps it when it has ended.
bool still_running(pid_t pid);

// Runs a command to its end; its exit status, or -1.
int run(const std::vector<std::string>& argv, const std::string& log = "");

// A new private folder under TMPDIR (or /tmp), removed with its contents by the destructor.
class TempDir {
  public:
    explicit TempDir(const std::string& prefix);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

void write_file(const std::string& path, const std::string& contents);
std::string read_file(const std::string& path);

// A socket listening on a free port of 127.0.0.1, which "*port" receives. Throws
// std::runtime_error naming "what" when it cannot be opened.
int listen_on_loopback(int* port, const char* what);

// A socket on 127.0.0.1 that listens but never accepts nor answers: connections complete in
// the kernel and then hear nothing, as with a hung server.
class SilentServer {
  public:
    SilentServer();
    ~SilentServer();
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;
    int port() const { return port_; }
    std::string url() const;

  private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace dirclient::test

#endif
