#ifndef DIRCLIENT_SERVER_LIST_WALK_H
#define DIRCLIENT_SERVER_LIST_WALK_H

// Walking a server list in C++ (internal); the C interface is server_list.h.

#include <optional>
#include <string>

#include "server_connect.h"
#include "server_list.h"

namespace dirclient::ldapaccess {

// The next server of a list from "*position" on, advancing it; elements that are not LDAP
// URLs, or whose port is out of range, are skipped. Nothing when the list is exhausted.
std::optional<ServerAddress> next_server(const char** position);

std::string upper_case(std::string text);

}  // namespace dirclient::ldapaccess

#endif
