// Delete: remove an entry; removing it again fails with "no such object".
#include <dirclient/modern.h>

#include <iostream>

int main(int argc, char** argv) {
    dirclient::Connection conn(argc > 1 ? argv[1] : "LDAP://localhost:389",
                               {.bindDn = "cn=admin,dc=example,dc=com", .password = "secret"});
    conn.remove("cn=bob,ou=people,dc=example,dc=com");
    try {
        conn.remove("cn=bob,ou=people,dc=example,dc=com");
    } catch (const dirclient::Error& e) {
        std::cout << "again: " << e.what() << '\n';
    }
}
