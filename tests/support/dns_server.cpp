#include "dns_server.h"

#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <netinet/in.h>
#include <resolv.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "test_processes.h"

namespace dirclient::test {

bool in_private_dns_namespace(std::string* reason) {
    const char* state = std::getenv("DIRCLIENT_DNS_NAMESPACE");
    if (state != nullptr && std::string(state) == "private") return true;
    if (reason != nullptr)
        *reason = state != nullptr
                      ? "private mount and network namespaces are not permitted here "
                        "(unshare -m -n), so the real resolver cannot be pointed at a test DNS "
                        "server"
                      : "not started through tests/support/run_in_private_namespace.sh";
    return false;
}

std::string answer_with_record(const std::string& query, int type, const std::string& rdata) {
    size_t question_end = 12;
    while (question_end < query.size() && query[question_end] != 0)
        question_end += 1 + static_cast<unsigned char>(query[question_end]);
    question_end += 5;  // the root label, type and class
    std::string reply =
        query.substr(0, 2) + std::string("\x81\x80\x00\x01\x00\x01\x00\x00\x00\x00", 10);
    reply += query.substr(12, question_end - 12);
    reply += std::string("\xc0\x0c\x00", 3) + static_cast<char>(type);
    reply += std::string("\x00\x01\x00\x00\x00\x3c", 6);
    reply.push_back(static_cast<char>(rdata.size() >> 8));
    reply.push_back(static_cast<char>(rdata.size() & 0xff));
    return reply + rdata;
}

Dnsmasq::Dnsmasq(const std::vector<TxtRecord>& records, const std::vector<std::string>& srv_hosts) {
    std::vector<std::string> argv = {"dnsmasq",
                                     "--keep-in-foreground",
                                     "--no-resolv",
                                     "--no-hosts",
                                     "--conf-file=/dev/null",
                                     "--port=53",
                                     "--listen-address=127.0.0.1",
                                     "--bind-interfaces",
                                     "--pid-file=",
                                     "--user=root",
                                     "--log-facility=-"};
    for (const TxtRecord& record : records) {
        std::string option = "--txt-record=" + record.first;
        for (const std::string& text : record.second)
            option += "," + text;
        argv.push_back(option);
    }
    for (const std::string& srv : srv_hosts)
        argv.push_back("--srv-host=" + srv);
    // A record of its own tells when dnsmasq answers, whatever the test serves.
    argv.push_back("--txt-record=ready.dnsmasq.test,ok");
    pid_ = spawn(argv);
    // Ready once it answers.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!still_running(pid_)) throw std::runtime_error("dnsmasq did not start");
        struct __res_state state {};
        unsigned char answer[4096];
        if (res_ninit(&state) == 0) {
            int n =
                res_nquery(&state, "ready.dnsmasq.test", ns_c_in, ns_t_txt, answer, sizeof answer);
            res_nclose(&state);
            if (n > 0) return;
        }
        usleep(20000);
    }
    throw std::runtime_error("dnsmasq did not answer");
}

Dnsmasq::~Dnsmasq() {
    terminate(pid_, SIGTERM);
}

FakeDnsServer::FakeDnsServer(Answer answer) : answer_(std::move(answer)) {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(53);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval poll{0, 100000};
    if (fd_ < 0 || setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &poll, sizeof poll) != 0 ||
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1:53");
    thread_ = std::thread(&FakeDnsServer::serve, this);
}

FakeDnsServer::~FakeDnsServer() {
    stop_ = true;
    thread_.join();
    close(fd_);
}

void FakeDnsServer::serve() {
    char buffer[4096];
    while (!stop_) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        ssize_t n =
            recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&peer), &length);
        if (n <= 0) continue;
        std::string reply = answer_(std::string(buffer, static_cast<size_t>(n)));
        sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&peer), length);
    }
}

}  // namespace dirclient::test
