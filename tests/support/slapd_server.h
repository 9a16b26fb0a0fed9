#ifndef DIRCLIENT_SLAPD_SERVER_H
#define DIRCLIENT_SLAPD_SERVER_H

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include <ldap.h>

#include "test_processes.h"

// A private slapd for the integration tests: a temporary configuration and mdb database
// seeded from LDIF, listening on a free port of 127.0.0.1, which a test can stop, kill and
// start again on the same port with the same data. It publishes "modsCompleted" in
// "cn=monitor" (through a helper process behind slapd's socket overlay) and slapd's own
// operation counters under "cn=Monitor", which the tests read to see what reached it.

namespace dirclient::test {

class TlsCertificates;

struct SlapdOptions {
    // With certificates: StartTLS on the LDAP port, a second port for LDAPS, a client
    // certificate asked for (not required), and slapd's "stats" log, which records
    // "TLS established" and every BIND per connection.
    const TlsCertificates* tls = nullptr;
    bool anonymous_reads = true;  // false: only bound users may read
    std::string extra_ldif;       // entries added to the seed
    std::string global_config;    // slapd.conf lines before the first database
    std::string database_config;  // slapd.conf lines of the mdb database
    int port = 0;                 // 0: a free port; else this one (known to replication peers)
    bool seeded = true;           // false: an empty database, for a replica to fill
    // Multi-provider replication: this server's id (0: none) and the ports of the servers
    // it replicates from, with the admin's credentials.
    int server_id = 0;
    std::vector<int> providers;
};

class SlapdServer {
  public:
    static constexpr const char* kSuffix = "dc=example,dc=com";
    static constexpr const char* kAdminDn = "cn=admin,dc=example,dc=com";
    static constexpr const char* kAdminPassword = "secret";
    // Seeded entries: ou=people with cn=alice (password "alice-pw") and cn=bob below it.
    static constexpr const char* kPeople = "ou=people,dc=example,dc=com";
    static constexpr const char* kAlice = "cn=alice,ou=people,dc=example,dc=com";
    static constexpr const char* kAlicePassword = "alice-pw";
    static constexpr const char* kBob = "cn=bob,ou=people,dc=example,dc=com";
    // The seeded entries as LDIF, the suffix first.
    static constexpr const char* kSeed =
        "dn: dc=example,dc=com\nobjectClass: dcObject\nobjectClass: organization\n"
        "dc: example\no: Example\n\n"
        "dn: ou=people,dc=example,dc=com\nobjectClass: organizationalUnit\nou: people\n\n"
        "dn: cn=alice,ou=people,dc=example,dc=com\nobjectClass: inetOrgPerson\ncn: alice\n"
        "sn: Liddell\nmail: alice@example.com\nuserPassword: alice-pw\n\n"
        "dn: cn=bob,ou=people,dc=example,dc=com\nobjectClass: inetOrgPerson\ncn: bob\n"
        "sn: Builder\ntelephoneNumber: +1 555 0100\n\n";

    // Prepares and starts the server; throws std::runtime_error when it cannot.
    explicit SlapdServer(SlapdOptions options = {});
    ~SlapdServer();
    SlapdServer(const SlapdServer&) = delete;
    SlapdServer& operator=(const SlapdServer&) = delete;

    void start();  // again on the same port, after stop() or kill()
    void stop();   // orderly shutdown
    void kill();   // SIGKILL, as a crash
    // SIGSTOP: the server accepts nothing more and answers nothing until it is killed (a
    // stopped process dies of SIGKILL too). Tests that kill a server under pending
    // requests pause it first, so that it cannot answer them before it dies.
    void pause();
    bool running() const { return pid_ > 0; }

    int port() const { return port_; }
    std::string url() const;      // "LDAP://127.0.0.1:PORT"
    std::string tls_url() const;  // "LDAPS://127.0.0.1:TLS_PORT" (servers with certificates)
    int tls_port() const { return tls_port_; }
    // What slapd logged so far (its stats when it has certificates).
    std::string log() const;

    // Requests that reached the server since it started ("Search", "Compare", "Bind",
    // "Unbind", "Modify", ...), not counting the harness's own.
    long operations(const std::string& kind);
    // The same, after waiting (at most a second) until it reaches at_least: a request the
    // client sent without awaiting an answer (Unbind, Abandon) is counted a little later.
    long operations_reaching(const std::string& kind, long at_least);

    // The suffix entry's contextCSN values, sorted and joined by ' ' ("" when none): equal
    // on two replicating servers once they have converged.
    std::string context_csn();

    // Changes one attribute of an entry through the harness's admin connection; the LDAP
    // result code.
    int replace(const std::string& dn, const std::string& attr, const std::string& value);

  private:
    void write_configuration();
    std::string tls_configuration() const;
    void seed();
    bool try_start();
    LDAP* admin();
    void drop_admin();

    SlapdOptions options_;
    TempDir dir_;
    int port_ = 0;
    int tls_port_ = 0;
    pid_t pid_ = -1;
    pid_t responder_ = -1;
    LDAP* admin_ = nullptr;  // kept open so that counter reads add no binds nor unbinds
    long own_searches_ = 0;  // counter reads since the start
    long own_binds_ = 0;     // admin binds since the start
};

}  // namespace dirclient::test

#endif
