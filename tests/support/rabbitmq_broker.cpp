#include "rabbitmq_broker.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <vector>

namespace dirclient::test {

namespace {

bool accepts(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

// The broker runs as its own user, which must own the data folder and reach it.
void hand_over(const std::string& path) {
    const passwd* user = getpwnam("rabbitmq");
    if (user == nullptr)
        throw std::runtime_error("no rabbitmq user: is rabbitmq-server installed?");
    if (run({"chown", "-R", "rabbitmq:rabbitmq", path}) != 0 || run({"chmod", "755", path}) != 0)
        throw std::runtime_error("cannot hand " + path + " to the rabbitmq user");
}

std::vector<std::string> environment(const std::string& dir, const std::string& node, int port,
                                     int dist_port, int epmd_port) {
    return {"env",
            "RABBITMQ_NODENAME=" + node,
            "RABBITMQ_NODE_IP_ADDRESS=127.0.0.1",
            "RABBITMQ_NODE_PORT=" + std::to_string(port),
            "RABBITMQ_DIST_PORT=" + std::to_string(dist_port),
            "ERL_EPMD_PORT=" + std::to_string(epmd_port),
            "RABBITMQ_MNESIA_BASE=" + dir + "/mnesia",
            "RABBITMQ_LOG_BASE=" + dir + "/log",
            "RABBITMQ_ENABLED_PLUGINS_FILE=" + dir + "/plugins",
            "RABBITMQ_FEATURE_FLAGS_FILE=" + dir + "/mnesia/ff",
            "RABBITMQ_PID_FILE=" + dir + "/pid"};
}

}  // namespace

RabbitMqBroker::RabbitMqBroker()
    : dir_("rabbitmq"), node_("dirclient" + std::to_string(getpid()) + "@localhost") {
    port_ = free_tcp_port();
    dist_port_ = free_tcp_port();
    epmd_port_ = free_tcp_port();
    run({"mkdir", "-p", dir_.file("mnesia"), dir_.file("log")});
    write_file(dir_.file("plugins"), "");
    hand_over(dir_.path());
    start();
}

RabbitMqBroker::~RabbitMqBroker() {
    try {
        stop();
    } catch (...) {
    }
    // The port mapper outlives the node it served; it is ours, so it goes too.
    run({"env", "ERL_EPMD_PORT=" + std::to_string(epmd_port_), "epmd", "-kill"});
}

void RabbitMqBroker::start() {
    if (pid_ > 0) return;
    std::vector<std::string> argv = environment(dir_.path(), node_, port_, dist_port_, epmd_port_);
    argv.push_back("rabbitmq-server");
    pid_ = spawn(argv, dir_.file("broker.log"));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!still_running(pid_)) {
            pid_ = -1;
            throw std::runtime_error("rabbitmq-server ended: " +
                                     read_file(dir_.file("broker.log")));
        }
        if (accepts(port_)) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    stop();
    throw std::runtime_error("rabbitmq-server did not listen within 60 s");
}

void RabbitMqBroker::stop() {
    if (pid_ <= 0) return;
    std::vector<std::string> argv = environment(dir_.path(), node_, port_, dist_port_, epmd_port_);
    argv.insert(argv.end(), {"rabbitmqctl", "-q", "-n", node_, "stop"});
    run(argv, dir_.file("ctl.log"));
    // The wrapper's process may end before the node: the node's own pid file tells it.
    std::string node_pid = read_file(dir_.file("pid"));
    terminate(pid_, SIGTERM, 20.0);
    pid_ = -1;
    long pid = std::atol(node_pid.c_str());
    for (int i = 0; pid > 0 && i < 200 && kill(static_cast<pid_t>(pid), 0) == 0; ++i) {
        if (i == 100) kill(static_cast<pid_t>(pid), SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    unlink(dir_.file("pid").c_str());
}

std::string RabbitMqBroker::url(const std::string& user, const std::string& password) const {
    return "amqp://" + user + ":" + password + "@127.0.0.1:" + std::to_string(port_);
}

}  // namespace dirclient::test
