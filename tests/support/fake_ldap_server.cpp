#include "fake_ldap_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

#include "test_processes.h"

namespace dirclient::test {

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned char kBindRequest = 0x60, kBindResponse = 0x61;
constexpr unsigned char kSearchRequest = 0x63, kSearchEntry = 0x64, kSearchDone = 0x65;
constexpr unsigned char kUnbindRequest = 0x42;

std::string tlv(unsigned char tag, const std::string& content) {
    std::string out(1, static_cast<char>(tag));
    size_t n = content.size();
    if (n < 0x80) {
        out += static_cast<char>(n);
    } else {
        std::string bytes;
        for (; n > 0; n >>= 8)
            bytes.insert(bytes.begin(), static_cast<char>(n & 0xff));
        out += static_cast<char>(0x80 | bytes.size());
        out += bytes;
    }
    return out + content;
}

std::string integer(long value) {
    std::string bytes;
    do {
        bytes.insert(bytes.begin(), static_cast<char>(value & 0xff));
        value >>= 8;
    } while (value > 0);
    if (static_cast<unsigned char>(bytes[0]) & 0x80) bytes.insert(bytes.begin(), '\0');
    return tlv(0x02, bytes);
}

std::string message(long id, unsigned char op, const std::string& body) {
    return tlv(0x30, integer(id) + tlv(op, body));
}

std::string success(long id, unsigned char op) {
    return message(id, op, tlv(0x0a, std::string(1, '\0')) + tlv(0x04, "") + tlv(0x04, ""));
}

// One complete request at the start of "buffer": its length, message id and operation.
struct Request {
    size_t length;
    long id;
    unsigned char op;
};

std::optional<size_t> read_length(const std::string& b, size_t* pos) {
    if (*pos >= b.size()) return std::nullopt;
    unsigned char first = static_cast<unsigned char>(b[(*pos)++]);
    if (first < 0x80) return first;
    size_t n = 0;
    for (int i = 0; i < (first & 0x7f); ++i) {
        if (*pos >= b.size()) return std::nullopt;
        n = (n << 8) | static_cast<unsigned char>(b[(*pos)++]);
    }
    return n;
}

std::optional<Request> next_request(const std::string& b) {
    size_t pos = 1;
    std::optional<size_t> total = read_length(b, &pos);
    if (!total || b.size() < pos + *total) return std::nullopt;
    size_t end = pos + *total;
    ++pos;  // the message id's tag
    std::optional<size_t> id_length = read_length(b, &pos);
    if (!id_length) return std::nullopt;
    long id = 0;
    for (size_t i = 0; i < *id_length; ++i)
        id = (id << 8) | static_cast<unsigned char>(b[pos++]);
    return Request{end, id, static_cast<unsigned char>(b[pos])};
}

struct Client {
    int fd;
    std::string input;
    struct Drip {
        long id;
        int left;
        Clock::time_point next;
    };
    std::vector<Drip> drips;
};

void send_all(int fd, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}

}  // namespace

FakeLdapServer::FakeLdapServer(Behaviour behaviour) : behaviour_(behaviour) {
    fd_ = listen_on_loopback(&port_, "a fake LDAP server");
    thread_ = std::thread(&FakeLdapServer::serve, this);
}

FakeLdapServer::~FakeLdapServer() {
    stop_ = true;
    thread_.join();
    close(fd_);
}

std::string FakeLdapServer::url() const {
    return "LDAP://127.0.0.1:" + std::to_string(port_);
}

void FakeLdapServer::serve() {
    std::vector<Client> clients;
    const auto interval = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(behaviour_.interval));
    while (!stop_) {
        std::vector<pollfd> fds{{fd_, POLLIN, 0}};
        for (const Client& c : clients)
            fds.push_back({c.fd, POLLIN, 0});
        poll(fds.data(), fds.size(), 20);
        if (fds[0].revents & POLLIN) {
            int client = accept(fd_, nullptr, nullptr);
            if (client >= 0) clients.push_back({client, {}, {}});
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            Client& c = clients[i - 1];
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[4096];
            ssize_t n = recv(c.fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                close(c.fd);
                c.fd = -1;
                continue;
            }
            c.input.append(buffer, static_cast<size_t>(n));
            while (std::optional<Request> r = next_request(c.input)) {
                c.input.erase(0, r->length);
                if (r->op == kBindRequest) send_all(c.fd, success(r->id, kBindResponse));
                if (r->op == kSearchRequest && behaviour_.answer_searches)
                    c.drips.push_back({r->id, behaviour_.entries, Clock::now() + interval});
                if (r->op == kUnbindRequest) break;
            }
        }
        for (Client& c : clients) {
            for (auto& drip : c.drips) {
                if (c.fd < 0 || Clock::now() < drip.next || drip.left < 0) continue;
                if (drip.left-- > 0) {
                    std::string dn = "cn=entry" + std::to_string(drip.left) + ",dc=example,dc=com";
                    send_all(c.fd, message(drip.id, kSearchEntry, tlv(0x04, dn) + tlv(0x30, "")));
                    drip.next += interval;
                } else {
                    send_all(c.fd, success(drip.id, kSearchDone));
                }
            }
        }
        std::erase_if(clients, [](const Client& c) { return c.fd < 0; });
    }
    for (const Client& c : clients)
        close(c.fd);
}

}  // namespace dirclient::test
