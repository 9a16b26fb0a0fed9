#include "test_processes.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace dirclient::test {

namespace {

int any_free_tcp_port() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) close(fd);
        throw std::runtime_error("no free TCP port");
    }
    int port = ntohs(address.sin_port);
    close(fd);
    return port;
}

}  // namespace

int free_tcp_port() {
    // A port is never handed out twice in one process: clients remember servers that failed
    // (quarantine), and a new server on an old dead one's port would be tried last.
    static std::mutex mutex;
    static std::set<int> handed_out;
    std::lock_guard<std::mutex> lock(mutex);
    for (int attempt = 0; attempt < 100; ++attempt) {
        int port = any_free_tcp_port();
        if (handed_out.insert(port).second) return port;
    }
    throw std::runtime_error("no fresh free TCP port");
}

pid_t spawn(const std::vector<std::string>& argv, const std::string& log) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int out = log.empty() ? open("/dev/null", O_WRONLY)
                              : open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
            close(out);
        }
        int in = open("/dev/null", O_RDONLY);
        if (in >= 0) {
            dup2(in, 0);
            close(in);
        }
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

void terminate(pid_t pid, int signal, double seconds) {
    if (pid <= 0) return;
    kill(pid, signal);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

bool still_running(pid_t pid) {
    if (pid <= 0) return false;
    return waitpid(pid, nullptr, WNOHANG) == 0;
}

int run(const std::vector<std::string>& argv, const std::string& log) {
    pid_t pid = spawn(argv, log);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TempDir::TempDir(const std::string& prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = buffer.data();
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void write_file(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

int listen_on_loopback(int* port, const char* what) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 64) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) close(fd);
        throw std::runtime_error(std::string("cannot open ") + what);
    }
    *port = ntohs(address.sin_port);
    return fd;
}

SilentServer::SilentServer() {
    fd_ = listen_on_loopback(&port_, "a silent server");
}

SilentServer::~SilentServer() {
    if (fd_ >= 0) close(fd_);
}

std::string SilentServer::url() const {
    return "LDAP://127.0.0.1:" + std::to_string(port_);
}

}  // namespace dirclient::test
