#ifndef DIRCLIENT_DNS_DISCOVERY_H
#define DIRCLIENT_DNS_DISCOVERY_H

#include "dirclient_export.h"

// Finding the server list in DNS: the TXT record of a DNS name (by default
// "KorvanDirectoryServers") holds LDAP URLs separated by ';'. The name is process-wide and
// guarded, with the lookups, by one lock.

#ifdef __cplusplus
#include <optional>
#include <string>
#include <vector>

extern "C" {
#endif

// Stores a copy of "name" as the DNS name (null: back to the default).
DIRCLIENT_API void setDNSName(const char* name);

// Copies the DNS name with its terminator into "buf" and returns 0 when it fits in "size"
// bytes; otherwise returns the size it needs and leaves "buf" untouched.
DIRCLIENT_API int getDNSName(char* buf, int size);

// As getDNSName for the server list found in DNS; -1 when DNS gives none.
DIRCLIENT_API int getDNSServerListEntry(char* buf, int size);

// The server list from DNS in upper case, released with free(); null when there is none.
DIRCLIENT_API char* res_getBackupServerList(void);

#ifdef __cplusplus
}

namespace dirclient::ldapaccess {

inline constexpr const char* kDefaultDnsName = "KorvanDirectoryServers";

// The DNS name in force.
std::string dns_name();

// Forgets a name set with setDNSName.
void clear_dns_name();

// The server list in the TXT record of "name", upper-cased; nothing when DNS gives none.
std::optional<std::string> lookup_server_list(const std::string& name);

// The raw answer to a DNS query for "name" and record "type" (ns_t_txt, ns_t_srv, ...),
// made under the DNS lock; with "search" the resolver's search domains apply. Empty when
// DNS gives no answer; never longer than the largest DNS message.
std::vector<unsigned char> dns_answer(const std::string& name, int type, bool search);

// The text of the first TXT record in a DNS answer of "length" bytes (RFC 1035 section
// 3.3.14; the character-strings of the record are joined). Nothing for an answer that does
// not hold exactly one question and a TXT answer, or whose lengths run past its end.
std::optional<std::string> parse_txt_answer(const unsigned char* answer, int length);

}  // namespace dirclient::ldapaccess
#endif

#endif
