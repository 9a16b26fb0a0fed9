#include "ldap_memory_calls.h"

#include <ldap.h>

#include "call_activity.h"

// qdx_ldap_msgfree is defined by the LDAP access floor (ldap_message_free.cpp), which knows
// the cached messages that libldap must never free.

using dirclient::ldapaccess::CallActivity;

extern "C" void qdx_ldap_value_free_len(struct berval** values) {
    CallActivity activity("ldap_value_free_len");
    if (values != nullptr) ldap_value_free_len(values);
}

extern "C" void qdx_ldap_memfree(void* block) {
    CallActivity activity("ldap_memfree");
    if (block != nullptr) ldap_memfree(block);
}
