#include "call_activity.h"
#include "ldap_memory_calls.h"
#include "message_access.h"

extern "C" int qdx_ldap_msgfree(LDAPMessage* message) {
    dirclient::ldapaccess::CallActivity activity("ldap_msgfree");
    // Answers served from the cache are our own objects, which libldap must never see.
    return dirclient::ldapaccess::message::msgfree(message);
}
