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

SortKeys::SortKeys(const CompareAttrNames& comparator, const std::vector<DEntry*>& entries) {
    const char* attrName = comparator.getAttrName();
    const bool byDn = attrName != nullptr && attrName[0] == '\0';
    sort_names(comparator, names_, directions_);
    const std::size_t count = entries.size();
    records_.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        records_[i].index = static_cast<std::uint32_t>(i);
    if (byDn) {
        dns_.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            dns_.push_back(dn_normalize(entries[i]->getDN()));
            records_[i].first = textKey(dns_.back());
        }
        return;
    }
    if (names_.size() > 1) more_.resize(count * (names_.size() - 1));
    gather(entries);
}

// The lookups of many entries advance side by side: each lane follows one entry's chain of
// blocks (attribute set, list, items, attributes, names, first value, text) one block per
// turn and asks for the next block before the other lanes take their turns, so that the
// waits for memory overlap instead of adding up. Each lane finds what
// DEntry::getAttribute(name) and Attribute::getFirstValueItem() would find.
struct SortKeys::Lane {
    enum class Step { kSet, kList, kHead, kItem, kName, kCompare, kFirst, kValue, kText };
    std::size_t job;
    Step step;
    const char* name;  // the attribute name looked for
    const void* at;    // the block this turn reads, asked for in the previous turn
    DListItem* item;   // the attribute item being looked at

    // Asks for block, read in the next turn at step next; false: the key is not complete.
    bool go(Step next, const void* block) {
        __builtin_prefetch(block);
        step = next;
        at = block;
        return false;
    }
    // On to the entry's next attribute; without one the entry lacks the key.
    bool nextItem(Key& key) {
        DListItem* next = item->getNextItem();
        return next != nullptr ? go(Step::kItem, item = next) : missing(key);
    }
    static bool missing(Key& key) {
        key = Key{nullptr, {0, 0}, 0, false, false};
        return true;
    }
    static bool withoutValue(Key& key) {
        key = Key{nullptr, {0, 0}, 0, true, false};
        return true;
    }
};

namespace {
constexpr int kLanes = 16;
}  // namespace

void SortKeys::gather(const std::vector<DEntry*>& entries) {
    const std::size_t names = names_.size();
    const std::size_t jobs = entries.size() * names;
    auto key_of = [&](std::size_t job) -> Key& {
        const std::size_t entry = job / names, k = job % names;
        return k == 0 ? records_[entry].first : more_[entry * (names - 1) + k - 1];
    };
    std::size_t next_job = 0;
    auto start = [&](Lane& lane) {
        lane = {next_job, Lane::Step::kSet, names_[next_job % names], entries[next_job / names],
                nullptr};
        __builtin_prefetch(lane.at);
        ++next_job;
    };
    Lane lanes[kLanes];
    int active = 0;
    while (active < kLanes && next_job < jobs)
        start(lanes[active++]);
    while (active > 0) {
        for (int l = 0; l < active;) {
            Lane& lane = lanes[l];
            if (!advance(lane, key_of(lane.job))) {
                ++l;
            } else if (next_job < jobs) {
                start(lane);
                ++l;
            } else {
                lane = lanes[--active];
            }
        }
    }
}

// One turn of a lane; true when its key is complete. These steps find the attribute.
bool SortKeys::advance(Lane& lane, Key& key) {
    using Step = Lane::Step;
    switch (lane.step) {
        case Step::kSet: {
            if (lane.name == nullptr) return Lane::missing(key);
            AttributeSet* set = static_cast<const DEntry*>(lane.at)->getAttributeSet();
            return set != nullptr ? lane.go(Step::kList, set) : Lane::missing(key);
        }
        case Step::kList: {
            DList* list = static_cast<const AttributeSet*>(lane.at)->getValues();
            return list != nullptr ? lane.go(Step::kHead, list) : Lane::missing(key);
        }
        case Step::kHead: {
            DListItem* head = static_cast<const DList*>(lane.at)->getHead();
            return head != nullptr ? lane.go(Step::kItem, lane.item = head) : Lane::missing(key);
        }
        case Step::kItem: {
            void* attribute = lane.item->getValue();
            return attribute != nullptr ? lane.go(Step::kName, attribute) : lane.nextItem(key);
        }
        case Step::kName: {
            const char* name = static_cast<const Attribute*>(lane.at)->getName();
            return name != nullptr ? lane.go(Step::kCompare, name) : lane.nextItem(key);
        }
        default:
            return advanceToValue(lane, key);
    }
}

// The turns from a candidate attribute's name to its first value.
bool SortKeys::advanceToValue(Lane& lane, Key& key) {
    using Step = Lane::Step;
    switch (lane.step) {
        case Step::kCompare: {
            if (strcasecmp(static_cast<const char*>(lane.at), lane.name) != 0) {
                return lane.nextItem(key);
            }
            DList* values = static_cast<Attribute*>(lane.item->getValue())->getValues();
            return values != nullptr ? lane.go(Step::kFirst, values) : Lane::withoutValue(key);
        }
        case Step::kFirst: {
            DListItem* first = static_cast<const DList*>(lane.at)->getHead();
            return first != nullptr ? lane.go(Step::kValue, first) : Lane::withoutValue(key);
        }
        case Step::kValue: {
            const auto* first = static_cast<const DListItem*>(lane.at);
            if (first->getValue() == nullptr) return Lane::withoutValue(key);
            if (first->getType() == DLIST_STRING) return lane.go(Step::kText, first->getValue());
            key = Key{first->getValue(), {0, 0}, first->getType(), true, false};
            return true;
        }
        case Step::kText:
            key = textKey(static_cast<const char*>(lane.at));
            return true;
        default:
            return Lane::missing(key);
    }
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
