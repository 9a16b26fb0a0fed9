#include "entry_from_message.h"

#include <memory>
#include <string>

namespace dirclient::connection {

namespace {

struct BerFree {
    void operator()(BerElement* ber) const { ber_free(ber, 0); }
};

}  // namespace

DEntry* entry_values_from_message(LDAP* ld, LDAPMessage* found) {
    BerElement* opened = nullptr;
    berval dn{0, nullptr};  // the texts point into the message
    if (ldap_get_dn_ber(ld, found, &opened, &dn) != LDAP_SUCCESS) return nullptr;
    std::unique_ptr<BerElement, BerFree> ber(opened);
    std::unique_ptr<AttributeSet> set(new (HEAP) AttributeSet());
    std::string text;
    for (;;) {
        berval name{0, nullptr};
        berval* values = nullptr;
        if (ldap_get_attribute_ber(ld, found, ber.get(), &name, &values) != LDAP_SUCCESS)
            return nullptr;
        std::unique_ptr<berval, decltype(&ber_memfree)> owned(values, &ber_memfree);
        if (name.bv_val == nullptr) break;
        text.assign(name.bv_val, name.bv_len);
        std::unique_ptr<Attribute> attribute(new (HEAP) Attribute(text.c_str()));
        for (berval* value = values; value != nullptr && value->bv_val != nullptr; ++value) {
            Dbinary binary;
            // A value beyond 4 GiB has no Dbinary form; it is left out.
            if (dbinary_from_berval(value, &binary)) attribute->addValue(&binary);
        }
        if (set->addAttribute(attribute.get())) attribute.release();
    }
    text.assign(dn.bv_val != nullptr ? dn.bv_val : "", dn.bv_len);
    return new (HEAP) DEntry(text.c_str(), set.release());
}

}  // namespace dirclient::connection
