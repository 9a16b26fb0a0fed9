#include "ldap_memory_calls.h"

#include <ldap.h>

extern "C" void qdx_ldap_value_free_len(struct berval** values) {
    if (values != nullptr) ldap_value_free_len(values);
}

extern "C" void qdx_ldap_memfree(void* block) {
    ldap_memfree(block);
}

extern "C" int qdx_ldap_msgfree(LDAPMessage* message) {
    return ldap_msgfree(message);
}
