#include "host_string.h"

#include <gtest/gtest.h>

#include <string>

#include "object_memory.h"

using namespace dirclient::connection;

namespace {

std::string taken(char* text) {
    std::string value = text != nullptr ? text : "(null)";
    check_free(text);
    return value;
}

TEST(KeptHostName, FlatFilesAndMixedListsAreTrimmed) {
    struct Row {
        const char* given;
        const char* kept;
    } rows[] = {
        {"FILE:///data/dir.ldif", "FILE:///data/dir.ldif"},
        {"file:///a.ldif;LDAP://h:389", "file:///a.ldif"},
        {"FILE:///a.ldif;FILE:///b.ldif", "FILE:///a.ldif"},
        {"LDAP://a:389;FILE:///x.ldif;LDAP://b:389", "LDAP://a:389;LDAP://b:389"},
        {"LDAP://a:389;FILE:///x.ldif", "LDAP://a:389"},
        {"FIle:///x.ldif;ldap://a", "FIle:///x.ldif"},
        {"ldap://a;file:///x;file:///y", "ldap://a"},
        {"LDAP://a;;FILE:///x", "LDAP://a;"},
        // Plain host names are not LDAP URLs: the list stays whole.
        {"hosta;FILE:///x.ldif;hostb", "hosta;FILE:///x.ldif;hostb"},
        {"LDAP://a:389;LDAP://b:390", "LDAP://a:389;LDAP://b:390"},
        {"DNS:servers/o=x", "DNS:servers/o=x"},
        {"", ""},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(taken(kept_host_name(rows[i].given)), rows[i].kept);
    }
    EXPECT_EQ(kept_host_name(nullptr), nullptr);
}

TEST(HostText, NamesTheServerInUseAsTheHostStringWroteIt) {
    struct Row {
        const char* name;
        const char* url;
        const char* server;
        const char* text;
    } rows[] = {
        {"LDAP://h:1;LDAP://h:2", "LDAP://h:1;LDAP://h:2", nullptr, "LDAP://h:1;LDAP://h:2"},
        {nullptr, nullptr, nullptr, "(null)"},
        // The element of the server, with what it carries after host and port.
        {"x", "ldap://h:1/o=a;ldap://h:2/o=b", "LDAP://H:2", "LDAP://H:2/o=b"},
        {"x", "LDAP://h:1;LDAP://h:2", "LDAP://H:1", "LDAP://H:1"},
        // A port that merely begins like the server's is another server.
        {"x", "ldap://h:3891;ldap://h:389", "LDAP://H:389", "LDAP://H:389"},
        // Written without its port: found without it, never by another port.
        {"x", "ldap://h:3891;ldap://h/o=x", "LDAP://H:389", "LDAP://H/o=x"},
        // A server written some other way: the first element of the same scheme.
        {"x", "ldap://alias:1/o=x", "LDAP://127.0.0.1:389", "LDAP://alias:1/o=x"},
        // Nothing of the scheme at all: the server itself.
        {"x", "hosta;hostb", "LDAP://H:389", "LDAP://H:389"},
        {"DNS:servers/o=base", "DNS:servers/o=base", "LDAP://H:389", "LDAP://H:389/o=base"},
        {"dns:servers", "dns:servers", "LDAP://H:389", "LDAP://H:389"},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(taken(host_text(rows[i].name, rows[i].url, rows[i].server)), rows[i].text);
    }
}

}  // namespace
