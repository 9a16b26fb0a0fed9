#include "entry_comparator.h"

#include <strings.h>

#include "dn_normalize.h"
#include "model_dump.h"
#include "status.h"

namespace {

// A direction flag of the order list; anything but a bool item falls back to fallback.
bool direction_of(const DListItem* item, bool fallback) {
    if (item == nullptr || item->getValue() == nullptr || !item->isType(DLIST_BOOL))
        return fallback;
    return *static_cast<bool*>(item->getValue());
}

// A name list and a direction list go together item by item.
Status sameLength(DList* names, DList* orders) {
    if (names == nullptr || orders == nullptr || names->getSize() == orders->getSize())
        return Status();
    return Status::failure(dexception_info_message(DEXC_COMPARE_ATTR_NAMES),
                           DEXC_COMPARE_ATTR_NAMES, "ERROR: different size lists");
}

}  // namespace

char* EntryComparator::ToString(int indent, bool compact) {
    DumpBuffer out;
    dump(out, this, indent, compact);
    return out.release();
}

CompareAttrNames::CompareAttrNames(const char* name) : attrName_(name) {}

CompareAttrNames::CompareAttrNames(const char* name, bool order) : attrName_(name), order_(order) {}

CompareAttrNames::CompareAttrNames(DList* names) : attrList_(names) {}

CompareAttrNames::CompareAttrNames(DList* names, DList* orders, DException** exc)
    : attrList_(names), orderList_(orders) {
    if (exc == nullptr) return;
    *exc = nullptr;
    sameLength(names, orders).report(exc);
}

CompareAttrNames::~CompareAttrNames() {
    delete attrList_;
    delete orderList_;
}

bool CompareAttrNames::setAttrName(const char* name) {
    attrName_ = name;
    return true;
}

bool CompareAttrNames::setAttrList(DList* names) {
    if (names != attrList_) {
        delete attrList_;
        attrList_ = names;
    }
    return true;
}

bool CompareAttrNames::setOrderList(DList* orders) {
    if (orders != orderList_) {
        delete orderList_;
        orderList_ = orders;
    }
    return true;
}

bool CompareAttrNames::setOrder(bool order) {
    order_ = order;
    return true;
}

bool CompareAttrNames::isGreater(DEntry* a, DEntry* b) {
    return isGreater(a, b, true);
}

bool CompareAttrNames::firstDirection() const {
    if (attrName_ == nullptr && orderList_ != nullptr)
        return direction_of(orderList_->getHead(), order_);
    return order_;
}

bool CompareAttrNames::isGreater(DEntry* a, DEntry* b, bool ifEqual) {
    if (a == nullptr && b == nullptr) return ifEqual;
    if (a == nullptr || b == nullptr) {
        // In ascending order an entry sorts after a missing one.
        const bool direction = firstDirection();
        return a != nullptr ? direction : !direction;
    }
    if (attrName_ == nullptr) return byList(a, b, ifEqual);
    if (attrName_[0] == '\0') return byDN(a, b);
    return byAttribute(a, b, ifEqual);
}

bool CompareAttrNames::byAttribute(DEntry* a, DEntry* b, bool ifEqual) {
    Attribute* x = a->getAttribute(attrName_);
    Attribute* y = b->getAttribute(attrName_);
    if (x == nullptr && y == nullptr) return ifEqual;
    if (x == nullptr) return !order_;
    if (y == nullptr) return order_;
    return x->attrcmp(y, order_) > 0;
}

bool CompareAttrNames::byDN(DEntry* a, DEntry* b) const {
    // An entry without a DN sorts like one without the sort attribute.
    if (a->getDN() == nullptr || b->getDN() == nullptr) {
        if (a->getDN() == b->getDN()) return false;
        return a->getDN() != nullptr ? order_ : !order_;
    }
    char* x = dn_normalize(a->getDN());
    char* y = dn_normalize(b->getDN());
    const int cmp = strcasecmp(x, y);
    check_free(x);
    check_free(y);
    return order_ ? cmp > 0 : cmp < 0;
}

bool CompareAttrNames::byList(DEntry* a, DEntry* b, bool ifEqual) {
    if (attrList_ == nullptr) return ifEqual;
    const DListItem* flag = orderList_ != nullptr ? orderList_->getHead() : nullptr;
    for (const DListItem* name = attrList_->getHead(); name != nullptr;
         name = name->getNextItem()) {
        const bool direction = orderList_ != nullptr ? direction_of(flag, order_) : order_;
        if (flag != nullptr) flag = flag->getNextItem();
        if (!name->isType(DLIST_STRING) || name->getValue() == nullptr) continue;
        const char* attrName = static_cast<const char*>(name->getValue());
        Attribute* x = a->getAttribute(attrName);
        Attribute* y = b->getAttribute(attrName);
        if (x == nullptr && y == nullptr) continue;
        if (x == nullptr) return !direction;
        if (y == nullptr) return direction;
        const int r = x->attrcmp(y, direction);
        if (r != 0) return r > 0;
    }
    return ifEqual;
}

char* CompareAttrNames::ToString() {
    return ToString(0, true);
}

char* CompareAttrNames::ToString(int indent, bool compact) {
    DumpBuffer out;
    dump(out, this, indent, compact);
    return out.release();
}
