#include "dns_srv.h"

#include <arpa/nameser.h>
#include <netinet/in.h>
#include <resolv.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <random>

#include "dns_lookup.h"
#include "server_list_walk.h"

namespace dirclient::ldapaccess {

namespace {

constexpr int kSrvFixedBytes = 6;  // priority, weight, port

std::uint16_t word_at(const unsigned char* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

// Reads the record's fields; false when its data is too short or its target name runs past
// the record.
bool read_srv(const ns_msg& message, const ns_rr& record, SrvRecord* out) {
    const unsigned char* data = ns_rr_rdata(record);
    int length = ns_rr_rdlen(record);
    const unsigned char* end = data + length;
    if (length < kSrvFixedBytes + 1 || end > ns_msg_end(message)) return false;
    out->priority = word_at(data);
    out->weight = word_at(data + 2);
    out->port = word_at(data + 4);
    char name[NS_MAXDNAME];
    int used = dn_expand(ns_msg_base(message), ns_msg_end(message), data + kSrvFixedBytes, name,
                         sizeof name);
    if (used < 1 || used > length - kSrvFixedBytes) return false;
    out->target = name;
    if (out->target == ".") out->target.clear();
    return true;
}

// A host name as a server list can carry it: the resolver writes other bytes escaped, and a
// ';' or '/' would change the list's meaning.
bool plain_host_name(const std::string& name) {
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != '_')
            return false;
    return true;
}

// RFC 2782: zero weights first, then pick by running sums of the weights left.
void order_one_priority(std::vector<SrvRecord>& group, const Draw& draw,
                        std::vector<SrvRecord>* out) {
    std::stable_partition(group.begin(), group.end(),
                          [](const SrvRecord& r) { return r.weight == 0; });
    std::uint32_t total = 0;
    for (const SrvRecord& r : group)
        total += r.weight;
    while (!group.empty()) {
        std::uint32_t chosen = std::min(draw(total), total);
        std::uint32_t running = 0;
        auto it = group.begin();
        for (; it != group.end(); ++it) {
            running += it->weight;
            if (running >= chosen) break;
        }
        if (it == group.end()) it = std::prev(group.end());
        total -= it->weight;
        out->push_back(std::move(*it));
        group.erase(it);
    }
}

std::uint32_t random_draw(std::uint32_t bound) {
    thread_local std::mt19937 engine{std::random_device{}()};
    return std::uniform_int_distribution<std::uint32_t>(0, bound)(engine);
}

}  // namespace

std::optional<std::vector<SrvRecord>> parse_srv_answer(const unsigned char* answer, int length) {
    if (answer == nullptr || length <= 0) return std::nullopt;
    ns_msg message;
    if (ns_initparse(answer, length, &message) != 0) return std::nullopt;
    if (ns_msg_count(message, ns_s_qd) != 1) return std::nullopt;
    std::vector<SrvRecord> records;
    for (int i = 0; i < ns_msg_count(message, ns_s_an); ++i) {
        ns_rr record;
        if (ns_parserr(&message, ns_s_an, i, &record) != 0) return std::nullopt;
        if (ns_rr_type(record) != ns_t_srv || ns_rr_class(record) != ns_c_in) continue;
        SrvRecord srv;
        if (!read_srv(message, record, &srv)) return std::nullopt;
        if (plain_host_name(srv.target)) records.push_back(std::move(srv));
    }
    if (records.empty()) return std::nullopt;
    return records;
}

std::vector<SrvRecord> order_srv_records(std::vector<SrvRecord> records, const Draw& draw) {
    std::map<std::uint16_t, std::vector<SrvRecord>> by_priority;
    for (SrvRecord& r : records)
        if (!r.target.empty()) by_priority[r.priority].push_back(std::move(r));
    std::vector<SrvRecord> ordered;
    for (auto& [priority, group] : by_priority)
        order_one_priority(group, draw, &ordered);
    return ordered;
}

std::string srv_query_name(const std::string& domain, bool tls) {
    return (tls ? "_ldaps._tcp." : "_ldap._tcp.") + domain;
}

std::optional<std::string> lookup_srv_server_list(const std::string& domain, bool tls) {
    std::vector<unsigned char> answer = dns_answer(srv_query_name(domain, tls), ns_t_srv, false);
    std::optional<std::vector<SrvRecord>> records =
        parse_srv_answer(answer.data(), static_cast<int>(answer.size()));
    if (!records) return std::nullopt;
    std::string list;
    for (const SrvRecord& r : order_srv_records(std::move(*records), random_draw)) {
        if (!list.empty()) list += ';';
        list += (tls ? "LDAPS://" : "LDAP://") + r.target + ":" + std::to_string(r.port);
    }
    if (list.empty()) return std::nullopt;
    return upper_case(std::move(list));
}

}  // namespace dirclient::ldapaccess
