// Host strings, server lists and DNS TXT answers are text from users and from the network:
// every parser must end, stay inside its input and give bounded results.
//
// The input is a host string, optionally followed by "\x01" and the name of a current
// server; the same bytes are also read as a raw DNS answer.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <dirclient/object_memory.h>
#include "dns_lookup.h"
#include "host_string.h"
#include "server_list_walk.h"

namespace {

void walk_server_list(const std::string& list) {
    const char* position = list.c_str();
    std::size_t servers = 0;
    while (auto server = dirclient::ldapaccess::next_server(&position)) {
        // A URL without a host stands for localhost.
        if (server->port < 1 || server->port > 65535 ||
            server->host.size() > std::max(list.size(), sizeof "localhost"))
            std::abort();
        if (++servers > list.size()) std::abort();  // every server uses up some text
    }
}

void walk_urls(const std::string& list) {
    std::string text = list;  // parse_URLs may write into the list
    char* position = text.data();
    for (std::size_t steps = 0; position != nullptr; ++steps) {
        if (steps > list.size() + 1) std::abort();
        char* host = nullptr;
        int port = 0;
        position = parse_URLs(position, &host, &port);
        if (host != nullptr && std::strlen(host) > std::max(list.size(), sizeof "localhost"))
            std::abort();
        std::free(host);
    }
}

void name_hosts(const std::string& host, const std::string& server) {
    char* kept = dirclient::connection::kept_host_name(host.c_str());
    if (kept != nullptr && std::strlen(kept) > host.size()) std::abort();
    char* text = dirclient::connection::host_text(kept != nullptr ? kept : host.c_str(),
                                                  host.c_str(), server.c_str());
    check_free(text);
    check_free(kept);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string text = input.c_str();  // a C text ends at its first NUL
    const std::size_t split = text.find('\x01');
    const std::string host = text.substr(0, split);
    const std::string server = split == std::string::npos ? "" : text.substr(split + 1);

    walk_server_list(host);
    walk_urls(host);
    name_hosts(host, server);

    auto answer = dirclient::ldapaccess::parse_txt_answer(data, static_cast<int>(size));
    if (answer && answer->size() > size) std::abort();
    return 0;
}
