// A small application of the directory client library, built from the installed package
// only: it builds an entry, prints its dump, and sorts search results by name.

#include <dirclient/dirclient.h>

#include <cstdio>

int main() {
    std::printf("dirclient %s\n", dirclient_version());

    // An entry owns its attributes, an attribute its values: deleting the entry releases all.
    DEntry* entry = new (HEAP) DEntry("cn=Ann Smith,ou=people,o=acme");
    entry->addAttribute(new (HEAP) Attribute("cn", "Ann Smith"));
    Attribute* mail = new (HEAP) Attribute("mail", "ann@acme.example");
    mail->addValue("a.smith@acme.example");
    entry->addAttribute(mail);
    entry->addAttribute(new (HEAP) Attribute("roomNumber", 42));
    char* dump = entry->ToString();
    std::fputs(dump, stdout);
    check_free(dump);
    delete entry;

    // Search results own their entries; sorting compares names ignoring case.
    SearchResults results;
    for (const char* name : {"Carol", "alice", "Bob"}) {
        char dn[64];
        std::snprintf(dn, sizeof dn, "cn=%s,ou=people,o=acme", name);
        DEntry* person = new (HEAP) DEntry(dn);
        person->addAttribute(new (HEAP) Attribute("cn", name));
        results.addEntry(person);
    }
    CompareAttrNames by_name("cn");
    results.sort(&by_name);
    for (DEntry* e = results.first(); e != nullptr; e = results.next())
        std::printf("sorted: %s\n", e->getDN());
    return 0;
}
