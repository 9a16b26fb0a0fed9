#include "secret_input.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>

namespace dirtool {

namespace {

void blank(char* text) {
    for (char* c = text; *c != '\0'; ++c)
        *c = 'x';
}

// Restores the terminal's modes on every way out.
class EchoOff {
  public:
    explicit EchoOff(int fd) : fd_(fd) {
        if (tcgetattr(fd_, &saved_) != 0) return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        active_ = tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff() {
        if (active_) tcsetattr(fd_, TCSAFLUSH, &saved_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

  private:
    int fd_;
    termios saved_{};
    bool active_ = false;
};

}  // namespace

void hide_password_arguments(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        char* arg = argv[i];
        if (std::strcmp(arg, "--") == 0) return;
        if ((std::strcmp(arg, "-w") == 0 || std::strcmp(arg, "--password") == 0) && i + 1 < argc)
            blank(argv[++i]);
        else if (std::strncmp(arg, "--password=", 11) == 0)
            blank(arg + 11);
        else if (std::strncmp(arg, "-w", 2) == 0 && arg[2] != '\0')
            blank(arg + 2);
    }
}

std::optional<std::string> prompt_password(const char* prompt) {
    int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> password;
    {
        EchoOff quiet(fd);
        if (write(fd, prompt, std::strlen(prompt)) >= 0) {
            std::string line;
            char c = 0;
            ssize_t n = 0;
            while ((n = read(fd, &c, 1)) == 1 && c != '\n')
                line += c;
            if (n == 1 || !line.empty()) password = std::move(line);
        }
    }
    close(fd);
    if (password && !password->empty() && password->back() == '\r') password->pop_back();
    return password;
}

}  // namespace dirtool
