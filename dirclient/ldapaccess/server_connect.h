#ifndef DIRCLIENT_SERVER_CONNECT_H
#define DIRCLIENT_SERVER_CONNECT_H

#include <sys/time.h>

#include <string>

#include <ldap.h>

#include "tls_options.h"

// Opening a connection to one LDAP server in bounded time. Every attempt carries a network
// time-out (QDX_NETWORK_TIMEOUT seconds, 5 by default) for the TCP connect and for the first
// answer, so that a server that accepts connections but never answers cannot hang an open
// or a fail-over.

namespace dirclient::ldapaccess {

struct ServerAddress {
    std::string host;  // as written in the server list; an IPv6 literal without brackets
    int port = 389;
    bool tls = false;  // "ldaps://": TLS from the first byte
};

// "ldap://host:port" or "ldaps://host:port" (IPv6 literals in brackets).
std::string server_url(const ServerAddress& server);

// Case-insensitive host, exact port and scheme comparison.
bool same_server(const ServerAddress& a, const ServerAddress& b);

// The time-out of one connection attempt: QDX_NETWORK_TIMEOUT (seconds, fractions allowed,
// read at every call) when it is a positive number, otherwise 5 seconds.
timeval network_timeout();

struct Connected {
    LDAP* ld = nullptr;  // owned by the caller; null on failure
    int code = 0;        // classic result code of the failure, 0 on success
};

// Connects to one server (LDAPv3, network time-out set), encrypted as "ldaps://" or
// "starttls" asks before anything else is sent. With "probe" an anonymous bind must be
// answered within the time-out; any answer, even a refusal, proves the server alive. A TLS
// failure is noted for last_connect_failure().
Connected connect_server(const ServerAddress& server, bool probe,
                         StartTls starttls = StartTls::kOff);

// A synchronous bind whose answer must arrive within the network time-out. Method 128
// (simple) is the only one supported. Returns the classic result code.
int bind_within_timeout(LDAP* ld, const char* who, const char* credentials, int method);

}  // namespace dirclient::ldapaccess

#endif
