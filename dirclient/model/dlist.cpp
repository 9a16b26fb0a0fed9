#include "dlist.h"

#include <cstdio>
#include <cstring>

#include "attribute.h"
#include "dentry.h"
#include "dexception.h"
#include "model_dump.h"
#include "modification.h"

namespace {

void release_value(int type, void* value) {
    if (value == nullptr) return;
    switch (type) {
        case DLIST_BOOL:
        case DLIST_INT:
        case DLIST_LONG:
        case DLIST_STRING:
        case DLIST_ASYNVAL:
            check_free(value);
            break;
        case DLIST_BINARY:
            free_binary(static_cast<Dbinary*>(value));
            break;
        case DLIST_ATTRIBUTE:
            delete static_cast<Attribute*>(value);
            break;
        case DLIST_MODIFICATION:
            delete static_cast<Modification*>(value);
            break;
        case DLIST_ENTRY:
            delete static_cast<DEntry*>(value);
            break;
        case DLIST_EXCEPTION:
            delete static_cast<DException*>(value);
            break;
        default:
            break;  // borrowed or unknown: only forgotten
    }
}

char* number_text(long number) {
    char text[24];
    std::snprintf(text, sizeof text, "%ld", number);
    return strcopy(text);
}

char* binary_text(const Dbinary* value) {
    if (value->bytes == nullptr) return nullptr;
    const std::uint32_t length = value->length;
    if (length == 0) return strcopy("");
    if (std::memchr(value->bytes, '\0', length - 1) != nullptr) return nullptr;
    const bool terminated = value->bytes[length - 1] == '\0';
    const std::uint32_t text_length = terminated ? length - 1 : length;
    char* text = check_malloc(text_length + 1);
    std::memcpy(text, value->bytes, text_length);
    text[text_length] = '\0';
    return text;
}

Dbinary* binary_of_text(char* text) {
    Dbinary* copy = reinterpret_cast<Dbinary*>(check_malloc_shared(sizeof(Dbinary)));
    copy->length = static_cast<std::uint32_t>(std::strlen(text));
    copy->bytes = text;
    return copy;
}

}  // namespace

// --- DListItem ----------------------------------------------------------------------------

DListItem::~DListItem() {
    freeValue();
}

bool DListItem::setType(int type) {
    type_ = type;
    return true;
}
bool DListItem::setItemType(int type) {
    return setType(type);
}

bool DListItem::setValue(void* value) {
    if (value == value_) return true;
    release_value(type_, value_);
    value_ = value;
    return true;
}
bool DListItem::setItemData(void* value) {
    return setValue(value);
}

bool DListItem::resetValue(void* value) {
    value_ = value;
    return true;
}

bool DListItem::setItem(void* value, int type) {
    // The old value is released under the code it was stored with.
    if (value != value_) release_value(type_, value_);
    type_ = type;
    value_ = value;
    return true;
}

void DListItem::freeValue() {
    release_value(type_, value_);
    value_ = nullptr;
}

bool DListItem::setNextItem(DListItem* item) {
    next_ = item;
    return true;
}
bool DListItem::setNext(DListItem* item) {
    return setNextItem(item);
}
bool DListItem::setPreviousItem(DListItem* item) {
    previous_ = item;
    return true;
}
bool DListItem::setPrevious(DListItem* item) {
    return setPreviousItem(item);
}

void DListItem::switchData(DListItem* other) {
    if (other == nullptr) return;
    const int type = type_;
    void* value = value_;
    type_ = other->type_;
    value_ = other->value_;
    other->type_ = type;
    other->value_ = value;
}

char* DListItem::stringValue() {
    if (value_ == nullptr) return nullptr;
    switch (type_) {
        case DLIST_INT:
            return number_text(*static_cast<int*>(value_));
        case DLIST_LONG:
            return number_text(*static_cast<long*>(value_));
        case DLIST_BINARY:
            return binary_text(static_cast<Dbinary*>(value_));
        case DLIST_STRING:
            return strcopy(static_cast<char*>(value_));
        default:
            return nullptr;
    }
}

Dbinary* DListItem::binaryValue() {
    if (value_ == nullptr) return nullptr;
    switch (type_) {
        case DLIST_BINARY:
            return copy_binary_shared(static_cast<Dbinary*>(value_));
        case DLIST_INT:
            return binary_of_text(number_text(*static_cast<int*>(value_)));
        case DLIST_LONG:
            return binary_of_text(number_text(*static_cast<long*>(value_)));
        case DLIST_STRING:
            return binary_of_text(strcopy(static_cast<char*>(value_)));
        default:
            return nullptr;
    }
}

char* DListItem::ToString() {
    return ToString(0, true);
}

char* DListItem::ToString(int indent, bool compact) {
    DumpBuffer out;
    dump(out, this, indent, compact);
    return out.release();
}

// --- DList --------------------------------------------------------------------------------

DList::~DList() {
    deleteAll();
}

void DList::deleteAll() {
    DListItem* item = head_;
    while (item != nullptr) {
        DListItem* next = item->getNextItem();
        delete item;
        item = next;
    }
    cursor_ = head_ = tail_ = nullptr;
    size_ = 0;
}

