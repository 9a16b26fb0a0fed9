// Add: build an entry, send it.
#include <dirclient/modern.h>

#include <iostream>

int main(int argc, char** argv) {
    dirclient::Connection conn(argc > 1 ? argv[1] : "LDAP://localhost:389",
                               {.bindDn = "cn=admin,dc=example,dc=com", .password = "secret"});
    conn.add(dirclient::Entry("cn=carol,ou=people,dc=example,dc=com")
                 .add("objectClass", {"top", "inetOrgPerson"})
                 .add("cn", "carol")
                 .add("sn", "Carroll")
                 .add("mail", "carol@example.com"));
    std::cout << conn.read("cn=carol,ou=people,dc=example,dc=com")->dn() << " added\n";
}
