#include "modification_set.h"
#include "list_cursor.h"

#include <strings.h>

#include "model_dump.h"

namespace {

Attribute* attribute_of(void* modification) {
    return modification != nullptr ? static_cast<Modification*>(modification)->getAttribute()
                                   : nullptr;
}

bool is_named(Modification* modification, const char* name) {
    Attribute* attribute = modification != nullptr ? modification->getAttribute() : nullptr;
    return attribute != nullptr && attribute->getName() != nullptr &&
           strcasecmp(attribute->getName(), name) == 0;
}

}  // namespace

ModificationSet::~ModificationSet() {
    delete values_;
}

bool ModificationSet::add(int op, Attribute* attribute) {
    return addModification(new Modification(op, attribute), DLIST_MODIFICATION);
}

bool ModificationSet::addModification(Modification* modification, int type) {
    // Any other code would release the modification as something else.
    if (modification == nullptr || (type != DLIST_MODIFICATION && type != DLIST_BORROWED))
        return false;
    if (values_ == nullptr) values_ = new (HEAP) DList();
    return values_->append(modification, type, false);
}

Modification* ModificationSet::elementAt(int pos) {
    if (values_ == nullptr || !values_->goTo(pos)) return nullptr;
    return static_cast<Modification*>(values_->getValue());
}

bool ModificationSet::remove(const char* name) {
    if (name == nullptr || values_ == nullptr) return false;
    bool removed = false;
    auto* modification = static_cast<Modification*>(values_->getFirstValue());
    while (values_->getCursor() != nullptr) {
        if (!is_named(modification, name)) {
            if (values_->getNextItem() == nullptr) break;
            modification = static_cast<Modification*>(values_->getValue());
            continue;
        }
        const bool was_tail = values_->getCursor() == values_->getTail();
        values_->removeIt();
        removed = true;
        // Removing the tail moves the cursor back onto an item already examined.
        if (was_tail) break;
        modification = static_cast<Modification*>(values_->getValue());
    }
    return removed;
}

bool ModificationSet::removeElementAt(int pos) {
    return values_ != nullptr && values_->goTo(pos) && values_->removeIt();
}

int ModificationSet::size() const {
    return values_ != nullptr ? values_->getSize() : 0;
}

bool ModificationSet::setValues(DList* values) {
    if (values != values_) {
        delete values_;
        values_ = values;
    }
    return true;
}

Modification* ModificationSet::getModification() {
    return list_value<Modification>(values_, ListStep::Here);
}
Modification* ModificationSet::getFirstModification() {
    return list_value<Modification>(values_, ListStep::First);
}
Modification* ModificationSet::getNextModification() {
    return list_value<Modification>(values_, ListStep::Next);
}
Modification* ModificationSet::getPreviousModification() {
    return list_value<Modification>(values_, ListStep::Previous);
}
Modification* ModificationSet::getLastModification() {
    return list_value<Modification>(values_, ListStep::Last);
}
DListItem* ModificationSet::getFirstModificationItem() {
    return list_item(values_, ListStep::First);
}
DListItem* ModificationSet::getNextModificationItem() {
    return list_item(values_, ListStep::Next);
}
DListItem* ModificationSet::getPreviousModificationItem() {
    return list_item(values_, ListStep::Previous);
}
DListItem* ModificationSet::getLastModificationItem() {
    return list_item(values_, ListStep::Last);
}
Attribute* ModificationSet::getAttribute() {
    return attribute_of(getModification());
}
Attribute* ModificationSet::getFirstAttribute() {
    return attribute_of(getFirstModification());
}
Attribute* ModificationSet::getNextAttribute() {
    return attribute_of(getNextModification());
}
Attribute* ModificationSet::getPreviousAttribute() {
    return attribute_of(getPreviousModification());
}
Attribute* ModificationSet::getLastAttribute() {
    return attribute_of(getLastModification());
}
bool ModificationSet::resetToBegin() {
    return list_reset(values_, false);
}
bool ModificationSet::resetToEnd() {
    return list_reset(values_, true);
}

char* ModificationSet::ToString() {
    return ToString(0, true);
}

char* ModificationSet::ToString(int indent, bool compact) {
    DumpBuffer out;
    dump(out, this, indent, compact);
    return out.release();
}