bool DList::append(void* value, int type, bool copy) {
    if (copy && value != nullptr) {
        if (type == DLIST_BOOL) {
            bool* flag = reinterpret_cast<bool*>(check_malloc(sizeof(bool)));
            *flag = *static_cast<bool*>(value);
            value = flag;
        } else if (type == DLIST_STRING) {
            value = strcopy(static_cast<char*>(value));
        }
    }
    return append(new (HEAP) DListItem(value, type));
}

bool DList::append_int(void* value, int type) {
    return append(value, type, false);
}

bool DList::append(DListItem* item) {
    if (item == nullptr) return false;
    if (cursor_ == nullptr) return setCursor(item);
    // A linked item (or our only one) belongs to a chain already: taking it would break
    // that chain or this one.
    if (item == head_ || item->getNextItem() != nullptr || item->getPreviousItem() != nullptr)
        return false;
    item->setPreviousItem(tail_);
    tail_->setNextItem(item);
    cursor_ = tail_;
    tail_ = item;
    ++size_;
    return true;
}

bool DList::insertAt(int pos, void* value, int type) {
    if (!goTo(pos)) return false;
    DListItem* item = new (HEAP) DListItem(value, type);
    DListItem* before = cursor_->getPreviousItem();
    item->setPreviousItem(before);
    item->setNextItem(cursor_);
    cursor_->setPreviousItem(item);
    if (before != nullptr)
        before->setNextItem(item);
    else
        head_ = item;
    ++size_;
    return true;
}

bool DList::goTo(int pos) {
    if (head_ == nullptr) return false;
    DListItem* item = head_;
    for (int step = 0; step < pos; ++step) {
        item = item->getNextItem();
        if (item == nullptr) return false;
    }
    cursor_ = item;
    return true;
}

int DList::isPosition() const {
    if (cursor_ == nullptr) return -1;
    int pos = 0;
    for (DListItem* item = head_; item != nullptr && item != cursor_; item = item->getNextItem())
        ++pos;
    return pos;
}

bool DList::removeIt() {
    if (cursor_ == nullptr) return false;
    DListItem* item = cursor_;
    DListItem* before = item->getPreviousItem();
    DListItem* after = item->getNextItem();
    if (before != nullptr) before->setNextItem(after);
    if (after != nullptr) after->setPreviousItem(before);
    if (item == head_) head_ = after;
    if (item == tail_) tail_ = before;
    cursor_ = after != nullptr ? after : before;
    --size_;
    delete item;
    return true;
}

bool DList::setCursor(DListItem* item) {
    if (item != nullptr && head_ != nullptr) {
        DListItem* first = item;
        while (first->getPreviousItem() != nullptr)
            first = first->getPreviousItem();
        if (first == head_) {  // one of ours: deleting the chain would delete item too
            cursor_ = item;
            return true;
        }
    }
    deleteAll();
    if (item == nullptr) return true;
    cursor_ = head_ = tail_ = item;
    size_ = 1;
    while (head_->getPreviousItem() != nullptr) {
        head_ = head_->getPreviousItem();
        ++size_;
    }
    while (tail_->getNextItem() != nullptr) {
        tail_ = tail_->getNextItem();
        ++size_;
    }
    return true;
}

bool DList::setHead(DListItem* item) {
    head_ = item;
    return true;
}
bool DList::setTail(DListItem* item) {
    tail_ = item;
    return true;
}
bool DList::setSize(int size) {
    size_ = size;
    return true;
}

DListItem* DList::getFirstItem() {
    cursor_ = head_;
    return cursor_;
}

DListItem* DList::getLastItem() {
    cursor_ = tail_;
    return cursor_;
}

DListItem* DList::getNextItem() {
    if (cursor_ == nullptr || cursor_->getNextItem() == nullptr) return nullptr;
    cursor_ = cursor_->getNextItem();
    return cursor_;
}

DListItem* DList::getPreviousItem() {
    if (cursor_ == nullptr || cursor_->getPreviousItem() == nullptr) return nullptr;
    cursor_ = cursor_->getPreviousItem();
    return cursor_;
}

bool DList::resetToBegin() {
    cursor_ = head_;
    return true;
}

bool DList::resetToEnd() {
    cursor_ = tail_;
    return true;
}

void* DList::getValue() const {
    return cursor_ != nullptr ? cursor_->getValue() : nullptr;
}

void* DList::getFirstValue() {
    DListItem* item = getFirstItem();
    return item != nullptr ? item->getValue() : nullptr;
}

void* DList::getLastValue() {
    DListItem* item = getLastItem();
    return item != nullptr ? item->getValue() : nullptr;
}

void* DList::getNextValue() {
    DListItem* item = getNextItem();
    return item != nullptr ? item->getValue() : nullptr;
}

void* DList::getPreviousValue() {
    DListItem* item = getPreviousItem();
    return item != nullptr ? item->getValue() : nullptr;
}

char* DList::ToString() {
    return ToString(0, true);
}

char* DList::ToString(int indent, bool compact) {
    DumpBuffer out;
    dump(out, this, indent, compact);
    return out.release();
}
