#ifndef DIRCLIENT_DNS_SRV_H
#define DIRCLIENT_DNS_SRV_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Finding the servers of a directory from DNS SRV records (RFC 2782): "_ldap._tcp.DOMAIN"
// (or "_ldaps._tcp.DOMAIN" for TLS) names targets with a priority and a weight. The
// targets become a server list in the order a client should try them.

namespace dirclient::ldapaccess {

struct SrvRecord {
    std::uint16_t priority = 0;
    std::uint16_t weight = 0;
    std::uint16_t port = 0;
    std::string target;  // without the final dot; "" for "." (no service at this domain)
};

// The SRV records of a DNS answer of "length" bytes, without those whose target is not a
// plain host name (letters, digits, '-', '_', '.'). Nothing for an answer that does not hold
// exactly one question and at least one such record, or whose lengths or names run past
// their record or the answer.
std::optional<std::vector<SrvRecord>> parse_srv_answer(const unsigned char* answer, int length);

// A number drawn uniformly from 0 to "bound" inclusive.
using Draw = std::function<std::uint32_t(std::uint32_t bound)>;

// The records in the order to try them: lower priority first and, within one priority,
// RFC 2782's weighted random selection made with "draw". Records with target "." dropped.
std::vector<SrvRecord> order_srv_records(std::vector<SrvRecord> records, const Draw& draw);

// The name queried for "domain": TLS selects the "_ldaps" service.
std::string srv_query_name(const std::string& domain, bool tls);

// The server list ("LDAP://TARGET:PORT;..." upper-cased) from the SRV records of "domain";
// nothing when DNS gives none usable.
std::optional<std::string> lookup_srv_server_list(const std::string& domain, bool tls);

}  // namespace dirclient::ldapaccess

#endif
