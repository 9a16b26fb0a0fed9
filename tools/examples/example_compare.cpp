// Compare: does the entry hold the value? The server answers, no data comes back.
#include <dirclient/modern.h>

#include <iostream>

int main(int argc, char** argv) {
    dirclient::Connection conn(argc > 1 ? argv[1] : "LDAP://localhost:389");
    const char* alice = "cn=alice,ou=people,dc=example,dc=com";
    for (const char* mail : {"alice@example.com", "bob@example.com"})
        std::cout << mail << ": " << std::boolalpha << conn.compare(alice, "mail", mail) << '\n';
}
