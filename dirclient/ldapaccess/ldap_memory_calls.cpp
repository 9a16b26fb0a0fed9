#include "ldap_memory_calls.h"

#include <ldap.h>

#include "call_activity.h"
#include "message_access.h"

using dirclient::ldapaccess::CallActivity;

extern "C" void qdx_ldap_value_free_len(struct berval** values) {
    CallActivity activity("ldap_value_free_len");
    if (values != nullptr) ldap_value_free_len(values);
}

extern "C" void qdx_ldap_memfree(void* block) {
    CallActivity activity("ldap_memfree");
    if (block != nullptr) ldap_memfree(block);
}

extern "C" int qdx_ldap_msgfree(LDAPMessage* message) {
    CallActivity activity("ldap_msgfree");
    // Answers served from the cache are our own objects, which libldap must never see.
    return dirclient::ldapaccess::message::msgfree(message);
}
