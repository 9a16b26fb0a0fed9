// replhost: a directory server in miniature for the replication bridge. It loads the
// plug-in, then either sends updates as the master or fetches and prints them as a slave.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "plugin_loader.h"
#include "update_folder.h"
#include "update_split.h"

namespace {

constexpr const char* kUsage =
    "usage: replhost [--plugin FILE] master NAME --to SERVICE [--suffix TEXT]\n"
    "                [--address TEXT] [--split blank|line|whole] [FILE]\n"
    "       replhost [--plugin FILE] slave NAME [--text TEXT] [--count N]\n"
    "                [--idle SECONDS] [--out DIR]\n";

struct Options {
    std::string plugin;
    std::string role;  // "master" or "slave"
    std::string name;
    // master
    std::string service, suffix, address, input = "-";
    replhost::Split split = replhost::Split::kBlankLine;
    // slave
    std::string text, out_dir;
    long count = 0;     // 0: no limit
    double idle = 2.0;  // seconds without an update before a slave stops
};

void host_log(int level, const char* format, ...) {
    std::fprintf(stderr, "replhost: [%d] ", level);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

void host_allocate(void** data, int length) {
    *data = std::malloc(static_cast<size_t>(length));
}

ReplHost host_record{host_allocate, host_log};

bool parse_number(const char* text, double& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text, &end);
    return errno == 0 && end != text && *end == '\0' && value >= 0;
}

bool parse_count(const char* text, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= 0;
}

std::optional<Options> parse(int argc, char** argv) {
    Options options;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        double number = 0;
        if (arg.rfind("--", 0) != 0 || arg == "-") {
            positional.push_back(arg);
            continue;
        }
        if (!(v = value())) return std::nullopt;
        if (arg == "--plugin")
            options.plugin = v;
        else if (arg == "--to")
            options.service = v;
        else if (arg == "--suffix")
            options.suffix = v;
        else if (arg == "--address")
            options.address = v;
        else if (arg == "--text")
            options.text = v;
        else if (arg == "--out")
            options.out_dir = v;
        else if (arg == "--split" && replhost::parse_split(v))
            options.split = *replhost::parse_split(v);
        else if (arg == "--count" && parse_count(v, options.count))
            continue;
        else if (arg == "--idle" && parse_number(v, number))
            options.idle = number;
        else
            return std::nullopt;
    }
    if (positional.size() < 2 || positional.size() > 3) return std::nullopt;
    options.role = positional[0];
    options.name = positional[1];
    if (options.role == "master" && !options.service.empty()) {
        if (positional.size() == 3) options.input = positional[2];
        return options;
    }
    if (options.role == "slave" && positional.size() == 2) return options;
    return std::nullopt;
}

bool read_input(const std::string& path, std::string& content) {
    if (path == "-") {
        content.assign(std::istreambuf_iterator<char>(std::cin), {});
        return !std::cin.bad();
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    content.assign(std::istreambuf_iterator<char>(file), {});
    return !file.bad();
}

int run_master(const ReplEntryTable& bridge, const Options& options) {
    std::string input;
    if (!read_input(options.input, input)) {
        std::fprintf(stderr, "replhost: cannot read %s: %s\n", options.input.c_str(),
                     std::strerror(errno));
        return 1;
    }
    if (bridge.initialize(&host_record, options.name.c_str(), nullptr, options.suffix.c_str(),
                          nullptr) != 0)
        return 1;
    int sent = 0;
    int status = 0;
    for (const std::string& update : replhost::split_updates(input, options.split)) {
        if (update.size() > static_cast<size_t>(INT32_MAX) ||
            bridge.sendupdate(&host_record, options.service.c_str(), options.address.c_str(),
                              update.data(), static_cast<int>(update.size())) != 1) {
            status = 1;
            break;
        }
        ++sent;
    }
    if (bridge.shutdown(&host_record) != 0) status = 1;
    std::fprintf(stderr, "replhost: %s sent %d update%s to %s\n", options.name.c_str(), sent,
                 sent == 1 ? "" : "s", options.service.c_str());
    return status;
}

bool print_update(const char* data, int length) {
    std::fwrite(data, 1, static_cast<size_t>(length), stdout);
    if (data[length - 1] != '\n') std::fputc('\n', stdout);
    std::fputc('\n', stdout);
    return !std::ferror(stdout);
}

// An update is off the queue once fetched: one that cannot be kept is reported as lost.
bool deliver(std::optional<replhost::UpdateFolder>& folder, long number, const char* data,
             int length) {
    if (!folder) {
        if (print_update(data, length)) return true;
        std::fprintf(stderr, "replhost: cannot write update %ld to standard output: %s\n", number,
                     std::strerror(errno));
    } else if (folder->write(data, static_cast<size_t>(length))) {
        return true;
    } else {
        std::fprintf(stderr, "replhost: %s\n", folder->error().c_str());
    }
    std::fprintf(stderr, "replhost: update %ld lost\n", number);
    return false;
}

int run_slave(const ReplEntryTable& bridge, const Options& options) {
    if (!options.out_dir.empty() && mkdir(options.out_dir.c_str(), 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "replhost: cannot make %s: %s\n", options.out_dir.c_str(),
                     std::strerror(errno));
        return 1;
    }
    if (bridge.initialize(&host_record, nullptr, options.name.c_str(), nullptr,
                          options.text.c_str()) != 0)
        return 1;
    std::optional<replhost::UpdateFolder> folder;
    if (!options.out_dir.empty()) folder.emplace(options.out_dir);
    using Clock = std::chrono::steady_clock;
    const auto idle = std::chrono::duration<double>(options.idle);
    auto last_update = Clock::now();
    long received = 0;
    bool written = true;
    while (written && (options.count == 0 || received < options.count)) {
        void* data = nullptr;
        int length = bridge.getupdate(&host_record, nullptr, &data);
        if (length > 0) {
            written = deliver(folder, ++received, static_cast<const char*>(data), length);
            std::free(data);
            last_update = Clock::now();
        } else if (Clock::now() - last_update >= idle) {
            break;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    std::fflush(stdout);
    int status = bridge.shutdown(&host_record) == 0 && written ? 0 : 1;
    std::fprintf(stderr, "replhost: %s received %ld update%s\n", options.name.c_str(), received,
                 received == 1 ? "" : "s");
    if (options.count > 0 && received < options.count) status = 1;
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<Options> options = parse(argc, argv);
    if (!options) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    replhost::PluginLoader plugin;
    std::string path = options->plugin.empty() ? replhost::default_plugin_path() : options->plugin;
    if (!plugin.load(path)) {
        std::fprintf(stderr, "replhost: cannot load the plug-in: %s\n", plugin.error().c_str());
        return 1;
    }
    return options->role == "master" ? run_master(plugin.entries(), *options)
                                     : run_slave(plugin.entries(), *options);
}
