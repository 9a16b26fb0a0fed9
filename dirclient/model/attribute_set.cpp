#include "attribute_set.h"

#include <strings.h>

#include "model_dump.h"

void* AttributeSet::operator new(std::size_t size, Mem kind) {
    return malloc_object(size, kind, "AttributeSet");
}
void* AttributeSet::operator new(std::size_t size) {
    return malloc_object(size, HEAP, "AttributeSet");
}
void AttributeSet::operator delete(void* block) {
    free_object(block);
}
void AttributeSet::operator delete(void* block, Mem) {
    free_object(block);
}

AttributeSet::~AttributeSet() {
    delete values_;
}

bool AttributeSet::add(Attribute* attribute) {
    if (attribute == nullptr) return false;
    const char* name = attribute->getName();
    if (values_ == nullptr) values_ = new (HEAP) DList();
    // The same object twice would be deleted twice, even when it has no name.
    for (DListItem* item = values_->getHead(); item != nullptr; item = item->getNextItem()) {
        auto* held = static_cast<Attribute*>(item->getValue());
        if (held == attribute) return false;
        if (name != nullptr && held != nullptr && held->getName() != nullptr &&
            strcasecmp(held->getName(), name) == 0)
            return false;
    }
    return values_->append(attribute, DLIST_ATTRIBUTE, false);
}

bool AttributeSet::addAttribute(Attribute* attribute) {
    return add(attribute);
}

Attribute* AttributeSet::getAttribute(const char* name) {
    if (name == nullptr || values_ == nullptr) return nullptr;
    for (DListItem* item = values_->getFirstItem(); item != nullptr;
         item = values_->getNextItem()) {
        auto* attribute = static_cast<Attribute*>(item->getValue());
        if (attribute != nullptr && attribute->getName() != nullptr &&
            strcasecmp(attribute->getName(), name) == 0)
            return attribute;
    }
    return nullptr;
}

Attribute* AttributeSet::getBaseAttribute(const char* name) {
    return getAttribute(name);
}

bool AttributeSet::remove(const char* name) {
    return getAttribute(name) != nullptr && values_->removeIt();
}

Attribute* AttributeSet::elementAt(int pos) {
    if (values_ == nullptr || !values_->goTo(pos)) return nullptr;
    return static_cast<Attribute*>(values_->getValue());
}

bool AttributeSet::removeElementAt(int pos) {
    return values_ != nullptr && values_->goTo(pos) && values_->removeIt();
}

bool AttributeSet::removeIt() {
    return values_ != nullptr && values_->removeIt();
}

int AttributeSet::size() const {
    return values_ != nullptr ? values_->getSize() : 0;
}

bool AttributeSet::setValues(DList* values) {
    if (values != values_) {
        delete values_;
        values_ = values;
    }
    return true;
}

Attribute* AttributeSet::getAttribute() {
    return values_ != nullptr ? static_cast<Attribute*>(values_->getValue()) : nullptr;
}
Attribute* AttributeSet::getFirstAttribute() {
    return values_ != nullptr ? static_cast<Attribute*>(values_->getFirstValue()) : nullptr;
}
Attribute* AttributeSet::getNextAttribute() {
    return values_ != nullptr ? static_cast<Attribute*>(values_->getNextValue()) : nullptr;
}
Attribute* AttributeSet::getPreviousAttribute() {
    return values_ != nullptr ? static_cast<Attribute*>(values_->getPreviousValue()) : nullptr;
}
Attribute* AttributeSet::getLastAttribute() {
    return values_ != nullptr ? static_cast<Attribute*>(values_->getLastValue()) : nullptr;
}
DListItem* AttributeSet::getFirstAttributeItem() {
    return values_ != nullptr ? values_->getFirstItem() : nullptr;
}
DListItem* AttributeSet::getNextAttributeItem() {
    return values_ != nullptr ? values_->getNextItem() : nullptr;
}
DListItem* AttributeSet::getPreviousAttributeItem() {
    return values_ != nullptr ? values_->getPreviousItem() : nullptr;
}
DListItem* AttributeSet::getLastAttributeItem() {
    return values_ != nullptr ? values_->getLastItem() : nullptr;
}
bool AttributeSet::resetToBegin() {
    return values_ != nullptr && values_->resetToBegin();
}
bool AttributeSet::resetToEnd() {
    return values_ != nullptr && values_->resetToEnd();
}

char* AttributeSet::ToString() {
    return ToString(0, true);
}

char* AttributeSet::ToString(int indent, bool compact) {
    DumpBuffer out;
    dump(out, this, indent, compact);
    return out.release();
}
