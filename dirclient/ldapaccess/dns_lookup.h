#ifndef DIRCLIENT_DNS_LOOKUP_H
#define DIRCLIENT_DNS_LOOKUP_H

// The DNS name and the TXT and SRV lookups behind it (internal); the C interface is
// dns_discovery.h.

#include <optional>
#include <string>
#include <vector>

#include "dns_discovery.h"

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
