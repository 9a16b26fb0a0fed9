#ifndef DIRCLIENT_TLS_CERTIFICATES_H
#define DIRCLIENT_TLS_CERTIFICATES_H

#include <string>

#include "test_processes.h"

// Certificates for TLS tests, made with openssl in a private folder: a CA, a server
// certificate it signed for 127.0.0.1 and localhost, a client certificate it signed, and a
// second CA that signed nothing of these (to see a certificate check fail).

namespace dirclient::test {

class TlsCertificates {
  public:
    // Throws std::runtime_error when openssl fails.
    TlsCertificates();
    TlsCertificates(const TlsCertificates&) = delete;
    TlsCertificates& operator=(const TlsCertificates&) = delete;

    std::string ca() const { return dir_.file("ca.pem"); }
    std::string other_ca() const { return dir_.file("other-ca.pem"); }
    std::string server_cert() const { return dir_.file("server.pem"); }
    std::string server_key() const { return dir_.file("server.key"); }
    std::string client_cert() const { return dir_.file("client.pem"); }
    std::string client_key() const { return dir_.file("client.key"); }

  private:
    void make_ca(const std::string& name, const std::string& subject);
    void make_signed(const std::string& name, const std::string& subject);

    TempDir dir_;
};

}  // namespace dirclient::test

#endif
