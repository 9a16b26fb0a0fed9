#include "dentry.h"

#include "list_cursor.h"
#include "model_dump.h"

namespace {

DList* list_of(AttributeSet* set) {
    return set != nullptr ? set->getValues() : nullptr;
}

}  // namespace

DEntry::DEntry() : DElement(DELEMENT_ENTRY) {}

DEntry::DEntry(const char* dn) : DElement(DELEMENT_ENTRY), dn_(strcopyShared(dn)) {}

DEntry::DEntry(const char* dn, AttributeSet* set)
    : DElement(DELEMENT_ENTRY), dn_(strcopyShared(dn)), values_(set) {}

DEntry::~DEntry() {
    delete values_;
}

bool DEntry::setDN(const char* dn) {
    // The copy is made before the old DN goes: the text may lie inside it.
    dn_.reset(strcopyShared(dn));
    return true;
}

bool DEntry::addAttribute(Attribute* attribute) {
    if (attribute == nullptr) return false;
    if (values_ == nullptr) values_ = new (HEAP) AttributeSet();
    return values_->addAttribute(attribute);
}

Attribute* DEntry::getAttribute(const char* name) {
    return values_ != nullptr ? values_->getAttribute(name) : nullptr;
}

Attribute* DEntry::getBaseAttribute(const char* name) {
    return getAttribute(name);
}

bool DEntry::setValues(AttributeSet* set) {
    if (set != values_) {
        delete values_;
        values_ = set;
    }
    return true;
}

int DEntry::size() const {
    return values_ != nullptr ? values_->size() : 0;
}

Attribute* DEntry::getAttribute() {
    return list_value<Attribute>(list_of(values_), ListStep::Here);
}
Attribute* DEntry::getFirstAttribute() {
    return list_value<Attribute>(list_of(values_), ListStep::First);
}
Attribute* DEntry::getNextAttribute() {
    return list_value<Attribute>(list_of(values_), ListStep::Next);
}
Attribute* DEntry::getPreviousAttribute() {
    return list_value<Attribute>(list_of(values_), ListStep::Previous);
}
Attribute* DEntry::getLastAttribute() {
    return list_value<Attribute>(list_of(values_), ListStep::Last);
}
DListItem* DEntry::getFirstAttributeItem() {
    return list_item(list_of(values_), ListStep::First);
}
DListItem* DEntry::getNextAttributeItem() {
    return list_item(list_of(values_), ListStep::Next);
}
DListItem* DEntry::getPreviousAttributeItem() {
    return list_item(list_of(values_), ListStep::Previous);
}
DListItem* DEntry::getLastAttributeItem() {
    return list_item(list_of(values_), ListStep::Last);
}
bool DEntry::resetToBegin() {
    return list_reset(list_of(values_), false);
}
bool DEntry::resetToEnd() {
    return list_reset(list_of(values_), true);
}

char* DEntry::ToString() {
    return ToString(0, true);
}

char* DEntry::ToString(int indent, bool compact) {
    DumpBuffer out;
    dump(out, this, indent, compact);
    return out.release();
}
