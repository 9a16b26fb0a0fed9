#include "attribute.h"
#include "list_cursor.h"

#include <lber.h>
#include <strings.h>

#include <cstring>

#include "ldap_memory_calls.h"
#include "model_dump.h"
#include "value_compare.h"

namespace {

template <typename Number>
Number* shared_number(Number value) {
    Number* block = reinterpret_cast<Number*>(check_malloc_shared(sizeof(Number)));
    *block = value;
    return block;
}

}  // namespace

Attribute::Attribute(const char* name) : name_(strcopy(name)) {}

Attribute::Attribute(const char* name, Dbinary* value) : name_(strcopy(name)) {
    values_ = new (SHAR) DList();
    values_->append(value, DLIST_BINARY, false);
}

Attribute::Attribute(const char* name, int value) : name_(strcopy(name)) {
    values_ = new (SHAR) DList();
    values_->append(shared_number(value), DLIST_INT, false);
}

Attribute::Attribute(const char* name, const char* value) : name_(strcopyShared(name)) {
    values_ = new (SHAR) DList();
    values_->append(strcopyShared(value), DLIST_STRING, false);
}

Attribute::Attribute(const char* name, long value) : name_(strcopyShared(name)) {
    values_ = new (HEAP) DList();
    values_->append(shared_number(value), DLIST_LONG, false);
}

Attribute::~Attribute() {
    delete values_;
    if (berVal_ != nullptr) qdx_ldap_value_free_len(reinterpret_cast<struct berval**>(berVal_));
}

bool Attribute::setName(const char* name) {
    // The copy is made before the old name goes: the text may lie inside it.
    name_.reset(strcopyShared(name));
    return true;
}

bool Attribute::setValues(DList* values) {
    if (values != values_) {
        delete values_;
        values_ = values;
    }
    return true;
}

int Attribute::size() const {
    return values_ != nullptr ? values_->getSize() : 0;
}

DList* Attribute::valueList() {
    if (values_ == nullptr) values_ = new (SHAR) DList();
    return values_;
}

bool Attribute::addValue(const char* value) {
    return valueList()->append(strcopy(value), DLIST_STRING, false);
}

bool Attribute::addValue(Dbinary* value) {
    return valueList()->append(copy_binary_shared(value), DLIST_BINARY, false);
}

bool Attribute::addValue(int value) {
    return valueList()->append(shared_number(value), DLIST_INT, false);
}

bool Attribute::addValue(long value) {
    return valueList()->append(shared_number(value), DLIST_LONG, false);
}

bool Attribute::hasValue(int type, void* value) {
    if (values_ == nullptr || value == nullptr || type == DLIST_BORROWED) return false;
    for (DListItem* item = values_->getFirstItem(); item != nullptr;
         item = values_->getNextItem()) {
        void* held = item->getValue();
        if (item->getType() != type || held == nullptr) continue;
        switch (type) {
            case DLIST_INT:
                if (*static_cast<int*>(held) == *static_cast<int*>(value)) return true;
                break;
            case DLIST_LONG:
                if (*static_cast<long*>(held) == *static_cast<long*>(value)) return true;
                break;
            case DLIST_STRING: {
                const char* wanted = *static_cast<char**>(value);
                if (wanted != nullptr && strcasecmp(static_cast<char*>(held), wanted) == 0)
                    return true;
                break;
            }
            case DLIST_BINARY: {
                const Dbinary* mine = static_cast<Dbinary*>(held);
                const Dbinary* wanted = static_cast<Dbinary*>(value);
                if (mine->length != wanted->length) break;
                if (mine->length == 0) return true;
                if (mine->bytes != nullptr && wanted->bytes != nullptr &&
                    std::memcmp(mine->bytes, wanted->bytes, mine->length) == 0)
                    return true;
                break;
            }
            default:
                return false;  // bool and objects never compare equal
        }
    }
    return false;
}

bool Attribute::removeMatch(int type, void* value) {
    if (!hasValue(type, value)) return false;
    return values_->removeIt();
}

