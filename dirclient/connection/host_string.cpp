#include "host_string.h"

#include <strings.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "object_memory.h"

namespace dirclient::connection {

namespace {

constexpr const char* kFilePrefix = "FILE:///";
constexpr const char* kLdapPrefix = "LDAP://";
constexpr const char* kLdapsPrefix = "LDAPS://";
constexpr const char* kDnsPrefix = "DNS:";
constexpr const char* kDnsSrvPrefix = "DNS-SRV:";

bool view_has_prefix(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

std::vector<std::string_view> elements(std::string_view list) {
    std::vector<std::string_view> parts;
    for (;;) {
        std::size_t end = list.find(';');
        parts.push_back(list.substr(0, end));
        if (end == std::string_view::npos) return parts;
        list.remove_prefix(end + 1);
    }
}

char* copy_of(std::string_view text) {
    char* copy = check_malloc(text.size() + 1);
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

// Whether element names server: it begins with it and goes on, if at all, with what may
// follow a host and port (a path or the end). Without a "://" the server text has been cut
// down to the bare scheme and any element of that scheme will do.
bool names_server(std::string_view element, std::string_view server) {
    if (!view_has_prefix(element, server)) return false;
    if (server.find("://") == std::string_view::npos) return true;
    return element.size() == server.size() || element[server.size()] == '/';
}

}  // namespace

bool has_prefix(const char* text, const char* prefix) {
    return text != nullptr && strncasecmp(text, prefix, std::strlen(prefix)) == 0;
}

char* kept_host_name(const char* host) {
    if (host == nullptr) return nullptr;
    std::string_view text(host);
    if (view_has_prefix(text, kFilePrefix)) return copy_of(text.substr(0, text.find(';')));

    std::vector<std::string_view> parts = elements(text);
    bool ldap = false;
    bool file = false;
    for (std::string_view part : parts) {
        ldap = ldap || view_has_prefix(part, kLdapPrefix) || view_has_prefix(part, kLdapsPrefix);
        file = file || view_has_prefix(part, kFilePrefix);
    }
    if (!(ldap && file)) return strcopy(host);

    // Dropping every flat-file element with one separator leaves the other elements joined
    // by ';' in their order.
    std::string kept;
    bool first = true;
    for (std::string_view part : parts) {
        if (view_has_prefix(part, kFilePrefix)) continue;
        if (!first) kept += ';';
        kept += part;
        first = false;
    }
    return copy_of(kept);
}

char* host_text(const char* hostName, const char* hostUrl, const char* server) {
    if (server == nullptr) return strcopy(hostName);
    std::string_view current(server);
    if (has_prefix(hostName, kDnsPrefix) || has_prefix(hostName, kDnsSrvPrefix)) {
        std::string text(current);
        if (hostUrl != nullptr) {
            if (const char* path = std::strchr(hostUrl, '/')) text += path;
        }
        return copy_of(text);
    }
    if (hostUrl == nullptr) return strcopy(server);

    std::vector<std::string_view> parts = elements(hostUrl);
    std::string_view wanted = current;
    for (;;) {
        for (std::string_view part : parts) {
            if (names_server(part, wanted)) {
                std::string text(wanted);
                text += part.substr(wanted.size());
                return copy_of(text);
            }
        }
        std::size_t colon = wanted.rfind(':');
        if (colon == std::string_view::npos) return strcopy(server);
        wanted = wanted.substr(0, colon);
    }
}

}  // namespace dirclient::connection
