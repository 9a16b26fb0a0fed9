#include "dentry.h"

#include "model_dump.h"

void* DEntry::operator new(std::size_t size, Mem kind) {
    return malloc_object(size, kind, "DEntry");
}
void* DEntry::operator new(std::size_t size) {
    return malloc_object(size, HEAP, "DEntry");
}
void DEntry::operator delete(void* block) {
    free_object(block);
}
void DEntry::operator delete(void* block, Mem) {
    free_object(block);
}

DEntry::DEntry() : DElement(DELEMENT_ENTRY) {}

DEntry::DEntry(const char* dn) : DElement(DELEMENT_ENTRY), dn_(strcopyShared(dn)) {}

DEntry::DEntry(const char* dn, AttributeSet* set)
    : DElement(DELEMENT_ENTRY), dn_(strcopyShared(dn)), values_(set) {}

DEntry::~DEntry() {
    check_free_shared(dn_);
    delete values_;
}

bool DEntry::setDN(const char* dn) {
    // Copy before releasing: the text may lie inside the old one.
    char* copy = strcopyShared(dn);
    check_free_shared(dn_);
    dn_ = copy;
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
    return values_ != nullptr ? values_->getAttribute() : nullptr;
}
Attribute* DEntry::getFirstAttribute() {
    return values_ != nullptr ? values_->getFirstAttribute() : nullptr;
}
Attribute* DEntry::getNextAttribute() {
    return values_ != nullptr ? values_->getNextAttribute() : nullptr;
}
Attribute* DEntry::getPreviousAttribute() {
    return values_ != nullptr ? values_->getPreviousAttribute() : nullptr;
}
Attribute* DEntry::getLastAttribute() {
    return values_ != nullptr ? values_->getLastAttribute() : nullptr;
}
DListItem* DEntry::getFirstAttributeItem() {
    return values_ != nullptr ? values_->getFirstAttributeItem() : nullptr;
}
DListItem* DEntry::getNextAttributeItem() {
    return values_ != nullptr ? values_->getNextAttributeItem() : nullptr;
}
DListItem* DEntry::getPreviousAttributeItem() {
    return values_ != nullptr ? values_->getPreviousAttributeItem() : nullptr;
}
DListItem* DEntry::getLastAttributeItem() {
    return values_ != nullptr ? values_->getLastAttributeItem() : nullptr;
}
bool DEntry::resetToBegin() {
    return values_ != nullptr && values_->resetToBegin();
}
bool DEntry::resetToEnd() {
    return values_ != nullptr && values_->resetToEnd();
}

char* DEntry::ToString() {
    return ToString(0, true);
}

char* DEntry::ToString(int indent, bool compact) {
    DumpBuffer out;
    dump(out, this, indent, compact);
    return out.release();
}
