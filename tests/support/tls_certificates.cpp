#include "tls_certificates.h"

#include <sys/stat.h>

#include <stdexcept>

namespace dirclient::test {

namespace {

// Elliptic-curve keys: made in milliseconds, unlike RSA ones.
const std::vector<std::string> kNewKey = {"-newkey", "ec", "-pkeyopt",
                                          "ec_paramgen_curve:prime256v1", "-nodes"};

void openssl(std::vector<std::string> args, const std::string& log) {
    args.insert(args.begin(), "openssl");
    if (run(args, log) != 0) throw std::runtime_error("openssl failed; see " + log);
}

}  // namespace

TlsCertificates::TlsCertificates() : dir_("dirclient-tls-") {
    write_file(dir_.file("server.ext"), "subjectAltName=IP:127.0.0.1,DNS:localhost\n");
    write_file(dir_.file("client.ext"), "extendedKeyUsage=clientAuth\n");
    make_ca("ca", "/CN=dirclient test CA");
    make_ca("other-ca", "/CN=unrelated test CA");
    make_signed("server", "/CN=localhost");
    make_signed("client", "/CN=dirclient test client");
    // slapd may run under another user: its key must be readable.
    chmod(server_key().c_str(), 0644);
}

void TlsCertificates::make_ca(const std::string& name, const std::string& subject) {
    std::vector<std::string> args = {"req", "-x509"};
    args.insert(args.end(), kNewKey.begin(), kNewKey.end());
    args.insert(args.end(), {"-keyout", dir_.file(name + ".key"), "-out", dir_.file(name + ".pem"),
                             "-days", "2", "-subj", subject});
    openssl(args, dir_.file("openssl.log"));
}

void TlsCertificates::make_signed(const std::string& name, const std::string& subject) {
    std::vector<std::string> args = {"req"};
    args.insert(args.end(), kNewKey.begin(), kNewKey.end());
    args.insert(args.end(), {"-keyout", dir_.file(name + ".key"), "-out", dir_.file(name + ".csr"),
                             "-subj", subject});
    openssl(args, dir_.file("openssl.log"));
    openssl({"x509", "-req", "-in", dir_.file(name + ".csr"), "-CA", ca(), "-CAkey",
             dir_.file("ca.key"), "-CAcreateserial", "-out", dir_.file(name + ".pem"), "-days", "2",
             "-extfile", dir_.file(name + ".ext")},
            dir_.file("openssl.log"));
}

}  // namespace dirclient::test
