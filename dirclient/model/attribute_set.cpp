#include "attribute_set.h"
#include "list_cursor.h"

#include <strings.h>

#include <string>
#include <unordered_map>
#include <unordered_set>

#include "model_dump.h"

namespace {

// Below this size a scan is as fast as the index and costs no memory.
constexpr int kIndexedSize = 32;

// The name with ASCII letters folded, matching strcasecmp in the C locale.
std::string foldedName(const char* name) {
    std::string key(name);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return key;
}

bool sameName(Attribute* attribute, const char* name) {
    return attribute != nullptr && attribute->getName() != nullptr &&
           strcasecmp(attribute->getName(), name) == 0;
}

}  // namespace

// The first item of each name and every attribute held, for the list as it stood when the
// index was built or last appended to.
class AttributeSet::NameIndex {
  public:
    bool matches(const DList* list) const {
        return list == list_ && list->getSize() == size_ && list->getHead() == head_ &&
               list->getTail() == tail_;
    }

    void build(DList* list) {
        items_.clear();
        held_.clear();
        list_ = list;
        size_ = 0;
        head_ = list->getHead();
        for (DListItem* item = list->getHead(); item != nullptr; item = item->getNextItem())
            note(item);
    }

    // Records item, just linked at the list's tail.
    void note(DListItem* item) {
        auto* attribute = static_cast<Attribute*>(item->getValue());
        held_.insert(attribute);
        if (attribute != nullptr && attribute->getName() != nullptr)
            items_.emplace(foldedName(attribute->getName()), item);
        if (head_ == nullptr) head_ = item;
        tail_ = item;
        ++size_;
    }

    DListItem* find(const char* name) const {
        auto found = items_.find(foldedName(name));
        return found != items_.end() ? found->second : nullptr;
    }
    bool holds(const Attribute* attribute) const { return held_.count(attribute) != 0; }

  private:
    std::unordered_map<std::string, DListItem*> items_;
    std::unordered_set<const Attribute*> held_;
    const DList* list_ = nullptr;
    int size_ = 0;
    const DListItem* head_ = nullptr;
    const DListItem* tail_ = nullptr;
};

void AttributeSet::DropIndex::operator()(NameIndex* index) const {
    delete index;
}

AttributeSet::NameIndex* AttributeSet::index() {
    if (values_ == nullptr || values_->getSize() < kIndexedSize) {
        index_.reset();
        return nullptr;
    }
    if (!index_) index_.reset(new NameIndex());
    if (!index_->matches(values_)) index_->build(values_);
    return index_.get();
}

// The first item holding an attribute of that name, or null.
DListItem* AttributeSet::findItem(const char* name) {
    if (NameIndex* names = index()) {
        DListItem* item = names->find(name);
        if (item == nullptr || sameName(static_cast<Attribute*>(item->getValue()), name))
            return item;
    }
    for (DListItem* item = values_->getHead(); item != nullptr; item = item->getNextItem()) {
        if (sameName(static_cast<Attribute*>(item->getValue()), name)) return item;
    }
    return nullptr;
}

AttributeSet::~AttributeSet() {
    delete values_;
}

bool AttributeSet::add(Attribute* attribute) {
    if (attribute == nullptr) return false;
    const char* name = attribute->getName();
    if (values_ == nullptr) values_ = new (HEAP) DList();
    if (NameIndex* names = index()) {
        // The same object twice would be deleted twice, even when it has no name.
        if (names->holds(attribute) || (name != nullptr && findItem(name) != nullptr)) return false;
        if (!values_->append(attribute, DLIST_ATTRIBUTE, false)) return false;
        names->note(values_->getTail());
        return true;
    }
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
    DListItem* item = findItem(name);
    if (item == nullptr) {
        values_->getLastItem();  // where a scan that found nothing leaves the cursor
        return nullptr;
    }
    values_->placeCursor(item);
    return static_cast<Attribute*>(item->getValue());
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
    return list_value<Attribute>(values_, ListStep::Here);
}
Attribute* AttributeSet::getFirstAttribute() {
    return list_value<Attribute>(values_, ListStep::First);
}
Attribute* AttributeSet::getNextAttribute() {
    return list_value<Attribute>(values_, ListStep::Next);
}
Attribute* AttributeSet::getPreviousAttribute() {
    return list_value<Attribute>(values_, ListStep::Previous);
}
Attribute* AttributeSet::getLastAttribute() {
    return list_value<Attribute>(values_, ListStep::Last);
}
DListItem* AttributeSet::getFirstAttributeItem() {
    return list_item(values_, ListStep::First);
}
DListItem* AttributeSet::getNextAttributeItem() {
    return list_item(values_, ListStep::Next);
}
DListItem* AttributeSet::getPreviousAttributeItem() {
    return list_item(values_, ListStep::Previous);
}
DListItem* AttributeSet::getLastAttributeItem() {
    return list_item(values_, ListStep::Last);
}
bool AttributeSet::resetToBegin() {
    return list_reset(values_, false);
}
bool AttributeSet::resetToEnd() {
    return list_reset(values_, true);
}

char* AttributeSet::ToString() {
    return ToString(0, true);
}

char* AttributeSet::ToString(int indent, bool compact) {
    DumpBuffer out;
    dump(out, this, indent, compact);
    return out.release();
}
