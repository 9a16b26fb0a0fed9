#include "attr_table.h"

#include <strings.h>

#include "ch_malloc.h"

AttrTable::~AttrTable() {
    clear();
    ch_free(slots_);
}

void AttrTable::append(const AttrSlot& slot) {
    if (count_ == capacity_) {
        int grown = capacity_ ? capacity_ * 2 : 64;
        slots_ = static_cast<AttrSlot*>(
            ch_realloc(slots_, sizeof(AttrSlot) * static_cast<size_t>(grown)));
        capacity_ = grown;
    }
    slots_[count_++] = slot;
}

void AttrTable::replace_value(int i, char* owned_value, int length) {
    AttrSlot& s = slots_[i];
    if (s.value_owned) ch_free(s.value);
    s.value = owned_value;
    s.length = length;
    s.value_owned = 1;
}

void AttrTable::drop(int i) {
    AttrSlot& s = slots_[i];
    if (s.value_owned) ch_free(s.value);
    s.value = nullptr;
    s.length = -1;
    s.value_owned = 0;
}

void AttrTable::clear() {
    for (int i = 0; i < count_; ++i) {
        if (slots_[i].value_owned) ch_free(slots_[i].value);
        if (slots_[i].type_owned) ch_free(slots_[i].type);
    }
    count_ = 0;
}

int AttrTable::find(const char* type) const {
    for (int i = 0; i < count_; ++i)
        if ((slots_[i].type[0] | 0x20) == (type[0] | 0x20) && strcasecmp(slots_[i].type, type) == 0)
            return i;
    return -1;
}
