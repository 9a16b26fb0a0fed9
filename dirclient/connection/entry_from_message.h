#ifndef DIRCLIENT_ENTRY_FROM_MESSAGE_H
#define DIRCLIENT_ENTRY_FROM_MESSAGE_H

// Internal: the model form of one LDAP entry message, built through whichever message
// accessors fit the caller: the directory handle's measured calls, or the libldap session
// itself where the handle is already held (a streamed search).

#include <ldap.h>

#include "dentry.h"
#include "ldap_handle_calls.h"
#include "object_memory.h"

namespace dirclient::connection {

// The accessors of a directory handle (each measured and serialised like every call).
struct HandleAccess {
    DS_LDAP* handle;
    char* first(LDAPMessage* m, BerElement** ber) const {
        return qdx_ldap_first_attribute(handle, m, ber);
    }
    char* next(LDAPMessage* m, BerElement* ber) const {
        return qdx_ldap_next_attribute(handle, m, ber);
    }
    berval** values(LDAPMessage* m, const char* name) const {
        return qdx_ldap_get_values_len(handle, m, name);
    }
    char* dn(LDAPMessage* m) const { return qdx_ldap_get_dn(handle, m); }
    void memfree(char* text) const { qdx_ldap_memfree(text); }
};

// libldap's own accessors on a session the caller holds (libldap messages only).
struct SessionAccess {
    LDAP* ld;
    char* first(LDAPMessage* m, BerElement** ber) const { return ldap_first_attribute(ld, m, ber); }
    char* next(LDAPMessage* m, BerElement* ber) const { return ldap_next_attribute(ld, m, ber); }
    berval** values(LDAPMessage* m, const char* name) const {
        return ldap_get_values_len(ld, m, name);
    }
    char* dn(LDAPMessage* m) const { return ldap_get_dn(ld, m); }
    void memfree(char* text) const { ldap_memfree(text); }
};

// A new entry (HEAP) for the message; values stay in the message's berval arrays, which the
// attributes release.
template <typename Access>
DEntry* entry_from_message(const Access& access, LDAPMessage* found) {
    auto* set = new (HEAP) AttributeSet();
    BerElement* ber = nullptr;
    for (char* name = access.first(found, &ber); name != nullptr; name = access.next(found, ber)) {
        auto* attribute = new (HEAP) Attribute(name);
        berval** values = access.values(found, name);
        for (berval** value = values; value != nullptr && *value != nullptr; ++value) {
            Dbinary binary;
            // A value beyond 4 GiB has no Dbinary form; it is left out.
            if (dbinary_from_berval(*value, &binary)) attribute->addValue(&binary);
        }
        attribute->setBerVal(reinterpret_cast<void**>(values));
        if (!set->addAttribute(attribute)) delete attribute;
        access.memfree(name);
    }
    if (ber != nullptr) ber_free(ber, 0);
    char* dn = access.dn(found);
    auto* entry = new (HEAP) DEntry(dn, set);
    access.memfree(dn);
    return entry;
}

// The same entry read in one pass over the message (libldap's own accessors on a session
// the caller holds): each value is copied once and no value arrays are kept beside them
// (berVal stays null), for callers that read values only. Null when the message is no
// readable entry.
DEntry* entry_values_from_message(LDAP* ld, LDAPMessage* found);

}  // namespace dirclient::connection

#endif
