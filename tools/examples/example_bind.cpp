// Bind: open a directory with credentials; a refused bind is an Error that says why.
#include <dirclient/modern.h>

#include <iostream>

int main(int argc, char** argv) {
    const char* host = argc > 1 ? argv[1] : "LDAP://localhost:389";
    try {
        dirclient::Connection conn(host, {.bindDn = "cn=admin,dc=example,dc=com",
                                          .password = "secret",
                                          .startTls = dirclient::StartTls::Try});
        std::cout << "bound to " << host << '\n';
    } catch (const dirclient::Error& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
}
