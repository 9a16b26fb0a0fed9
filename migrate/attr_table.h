#ifndef LDIFMIGRATE_ATTR_TABLE_H
#define LDIFMIGRATE_ATTR_TABLE_H

// The attribute table of one record: its parsed lines and the attributes the migration
// rules add, in order. Slots are appended, never removed or reordered. The table grows as
// needed; its memory comes from the ch_ allocator.

#include <cstddef>

struct AttrSlot {
    char* type;   // NUL-terminated; for a line kept verbatim, the whole line
    char* value;  // `length` bytes, then a NUL; null for a line kept verbatim (a
                  // change-record separator "-", or a value given by URL, "type:< url")
    int length;
    int value_owned;  // the slot frees `value`
    int type_owned;   // the slot frees `type`
};

class AttrTable {
  public:
    AttrTable() = default;
    AttrTable(const AttrTable&) = delete;
    AttrTable& operator=(const AttrTable&) = delete;
    ~AttrTable();

    int count() const { return count_; }
    AttrSlot& operator[](int i) { return slots_[i]; }
    const AttrSlot& operator[](int i) const { return slots_[i]; }

    // Appends a slot; the table takes over whatever the slot's flags say it owns.
    void append(const AttrSlot& slot);

    // Gives slot i a value the table then owns, releasing the old one if it was owned.
    void replace_value(int i, char* owned_value, int length);

    // Leaves slot i out of the record: its value is released and it is written no more.
    // Slots keep their places, so indexes stay valid.
    void drop(int i);
    static bool dropped(const AttrSlot& slot) { return slot.value == nullptr && slot.length < 0; }

    // Releases the owned copies and empties the table (its room is kept for the next record).
    void clear();

    // Index of the first slot whose type is `type` (case ignored), or -1.
    int find(const char* type) const;

  private:
    AttrSlot* slots_ = nullptr;
    int count_ = 0;
    int capacity_ = 0;
};

#endif
