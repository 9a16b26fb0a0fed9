#ifndef DIRCLIENT_BACKEND_KIND_H
#define DIRCLIENT_BACKEND_KIND_H

// Reading a host string (internal): which back end it names; the C interface is
// directory_handle.h.

#include <optional>
#include <string>

#include "directory_handle.h"

namespace dirclient::ldapaccess {

// The kind of back end that "host" names (see qdx_ldap_open).
int backend_kind(const char* host);

// The DNS name of a "DNS:" host string: the text after its first ':' up to its first '/'.
// Nothing for an empty name, which stands for the default one.
std::optional<std::string> dns_name_of_host(const char* host);

}  // namespace dirclient::ldapaccess

#endif
