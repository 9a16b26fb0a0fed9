#include "sort_keys.h"

#include <strings.h>

#include <cctype>

#include "dn_normalize.h"
#include "stable_merge.h"
#include "value_compare.h"

namespace {

bool direction_of(const DListItem* item, bool fallback) {
    if (item == nullptr || item->getValue() == nullptr || !item->isType(DLIST_BOOL))
        return fallback;
    return *static_cast<bool*>(item->getValue());
}

// The names of the comparator with their directions: one name with the order flag, or
// the list with its flags. A list item that is not a name is a name no entry has (null).
void sort_names(const CompareAttrNames& comparator, std::vector<const char*>& names,
                std::vector<bool>& directions) {
    const bool order = comparator.getOrder();
    if (comparator.getAttrName() != nullptr) {
        names.push_back(comparator.getAttrName());
        directions.push_back(order);
        return;
    }
    if (comparator.getAttrList() == nullptr) return;
    DList* orders = comparator.getOrderList();
    const DListItem* flag = orders != nullptr ? orders->getHead() : nullptr;
    for (const DListItem* name = comparator.getAttrList()->getHead(); name != nullptr;
         name = name->getNextItem()) {
        directions.push_back(orders != nullptr ? direction_of(flag, order) : order);
        if (flag != nullptr) flag = flag->getNextItem();
        const bool usable = name->isType(DLIST_STRING) && name->getValue() != nullptr;
        names.push_back(usable ? static_cast<const char*>(name->getValue()) : nullptr);
    }
}

}  // namespace

SortKeys::SortKeys(const CompareAttrNames& comparator, std::size_t expected) {
    const char* attrName = comparator.getAttrName();
    byDn_ = attrName != nullptr && attrName[0] == '\0';
    sort_names(comparator, names_, directions_);
    records_.reserve(expected);
    if (names_.size() > 1) more_.reserve(expected * (names_.size() - 1));
}

void SortKeys::add(DEntry* entry) {
    Key first{};
    if (byDn_) {
        dns_.push_back(dn_normalize(entry->getDN()));
        first = textKey(dns_.back());
    } else if (!names_.empty()) {
        first = attributeKey(names_[0] != nullptr ? entry->getAttribute(names_[0]) : nullptr);
    }
    records_.push_back({first, static_cast<std::uint32_t>(records_.size())});
    for (std::size_t k = 1; k < names_.size(); ++k)
        more_.push_back(
            attributeKey(names_[k] != nullptr ? entry->getAttribute(names_[k]) : nullptr));
}

std::vector<std::size_t> SortKeys::order() {
    stable_merge_sort(records_, [this](const Record& a, const Record& b) { return greater(a, b); });
    std::vector<std::size_t> positions(records_.size());
    for (std::size_t k = 0; k < records_.size(); ++k)
        positions[k] = records_[k].index;
    return positions;
}

SortKeys::~SortKeys() {
    for (char* dn : dns_)
        check_free(dn);
}

SortKeys::Key SortKeys::textKey(const char* text) {
    Key key{text, {0, 0}, DLIST_STRING, text != nullptr, false};
    if (text == nullptr) return key;
    // Lower-cased as strcasecmp does (the C library's tolower), packed so that comparing
    // the two words compares the bytes in order, unsigned; the terminator pads with zeros.
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t n = 0;
    for (; n < 16 && bytes[n] != '\0'; ++n) {
        const std::uint64_t lower = static_cast<unsigned char>(std::tolower(bytes[n]));
        key.prefix[n / 8] |= lower << (8 * (7 - n % 8));
    }
    key.whole = bytes[n] == '\0';
    return key;
}

SortKeys::Key SortKeys::attributeKey(Attribute* attribute) {
    DListItem* first = attribute != nullptr ? attribute->getFirstValueItem() : nullptr;
    if (first == nullptr || first->getValue() == nullptr)
        return Key{nullptr, {0, 0}, 0, attribute != nullptr, false};
    if (first->getType() == DLIST_STRING) return textKey(static_cast<char*>(first->getValue()));
    return Key{first->getValue(), {0, 0}, first->getType(), true, false};
}

// attrcmp of two first values, ascending.
int SortKeys::compare(const Key& x, const Key& y) {
    if (x.type == DLIST_STRING && y.type == DLIST_STRING) {
        for (int w = 0; w < 2; ++w)
            if (x.prefix[w] != y.prefix[w]) return x.prefix[w] < y.prefix[w] ? -1 : 1;
        // Equal prefixes: a text that ends there is the smaller one unless both end.
        if (x.whole || y.whole) return x.whole == y.whole ? 0 : (x.whole ? -1 : 1);
        return strcasecmp(static_cast<const char*>(x.value), static_cast<const char*>(y.value));
    }
    return compare_values({x.type, x.value}, {y.type, y.value});
}

// 1: x sorts after y; -1: x sorts before y; 0: this key does not decide.
int SortKeys::decide(const Key& x, const Key& y, bool direction) {
    if (!x.present && !y.present) return 0;
    // In ascending order an entry with the key sorts after one without it.
    if (!x.present) return direction ? -1 : 1;
    if (!y.present) return direction ? 1 : -1;
    if (x.value == nullptr || y.value == nullptr) return 0;
    const int r = compare(x, y);
    if (r == 0) return 0;
    return (r > 0) == direction ? 1 : -1;
}

bool SortKeys::greater(const Record& a, const Record& b) const {
    const std::size_t names = names_.size();
    if (names == 0) return false;
    const int first = decide(a.first, b.first, directions_[0]);
    if (first != 0) return first > 0;
    const Key* x = more_.data() + a.index * (names - 1);
    const Key* y = more_.data() + b.index * (names - 1);
    for (std::size_t k = 1; k < names; ++k) {
        const int d = decide(x[k - 1], y[k - 1], directions_[k]);
        if (d != 0) return d > 0;
    }
    return false;
}
