#include "dlist.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "attribute.h"
#include "dentry.h"
#include "dexception.h"
#include "modification.h"

namespace {

char* text(const char* s) {
    return strcopy(s);
}

// The texts of the list from head to tail, read through the links (the cursor stays).
std::vector<std::string> contents(const DList& list) {
    std::vector<std::string> out;
    for (DListItem* item = list.getHead(); item != nullptr; item = item->getNextItem())
        out.emplace_back(item->getValue() != nullptr ? static_cast<char*>(item->getValue())
                                                     : "(null)");
    return out;
}

const char* cursor_text(const DList& list) {
    return list.getCursor() != nullptr ? static_cast<char*>(list.getCursor()->getValue()) : nullptr;
}

// The chain must be consistent both ways and agree with size, head and tail.
void expect_well_formed(const DList& list) {
    int count = 0;
    DListItem* previous = nullptr;
    for (DListItem* item = list.getHead(); item != nullptr; item = item->getNextItem()) {
        EXPECT_EQ(item->getPreviousItem(), previous);
        previous = item;
        ++count;
    }
    EXPECT_EQ(previous, list.getTail());
    EXPECT_EQ(count, list.getSize());
    EXPECT_EQ(list.getCursor() == nullptr, list.getHead() == nullptr);
}

DList* list_of(std::initializer_list<const char*> values) {
    DList* list = new (HEAP) DList();
    for (const char* v : values)
        list->append(text(v), DLIST_STRING, false);
    return list;
}

TEST(DListCursor, AppendLeavesTheCursorBeforeTheNewItem) {
    DList list;
    EXPECT_EQ(list.isPosition(), -1);
    list.append(text("a"), DLIST_STRING, false);
    EXPECT_STREQ(cursor_text(list), "a");
    list.append(text("b"), DLIST_STRING, false);
    EXPECT_STREQ(cursor_text(list), "a");
    EXPECT_STREQ(static_cast<char*>(list.getNextValue()), "b");
    list.append(text("c"), DLIST_STRING, false);
    EXPECT_STREQ(cursor_text(list), "b");
    EXPECT_EQ(list.isPosition(), 1);
    expect_well_formed(list);
}

TEST(DListCursor, MovesStopAtTheEnds) {
    DList* list = list_of({"a", "b"});
    EXPECT_STREQ(static_cast<char*>(list->getLastValue()), "b");
    EXPECT_EQ(list->getNextItem(), nullptr);
    EXPECT_STREQ(cursor_text(*list), "b");
    EXPECT_STREQ(static_cast<char*>(list->getPreviousValue()), "a");
    EXPECT_EQ(list->getPreviousValue(), nullptr);
    EXPECT_STREQ(cursor_text(*list), "a");
    EXPECT_TRUE(list->resetToEnd());
    EXPECT_STREQ(static_cast<char*>(list->getValue()), "b");
    delete list;

    DList empty;
    EXPECT_EQ(empty.getFirstValue(), nullptr);
    EXPECT_EQ(empty.getNextValue(), nullptr);
    EXPECT_EQ(empty.getPreviousItem(), nullptr);
    EXPECT_EQ(empty.getValue(), nullptr);
}

TEST(DListCursor, GoToSelectsPositionsOrFailsInPlace) {
    DList* list = list_of({"a", "b", "c"});
    EXPECT_TRUE(list->goTo(0));
    EXPECT_STREQ(cursor_text(*list), "a");
    EXPECT_TRUE(list->goTo(2));
    EXPECT_STREQ(cursor_text(*list), "c");
    EXPECT_EQ(list->isPosition(), 2);
    EXPECT_FALSE(list->goTo(3));
    EXPECT_STREQ(cursor_text(*list), "c");
    EXPECT_TRUE(list->goTo(-4));
    EXPECT_STREQ(cursor_text(*list), "a");
    EXPECT_EQ(list->isPosition(), 0);
    delete list;
    DList empty;
    EXPECT_FALSE(empty.goTo(0));
}

TEST(DListCursor, InsertAtLinksBeforeThePosition) {
    DList* list = list_of({"a", "c"});
    EXPECT_TRUE(list->insertAt(1, text("b"), DLIST_STRING));
    EXPECT_STREQ(cursor_text(*list), "c");
    EXPECT_TRUE(list->insertAt(0, text("0"), DLIST_STRING));
    EXPECT_STREQ(cursor_text(*list), "a");
    EXPECT_EQ(contents(*list), (std::vector<std::string>{"0", "a", "b", "c"}));
    expect_well_formed(*list);
    char* refused = text("end");
    EXPECT_FALSE(list->insertAt(list->getSize(), refused, DLIST_STRING));
    check_free(refused);
    EXPECT_EQ(list->getSize(), 4);
    delete list;

    DList empty;
    EXPECT_FALSE(empty.insertAt(0, nullptr, DLIST_STRING));
    EXPECT_EQ(empty.getSize(), 0);
}

TEST(DListCursor, RemoveItAtHeadMiddleTailAndOnlyItem) {
    DList* list = list_of({"a", "b", "c", "d"});
    list->goTo(0);
    EXPECT_TRUE(list->removeIt());
    EXPECT_STREQ(cursor_text(*list), "b");
    EXPECT_STREQ(static_cast<char*>(list->getHead()->getValue()), "b");
    list->goTo(1);
    EXPECT_TRUE(list->removeIt());
    EXPECT_STREQ(cursor_text(*list), "d");
    EXPECT_TRUE(list->removeIt());  // the tail: back to the new tail
    EXPECT_STREQ(cursor_text(*list), "b");
    EXPECT_EQ(list->getTail(), list->getCursor());
    expect_well_formed(*list);
    EXPECT_TRUE(list->removeIt());
    EXPECT_EQ(list->getCursor(), nullptr);
    EXPECT_EQ(list->getHead(), nullptr);
    EXPECT_EQ(list->getTail(), nullptr);
    EXPECT_EQ(list->getSize(), 0);
    EXPECT_FALSE(list->removeIt());
    delete list;
}

TEST(DListChains, SetCursorAdoptsAForeignChainAndMovesWithinItsOwn) {
    DList* source = list_of({"x", "y", "z"});
    DListItem* middle = source->getHead()->getNextItem();
    // Detach the chain from its first owner.
    source->setHead(nullptr);
    source->setTail(nullptr);
    source->setSize(0);
    source->resetToBegin();
    delete source;

    DList* list = list_of({"old"});
    EXPECT_TRUE(list->setCursor(middle));
    EXPECT_EQ(list->getSize(), 3);
    EXPECT_STREQ(cursor_text(*list), "y");
    EXPECT_EQ(contents(*list), (std::vector<std::string>{"x", "y", "z"}));
    expect_well_formed(*list);
    // An item of its own chain only moves the cursor.
    DListItem* last = list->getTail();
    EXPECT_TRUE(list->setCursor(last));
    EXPECT_EQ(list->getSize(), 3);
    EXPECT_EQ(list->getCursor(), last);
    expect_well_formed(*list);
    EXPECT_TRUE(list->setCursor(nullptr));
    EXPECT_EQ(list->getSize(), 0);
    delete list;
}

TEST(DListChains, AppendingAnItemAdoptsOnEmptyAndRefusesLinkedOnes) {
    DList list;
    DListItem* first = new (HEAP) DListItem(text("a"), DLIST_STRING);
    EXPECT_TRUE(list.append(first));
    EXPECT_EQ(list.getCursor(), first);
    EXPECT_FALSE(list.append(first));  // already ours: appending would make a cycle
    DListItem* second = new (HEAP) DListItem(text("b"), DLIST_STRING);
    EXPECT_TRUE(list.append(second));
    EXPECT_EQ(list.getTail(), second);
    EXPECT_FALSE(list.append(list.getHead()));
    DListItem* stray = new (HEAP) DListItem(text("c"), DLIST_STRING);
    DListItem neighbour;
    stray->setNextItem(&neighbour);  // still part of another chain
    EXPECT_FALSE(list.append(stray));
    EXPECT_FALSE(list.append(static_cast<DListItem*>(nullptr)));
    EXPECT_EQ(list.getSize(), 2);
    expect_well_formed(list);
    stray->setNextItem(nullptr);
    delete stray;
}

TEST(DListOwnership, CopyFlagCopiesOnlyBoolsAndStrings) {
    DList list;
    char original[] = "abc";
    bool flag = true;
    int* number = reinterpret_cast<int*>(check_malloc(sizeof(int)));
    *number = 5;
    list.append(original, DLIST_STRING, true);
    list.append(&flag, DLIST_BOOL, true);
    list.append(number, DLIST_INT, true);
    list.append(static_cast<void*>(nullptr), DLIST_STRING, true);
    DListItem* item = list.getHead();
    EXPECT_NE(item->getValue(), original);
    EXPECT_STREQ(static_cast<char*>(item->getValue()), "abc");
    item = item->getNextItem();
    EXPECT_NE(item->getValue(), &flag);
    EXPECT_TRUE(*static_cast<bool*>(item->getValue()));
    item = item->getNextItem();
    EXPECT_EQ(item->getValue(), number);  // taken over, released with the list
    EXPECT_EQ(item->getNextItem()->getValue(), nullptr);
}

TEST(DListOwnership, EveryTypeCodeIsReleasedExactlyOnce) {
    // Run under AddressSanitizer: a double release or a leak fails the test.
    DList* list = new (SHAR) DList();
    bool flag = false;
    int number = 7;
    long big = 1L << 40;
    list->append(&flag, DLIST_BOOL, true);
    list->append(strcopy("text"), DLIST_STRING, false);
    Dbinary bytes{3, const_cast<char*>("abc")};
    list->append(copy_binary_shared(&bytes), DLIST_BINARY, false);
    auto* n = reinterpret_cast<int*>(check_malloc(sizeof(int)));
    *n = number;
    list->append(n, DLIST_INT, false);
    auto* l = reinterpret_cast<long*>(check_malloc(sizeof(long)));
    *l = big;
    list->append(l, DLIST_LONG, false);
    list->append(new (HEAP) Attribute("cn", "Ann"), DLIST_ATTRIBUTE, false);
    list->append(new Modification(MOD_OP_ADD, new (HEAP) Attribute("sn", 3)), DLIST_MODIFICATION,
                 false);
    list->append(new (SHAR) DEntry("cn=x"), DLIST_ENTRY, false);
    list->append(new DException("ERROR: can not read", 610, "why"), DLIST_EXCEPTION, false);
    list->append(check_malloc(24), DLIST_ASYNVAL, false);
    list->append(&number, DLIST_BORROWED, false);  // never released
    list->append(&number, 42, false);              // unknown code: never released
    EXPECT_EQ(list->getSize(), 12);
    delete list;
    EXPECT_EQ(number, 7);
}

TEST(DListOwnership, ResetValueDetachesAValue) {
    DList list;
    char* keep = strcopy("survivor");
    list.append(keep, DLIST_STRING, false);
    list.getFirstItem()->resetValue(nullptr);
    EXPECT_TRUE(list.removeIt());
    EXPECT_STREQ(keep, "survivor");
    check_free(keep);
}

TEST(DListItemValues, ReplacingReleasesTheOldValueByItsOwnTypeCode) {
    DListItem* item = new (HEAP) DListItem(strcopy("one"), DLIST_STRING);
    item->setValue(item->getValue());  // the same value is not released
    EXPECT_STREQ(static_cast<char*>(item->getValue()), "one");
    item->setValue(strcopy("two"));
    EXPECT_STREQ(static_cast<char*>(item->getValue()), "two");
    // A string released as an Attribute would crash; the old code must decide.
    item->setItem(new (HEAP) Attribute("cn"), DLIST_ATTRIBUTE);
    EXPECT_TRUE(item->isType(DLIST_ATTRIBUTE));
    delete item;
}

TEST(DListItemValues, SwitchDataExchangesTypeAndValueOnly) {
    DList list;
    list.append(strcopy("a"), DLIST_STRING, false);
    list.append(new (HEAP) Attribute("cn"), DLIST_ATTRIBUTE, false);
    DListItem* first = list.getHead();
    DListItem* second = list.getTail();
    first->switchData(second);
    EXPECT_EQ(first->getType(), DLIST_ATTRIBUTE);
    EXPECT_STREQ(static_cast<char*>(second->getValue()), "a");
    EXPECT_EQ(first->getNextItem(), second);
    first->switchData(nullptr);
    EXPECT_EQ(first->getType(), DLIST_ATTRIBUTE);
}

struct StringRow {
    int type;
    void* value;
    const char* expected;  // null: no string form
};

TEST(DListItemValues, StringValueByType) {
    int number = -42;
    long big = 1L << 40;
    bool flag = true;
    char abc[] = "abc";
    char inner_nul[] = {'a', '\0', 'b'};
    char last_nul[] = {'a', 'b', '\0'};
    Dbinary three{3, abc};
    Dbinary middle{3, inner_nul};
    Dbinary terminated{3, last_nul};
    Dbinary empty{0, abc};
    Dbinary no_bytes{4, nullptr};
    const StringRow rows[] = {
        {DLIST_INT, &number, "-42"},      {DLIST_LONG, &big, "1099511627776"},
        {DLIST_STRING, abc, "abc"},       {DLIST_BINARY, &three, "abc"},
        {DLIST_BINARY, &middle, nullptr}, {DLIST_BINARY, &terminated, "ab"},
        {DLIST_BINARY, &empty, ""},       {DLIST_BINARY, &no_bytes, nullptr},
        {DLIST_BOOL, &flag, nullptr},     {DLIST_STRING, nullptr, nullptr},
        {DLIST_BORROWED, abc, nullptr},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        DListItem item(rows[i].value, rows[i].type);
        char* s = item.stringValue();
        if (rows[i].expected == nullptr) {
            EXPECT_EQ(s, nullptr);
        } else {
            ASSERT_NE(s, nullptr);
            EXPECT_STREQ(s, rows[i].expected);
        }
        check_free(s);
        item.resetValue(nullptr);  // the values are the test's
    }
}

TEST(DListItemValues, BinaryValueByType) {
    int number = 12;
    long big = -5;
    bool flag = true;
    char abc[] = "abc";
    char raw[] = {'x', '\0', 'y'};
    Dbinary binary{3, raw};
    const struct {
        int type;
        void* value;
        const char* bytes;
        std::uint32_t length;
    } rows[] = {
        {DLIST_INT, &number, "12", 2},   {DLIST_LONG, &big, "-5", 2},
        {DLIST_STRING, abc, "abc", 3},   {DLIST_BINARY, &binary, raw, 3},
        {DLIST_BOOL, &flag, nullptr, 0}, {DLIST_INT, nullptr, nullptr, 0},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        DListItem item(rows[i].value, rows[i].type);
        Dbinary* b = item.binaryValue();
        if (rows[i].bytes == nullptr) {
            EXPECT_EQ(b, nullptr);
        } else {
            ASSERT_NE(b, nullptr);
            EXPECT_EQ(std::string(b->bytes, b->length), std::string(rows[i].bytes, rows[i].length));
            EXPECT_EQ(std::string(reinterpret_cast<char*>(b) - 8, 4), "SHAR");
            EXPECT_NE(b->bytes, rows[i].value);
        }
        free_binary(b);
        item.resetValue(nullptr);
    }
}

}  // namespace
