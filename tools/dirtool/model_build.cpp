#include "model_build.h"

#include <cstdint>
#include <stdexcept>

#include <dirclient/attribute.h>
#include <dirclient/dbinary.h>
#include <dirclient/dentry.h>
#include <dirclient/modification_set.h>

namespace dirtool {
namespace {

Attribute* make_attribute(const std::string& name, const std::vector<std::string>& values) {
    Attribute* attribute = new (HEAP) Attribute(name.c_str());
    for (const std::string& value : values) {
        if (value.size() > UINT32_MAX) throw std::length_error("value of " + name + " too long");
        if (value.find('\0') == std::string::npos) {
            attribute->addValue(value.c_str());
        } else {
            Dbinary bytes{static_cast<std::uint32_t>(value.size()),
                          const_cast<char*>(value.data())};
            attribute->addValue(&bytes);  // copied
        }
    }
    return attribute;
}

}  // namespace

DEntry* make_entry(const LdifRecord& record) {
    DEntry* entry = new (HEAP) DEntry(record.dn.c_str());
    for (const LdifAttribute& attribute : record.attributes) {
        Attribute* made = make_attribute(attribute.name, attribute.values);
        if (!entry->addAttribute(made)) delete made;  // a name given twice: the first counts
    }
    return entry;
}

ModificationSet* make_modification_set(const std::vector<LdifModification>& modifications) {
    auto* set = new ModificationSet();
    for (const LdifModification& modification : modifications)
        set->add(modification.op, make_attribute(modification.attribute, modification.values));
    return set;
}

}  // namespace dirtool
