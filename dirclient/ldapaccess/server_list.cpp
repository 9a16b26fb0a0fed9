#include "server_list_walk.h"

#include <strings.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

#include <ldap.h>

namespace dirclient::ldapaccess {

namespace {

struct Element {
    const char* after = nullptr;  // position after the element and its separator
    std::string text;             // trimmed of blanks
};

// The next element of the list that libldap takes for an LDAP URL.
std::optional<Element> next_url_element(const char* position) {
    while (position != nullptr && *position != '\0') {
        const char* end = std::strchr(position, ';');
        size_t length = end ? static_cast<size_t>(end - position) : std::strlen(position);
        std::string text(position, length);
        size_t first = text.find_first_not_of(" \t");
        size_t last = text.find_last_not_of(" \t");
        text = first == std::string::npos ? "" : text.substr(first, last - first + 1);
        position = end ? end + 1 : position + length;
        if (!text.empty() && ldap_is_ldap_url(text.c_str())) return Element{position, text};
    }
    return std::nullopt;
}

std::optional<ServerAddress> parse_url(const std::string& text) {
    LDAPURLDesc* url = nullptr;
    if (ldap_url_parse(text.c_str(), &url) != LDAP_URL_SUCCESS || url == nullptr)
        return std::nullopt;
    ServerAddress server;
    server.host = url->lud_host && *url->lud_host ? url->lud_host : "localhost";
    server.tls = url->lud_scheme != nullptr && strcasecmp(url->lud_scheme, "ldaps") == 0;
    server.port = url->lud_port > 0 ? url->lud_port : server.tls ? LDAPS_PORT : LDAP_PORT;
    ldap_free_urldesc(url);
    if (server.port > 65535) return std::nullopt;
    return server;
}

}  // namespace

std::optional<ServerAddress> next_server(const char** position) {
    for (;;) {
        std::optional<Element> element = next_url_element(*position);
        if (!element) {
            *position = nullptr;
            return std::nullopt;
        }
        *position = element->after;
        if (std::optional<ServerAddress> server = parse_url(element->text)) return server;
    }
}

std::string upper_case(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace dirclient::ldapaccess

extern "C" char* parse_URLs(char* list, char** host, int* port) {
    using namespace dirclient::ldapaccess;
    std::optional<Element> element = next_url_element(list);
    if (!element) return nullptr;
    if (std::optional<ServerAddress> server = parse_url(element->text)) {
        if (host) *host = strdup(server->host.c_str());
        if (port) *port = server->port;
    }
    return const_cast<char*>(element->after);
}
