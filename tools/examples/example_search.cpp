// Search: a filter and a list of attributes; entries arrive one by one.
#include <dirclient/modern.h>

#include <iostream>

int main(int argc, char** argv) {
    dirclient::Connection conn(argc > 1 ? argv[1] : "LDAP://localhost:389");
    for (dirclient::Entry& e : conn.search("ou=people,dc=example,dc=com", dirclient::Scope::Subtree,
                                           "(objectClass=inetOrgPerson)", {"cn", "mail"})) {
        std::cout << "dn: " << e.dn() << '\n';
        for (std::string_view mail : e["mail"].values())
            std::cout << "  mail: " << mail << '\n';
    }
}
