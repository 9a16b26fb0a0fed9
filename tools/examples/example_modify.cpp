// Modify: several changes of one entry in one request.
#include <dirclient/modern.h>

#include <iostream>

int main(int argc, char** argv) {
    dirclient::Connection conn(argc > 1 ? argv[1] : "LDAP://localhost:389",
                               {.bindDn = "cn=admin,dc=example,dc=com", .password = "secret"});
    const char* bob = "cn=bob,ou=people,dc=example,dc=com";
    conn.modify(dirclient::Modify(bob)
                    .replace("sn", "the Builder")
                    .add("mail", {"bob@example.com", "builder@example.com"})
                    .remove("telephoneNumber"));
    std::cout << bob << ": sn " << (*conn.read(bob, {"sn"}))["sn"].first() << '\n';
}
