// Rename: a new RDN in place, then a move below another parent.
#include <dirclient/modern.h>

#include <iostream>

int main(int argc, char** argv) {
    dirclient::Connection conn(argc > 1 ? argv[1] : "LDAP://localhost:389",
                               {.bindDn = "cn=admin,dc=example,dc=com", .password = "secret"});
    conn.rename("cn=alice,ou=people,dc=example,dc=com", "cn=alicia", /*deleteOldRdn=*/false);
    conn.move("cn=alicia,ou=people,dc=example,dc=com", "dc=example,dc=com");
    for (dirclient::Entry& e :
         conn.search("dc=example,dc=com", dirclient::Scope::OneLevel, "(cn=ali*)"))
        std::cout << e.dn() << '\n';
}
