// The library's own ldap_memfree. Hidden, so that it serves the library's calls only and
// never takes the place of the LDAP client library's exported function of the same name.
#include <cstdlib>

extern "C" __attribute__((visibility("hidden"))) void ldap_memfree(void* block) {
    free(block);
}
