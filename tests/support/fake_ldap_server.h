#ifndef DIRCLIENT_FAKE_LDAP_SERVER_H
#define DIRCLIENT_FAKE_LDAP_SERVER_H

#include <atomic>
#include <string>
#include <thread>

// A tiny LDAP server on 127.0.0.1 for the time-out tests. It answers every bind with
// success; searches it either never answers (a server that went silent after the bind) or
// answers slowly, one entry per interval, then the final result. Everything else it
// leaves unanswered.

namespace dirclient::test {

class FakeLdapServer {
  public:
    struct Behaviour {
        bool answer_searches = false;
        int entries = 0;        // entries per search
        double interval = 0.0;  // seconds between two entries
    };

    explicit FakeLdapServer(Behaviour behaviour);
    ~FakeLdapServer();
    FakeLdapServer(const FakeLdapServer&) = delete;
    FakeLdapServer& operator=(const FakeLdapServer&) = delete;

    int port() const { return port_; }
    std::string url() const;  // "LDAP://127.0.0.1:PORT"

  private:
    void serve();

    Behaviour behaviour_;
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace dirclient::test

#endif
