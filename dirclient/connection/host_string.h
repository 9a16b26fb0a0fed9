#ifndef DIRCLIENT_HOST_STRING_H
#define DIRCLIENT_HOST_STRING_H

// Internal: how DConnection keeps a host string and names the server in use.

namespace dirclient::connection {

// Whether text begins with prefix, ignoring case.
bool has_prefix(const char* text, const char* prefix);

// The host a connection keeps from the string given to setHost (new check_malloc text):
// a flat-file address up to its first ';' (a flat file is never a list); a list that mixes
// LDAP URLs and flat-file URLs without its flat-file elements; anything else unchanged.
char* kept_host_name(const char* host);

// The text getHost returns (new check_malloc text, null when there is nothing to name):
// without a current server, the kept host; for a "DNS:" or "DNS-SRV:" host, the server
// followed by the host string from its first '/'; otherwise the server followed by the rest of
// the element of hostUrl written for it (found with the port, then without it), or the server
// itself when no element names it.
char* host_text(const char* hostName, const char* hostUrl, const char* server);

}  // namespace dirclient::connection

#endif
