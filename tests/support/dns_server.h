#ifndef DIRCLIENT_DNS_SERVER_H
#define DIRCLIENT_DNS_SERVER_H

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// DNS servers for the discovery tests, on 127.0.0.1:53. They only make sense inside the
// private namespaces that run_in_private_namespace.sh sets up, where /etc/resolv.conf
// names 127.0.0.1 and port 53 belongs to the test.

namespace dirclient::test {

// Whether this test runs in such a namespace; "reason" receives why not.
bool in_private_dns_namespace(std::string* reason);

// dnsmasq serving TXT records: each record is a name and its character-strings; and SRV
// records, each the value of a "--srv-host" option ("_ldap._tcp.NAME,TARGET,PORT,PRIO,WEIGHT").
class Dnsmasq {
  public:
    using TxtRecord = std::pair<std::string, std::vector<std::string>>;
    explicit Dnsmasq(const std::vector<TxtRecord>& records,
                     const std::vector<std::string>& srv_hosts = {});
    ~Dnsmasq();
    Dnsmasq(const Dnsmasq&) = delete;
    Dnsmasq& operator=(const Dnsmasq&) = delete;

  private:
    pid_t pid_ = -1;
};

// An answer to "query" holding one record of "type" (16 TXT, 33 SRV, ...) owned by the
// question's name, whose data is "rdata" exactly as given (for malformed answers).
std::string answer_with_record(const std::string& query, int type, const std::string& rdata);

// A UDP DNS server whose answers a test builds byte by byte (for malformed answers). It
// receives the query and returns the datagram to send back.
class FakeDnsServer {
  public:
    using Answer = std::function<std::string(const std::string& query)>;
    explicit FakeDnsServer(Answer answer);
    ~FakeDnsServer();
    FakeDnsServer(const FakeDnsServer&) = delete;
    FakeDnsServer& operator=(const FakeDnsServer&) = delete;

  private:
    void serve();

    Answer answer_;
    int fd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace dirclient::test

#endif