bool Attribute::removeValue(const char* value) {
    return removeMatch(DLIST_STRING, static_cast<void*>(&value));
}
bool Attribute::removeValue(int value) {
    return removeMatch(DLIST_INT, &value);
}
bool Attribute::removeValue(long value) {
    return removeMatch(DLIST_LONG, &value);
}
bool Attribute::removeValue(Dbinary* value) {
    return removeMatch(DLIST_BINARY, value);
}

DList* Attribute::getStringValues() {
    if (values_ == nullptr) return nullptr;
    DList* texts = new (HEAP) DList();
    for (DListItem* item = values_->getFirstItem(); item != nullptr;
         item = values_->getNextItem()) {
        char* text = item->stringValue();
        if (text != nullptr) texts->append(text, DLIST_STRING, false);
    }
    if (texts->getSize() == 0) {
        delete texts;
        return nullptr;
    }
    return texts;
}

DList* Attribute::getBinaryValues() {
    if (values_ == nullptr) return nullptr;
    DList* binaries = new (HEAP) DList();
    for (DListItem* item = values_->getFirstItem(); item != nullptr;
         item = values_->getNextItem()) {
        Dbinary* binary = item->binaryValue();
        if (binary != nullptr) binaries->append(binary, DLIST_BINARY, false);
    }
    if (binaries->getSize() == 0) {
        delete binaries;
        return nullptr;
    }
    return binaries;
}

DList* Attribute::getValuesOfType(int type) {
    if (values_ == nullptr) return nullptr;
    DList* found = nullptr;
    for (DListItem* item = values_->getFirstItem(); item != nullptr;
         item = values_->getNextItem()) {
        if (item->getType() != type) continue;
        if (found == nullptr) found = new (HEAP) DList();
        found->append(item->getValue(), DLIST_BORROWED, false);
    }
    return found;
}

bool Attribute::hasOnlyStringValues() const {
    if (values_ == nullptr) return true;
    for (DListItem* item = values_->getHead(); item != nullptr; item = item->getNextItem())
        if (item->getType() != DLIST_STRING) return false;
    return true;
}

bool Attribute::setBerVal(void** berVal) {
    berVal_ = berVal;
    return true;
}

DListItem* Attribute::getFirstValueItem() {
    return list_item(values_, ListStep::First);
}
DListItem* Attribute::getNextValueItem() {
    return list_item(values_, ListStep::Next);
}
DListItem* Attribute::getPreviousValueItem() {
    return list_item(values_, ListStep::Previous);
}
DListItem* Attribute::getLastValueItem() {
    return list_item(values_, ListStep::Last);
}
void* Attribute::getValue() {
    return list_value(values_, ListStep::Here);
}
void* Attribute::getFirstValue() {
    return list_value(values_, ListStep::First);
}
void* Attribute::getNextValue() {
    return list_value(values_, ListStep::Next);
}
void* Attribute::getPreviousValue() {
    return list_value(values_, ListStep::Previous);
}
void* Attribute::getLastValue() {
    return list_value(values_, ListStep::Last);
}
bool Attribute::resetToBegin() {
    return list_reset(values_, false);
}
bool Attribute::resetToEnd() {
    return list_reset(values_, true);
}

int Attribute::attrcmp(Attribute* other, bool order) {
    if (other == nullptr) return 0;
    DListItem* mine = getFirstValueItem();
    DListItem* theirs = other->getFirstValueItem();
    if (mine == nullptr || theirs == nullptr || mine->getValue() == nullptr ||
        theirs->getValue() == nullptr)
        return 0;
    const int result = compare_values({mine->getType(), mine->getValue()},
                                      {theirs->getType(), theirs->getValue()});
    return order ? result : -result;
}

char* Attribute::ToString() {
    return ToString(0, true);
}

char* Attribute::ToString(int indent, bool compact) {
    DumpBuffer out;
    dump(out, this, indent, compact);
    return out.release();
}
