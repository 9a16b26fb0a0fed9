// A helper process for the test slapd servers. slapd's socket overlays send it every
// add, delete, modify and rename of the test database and its result, and every search of
// the entry "cn=monitor"; it answers that search with an entry whose "modsCompleted" counts
// the modifications the server completed successfully, as the directory servers this
// product works with publish it.
//
// Usage: monitor_responder SOCKET_PATH

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>

namespace {

volatile sig_atomic_t g_stop = 0;

void on_signal(int) {
    g_stop = 1;
}

std::string read_message(int fd) {
    std::string message;
    char buffer[4096];
    while (message.find("\n\n") == std::string::npos) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        message.append(buffer, static_cast<size_t>(n));
    }
    return message;
}

std::map<std::string, std::string> fields_of(const std::string& message) {
    std::map<std::string, std::string> fields;
    std::istringstream lines(message);
    std::string line;
    while (std::getline(lines, line)) {
        size_t colon = line.find(": ");
        if (colon != std::string::npos && !fields.count(line.substr(0, colon)))
            fields[line.substr(0, colon)] = line.substr(colon + 2);
    }
    return fields;
}

void write_all(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

class Responder {
  public:
    void handle(int fd) {
        std::string message = read_message(fd);
        std::string command = message.substr(0, message.find('\n'));
        auto fields = fields_of(message);
        auto key = std::make_pair(fields["connid"], fields["msgid"]);
        if (command == "ADD" || command == "DELETE" || command == "MODIFY" || command == "MODRDN") {
            writes_.insert(key);
            write_all(fd, "CONTINUE\n\n");
        } else if (command == "RESULT") {
            if (writes_.erase(key) != 0 && fields["code"] == "0") ++mods_completed_;
        } else if (command == "SEARCH") {
            write_all(fd, fields["scope"] == "0" ? monitor_entry() : "CONTINUE\n\n");
        } else if (command != "ENTRY" && command != "UNBIND") {
            write_all(fd, "CONTINUE\n\n");
        }
    }

  private:
    std::string monitor_entry() const {
        return "dn: cn=monitor\nobjectClass: serverActivity\ncn: monitor\nmodsCompleted: " +
               std::to_string(mods_completed_) + "\n\nRESULT\ncode: 0\n\n";
    }

    std::set<std::pair<std::string, std::string>> writes_;  // sent, result not yet seen
    long mods_completed_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: monitor_responder SOCKET_PATH\n");
        return 2;
    }
    struct sigaction stop {};
    stop.sa_handler = on_signal;  // no SA_RESTART: the blocked accept returns
    sigaction(SIGTERM, &stop, nullptr);
    signal(SIGPIPE, SIG_IGN);
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, argv[1], sizeof address.sun_path - 1);
    unlink(argv[1]);
    if (listener < 0 ||
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, SOMAXCONN) != 0) {  // slapd's threads may all connect at once
        std::perror("monitor_responder");
        return 1;
    }
    Responder responder;
    while (!g_stop) {
        int fd = accept(listener, nullptr, nullptr);
        if (fd < 0) continue;
        responder.handle(fd);
        close(fd);
    }
    close(listener);
    unlink(argv[1]);
    return 0;
}
