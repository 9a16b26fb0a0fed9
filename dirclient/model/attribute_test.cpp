#include "attribute.h"

#include <gtest/gtest.h>
#include <lber.h>

#include <string>

#include "attribute_set.h"

namespace {

std::string tag_of(const void* block) {
    return std::string(static_cast<const char*>(block) - 8, 4);
}

TEST(AttributeBuilding, ConstructorsChooseTheMemoryKinds) {
    struct Row {
        Attribute* attribute;
        const char* name_tag;
        const char* list_tag;
        int type;
    };
    Dbinary source{2, const_cast<char*>("ab")};
    Dbinary* record = copy_binary_shared(&source);
    const Row rows[] = {
        {new (HEAP) Attribute("cn", record), "HEAP", "SHAR", DLIST_BINARY},
        {new (HEAP) Attribute("cn", 5), "HEAP", "SHAR", DLIST_INT},
        {new (HEAP) Attribute("cn", "Ann"), "SHAR", "SHAR", DLIST_STRING},
        {new (HEAP) Attribute("cn", 5L), "SHAR", "HEAP", DLIST_LONG},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        Attribute* a = rows[i].attribute;
        EXPECT_EQ(tag_of(a->getName()), rows[i].name_tag);
        EXPECT_EQ(tag_of(a->getValues()), rows[i].list_tag);
        EXPECT_EQ(a->getFirstValueItem()->getType(), rows[i].type);
        EXPECT_EQ(tag_of(a->getFirstValue()), "SHAR");
        delete a;  // the Dbinary row releases record itself
    }
}

TEST(AttributeBuilding, LongValuesKeepAllTheirBits) {
    const long big = (1L << 40) + 3;
    Attribute a("n", big);
    a.addValue(-big);
    EXPECT_EQ(*static_cast<long*>(a.getFirstValue()), big);
    EXPECT_EQ(*static_cast<long*>(a.getNextValue()), -big);
    EXPECT_TRUE(a.removeValue(-big));
    EXPECT_EQ(a.size(), 1);
}

TEST(AttributeBuilding, AddValueCopiesAndTheCallerKeepsItsArgument) {
    Attribute a("photo");
    char bytes[] = {'x', 'y'};
    Dbinary mine{2, bytes};
    EXPECT_TRUE(a.addValue(&mine));
    auto* held = static_cast<Dbinary*>(a.getFirstValue());
    EXPECT_NE(held, &mine);
    EXPECT_NE(held->bytes, bytes);
    EXPECT_EQ(tag_of(held), "SHAR");
    EXPECT_EQ(tag_of(a.getValues()), "SHAR");
    EXPECT_TRUE(a.addValue(static_cast<Dbinary*>(nullptr)));
    EXPECT_TRUE(a.addValue(static_cast<const char*>(nullptr)));
    EXPECT_EQ(a.size(), 3);
    EXPECT_EQ(a.getLastValue(), nullptr);
}

TEST(AttributeBuilding, SetNameAndSetValuesReplaceWhatWasThere) {
    Attribute a("cn", "x");
    a.setName("sn");
    EXPECT_STREQ(a.getName(), "sn");
    a.setName(a.getName());  // the same text: nothing is freed
    EXPECT_STREQ(a.getName(), "sn");
    a.setValues(a.getValues());
    EXPECT_EQ(a.size(), 1);
    DList* fresh = new (HEAP) DList();
    fresh->append(strcopy("y"), DLIST_STRING, false);
    fresh->append(strcopy("z"), DLIST_STRING, false);
    a.setValues(fresh);
    EXPECT_EQ(a.size(), 2);
    a.setValues(nullptr);
    EXPECT_EQ(a.size(), 0);
    EXPECT_FALSE(a.resetToBegin());
    EXPECT_EQ(a.getFirstValueItem(), nullptr);
}

TEST(AttributeBuilding, BerValArrayIsReleasedWithTheAttribute) {
    // Leak-checked: the LDAP value array belongs to the attribute once set.
    auto** array = static_cast<struct berval**>(ber_memcalloc(3, sizeof(struct berval*)));
    array[0] = ber_bvstrdup("one");
    array[1] = ber_bvstrdup("two");
    Attribute* a = new (HEAP) Attribute("cn");
    a->setBerVal(reinterpret_cast<void**>(array));
    EXPECT_EQ(a->getBerVal(), reinterpret_cast<void**>(array));
    delete a;
}

TEST(AttributeValues, HasValueMatchesOnlyTheSameType) {
    Attribute a("cn", "abc");
    a.addValue(5);
    a.addValue(7L);
    char raw[] = {'a', 'b', 'c'};
    Dbinary binary{3, raw};
    a.addValue(&binary);
    const char* upper = "ABC";
    const char* five = "5";
    int int5 = 5, int7 = 7;
    long long7 = 7, long5 = 5;
    Dbinary other{3, const_cast<char*>("abd")};
    Dbinary shorter{2, raw};
    struct Row {
        int type;
        void* value;
        bool expected;
    } rows[] = {
        {DLIST_STRING, &upper, true},    {DLIST_STRING, &five, false},
        {DLIST_INT, &int5, true},        {DLIST_INT, &int7, false},
        {DLIST_LONG, &long7, true},      {DLIST_LONG, &long5, false},
        {DLIST_BINARY, &binary, true},   {DLIST_BINARY, &other, false},
        {DLIST_BINARY, &shorter, false}, {DLIST_BORROWED, &int5, false},
        {DLIST_STRING, nullptr, false},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(a.hasValue(rows[i].type, rows[i].value), rows[i].expected);
    }
}

TEST(AttributeValues, RemoveValueDeletesTheFirstEqualValueOfItsType) {
    Attribute a("cn", "abc");
    a.addValue("5");
    a.addValue("ABC");
    EXPECT_FALSE(a.removeValue(5));  // a string 5 is not the int 5
    EXPECT_TRUE(a.removeValue("ABC"));
    EXPECT_EQ(a.size(), 2);
    EXPECT_STREQ(static_cast<char*>(a.getFirstValue()), "5");
    EXPECT_STREQ(static_cast<char*>(a.getNextValue()), "ABC");
    Dbinary abc{3, const_cast<char*>("ABC")};
    EXPECT_FALSE(a.removeValue(&abc));  // a string is not an equal binary value
    Attribute empty;
    EXPECT_FALSE(empty.removeValue("x"));
}

bool* new_flag(bool value) {
    bool* flag = reinterpret_cast<bool*>(check_malloc(sizeof(bool)));
    *flag = value;
    return flag;
}

TEST(AttributeValues, StringAndBinaryFormsSkipValuesWithoutOne) {
    Attribute a("x", 1);
    a.getValues()->append(new_flag(true), DLIST_BOOL, false);
    char inner[] = {'a', '\0', 'b'};
    Dbinary binary{3, inner};
    a.addValue(&binary);
    Dbinary abc{3, const_cast<char*>("abc")};
    a.addValue(&abc);
    a.getValues()->append(nullptr, DLIST_BINARY, false);
    DList* texts = a.getStringValues();
    ASSERT_NE(texts, nullptr);
    EXPECT_EQ(texts->getSize(), 2);  // the inner NUL has no text form
    EXPECT_STREQ(static_cast<char*>(texts->getFirstValue()), "1");
    EXPECT_EQ(tag_of(texts->getFirstValue()), "HEAP");
    EXPECT_STREQ(static_cast<char*>(texts->getNextValue()), "abc");
    delete texts;
    DList* binaries = a.getBinaryValues();
    ASSERT_NE(binaries, nullptr);
    EXPECT_EQ(binaries->getSize(), 3);  // the int's text and both binary values
    delete binaries;

    Attribute only_bool("b", "x");
    only_bool.getFirstValueItem()->setItem(new_flag(false), DLIST_BOOL);
    EXPECT_EQ(only_bool.getStringValues(), nullptr);
    EXPECT_EQ(only_bool.getBinaryValues(), nullptr);
    Attribute none("n");
    EXPECT_EQ(none.getStringValues(), nullptr);
}

TEST(AttributeValues, TypedListsBorrowTheValuesAndAreReleasedSafely) {
    // Deleting the returned lists must leave the attribute's values alone (checked by ASan).
    Attribute* a = new (HEAP) Attribute("n", 1);
    a->addValue("text");
    a->addValue(2);
    a->addValue(30L);
    DList* ints = a->getIntValues();
    ASSERT_NE(ints, nullptr);
    EXPECT_EQ(ints->getSize(), 2);
    EXPECT_EQ(*static_cast<int*>(ints->getFirstValue()), 1);
    EXPECT_EQ(*static_cast<int*>(ints->getNextValue()), 2);
    EXPECT_TRUE(ints->getHead()->isType(DLIST_BORROWED));
    DList* longs = a->getLongValues();
    ASSERT_NE(longs, nullptr);
    EXPECT_EQ(*static_cast<long*>(longs->getFirstValue()), 30L);
    EXPECT_EQ(longs->getFirstValue(), a->getLastValue());  // the attribute's own block
    delete ints;
    delete longs;
    EXPECT_EQ(a->getValuesOfType(DLIST_BINARY), nullptr);
    EXPECT_EQ(a->size(), 4);
    delete a;
}

TEST(AttributeValues, HasOnlyStringValuesHoldsForNoValues) {
    Attribute texts;
    EXPECT_TRUE(texts.hasOnlyStringValues());
    texts.addValue("a");
    EXPECT_TRUE(texts.hasOnlyStringValues());
    texts.addValue(1);
    EXPECT_FALSE(texts.hasOnlyStringValues());
}

// attrcmp over the pairs of value types.
TEST(AttributeCompare, FirstValuesByTypePair) {
    Dbinary b9{1, const_cast<char*>("9")};
    Dbinary b10{2, const_cast<char*>("10")};
    Dbinary babc{3, const_cast<char*>("abc")};
    Dbinary bABC{3, const_cast<char*>("ABC")};
    auto sign = [](int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); };
    struct Row {
        Attribute* a;
        Attribute* b;
        int expected;  // sign with order true
    } rows[] = {
        {new Attribute("x", 3), new Attribute("x", 7), -1},
        {new Attribute("x", 7L), new Attribute("x", 3), 1},
        {new Attribute("x", -1), new Attribute("x", 1L), -1},   // numeric, signed
        {new Attribute("x", 10), new Attribute("x", "9"), -1},  // text "10" < "9"
        {new Attribute("x", "9"), new Attribute("x", 10L), 1},
        {new Attribute("x", "abc"), new Attribute("x", "ABC"), 0},  // ignoring case
        {new Attribute("x", 10), new Attribute("x", copy_binary_shared(&b9)), -1},
        {new Attribute("x", copy_binary_shared(&b10)), new Attribute("x", 10), 0},
        {new Attribute("x", copy_binary_shared(&babc)), new Attribute("x", "abc"), 0},
        {new Attribute("x", copy_binary_shared(&bABC)), new Attribute("x", "abc"), -1},
        {new Attribute("x", "abc"), new Attribute("x", copy_binary_shared(&bABC)), 1},
        {new Attribute("x"), new Attribute("x", 1), 0},  // no value
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(sign(rows[i].a->attrcmp(rows[i].b, true)), rows[i].expected);
        EXPECT_EQ(sign(rows[i].a->attrcmp(rows[i].b, false)), -rows[i].expected);
        delete rows[i].a;
        delete rows[i].b;
    }
}

TEST(AttributeCompare, OtherTypesAndNullValuesCompareEqual) {
    Attribute number("x", 1);
    Attribute flag("x", "1");
    flag.getFirstValueItem()->setItem(new_flag(true), DLIST_BOOL);
    EXPECT_EQ(flag.attrcmp(&number, true), 0);
    EXPECT_EQ(number.attrcmp(&flag, false), 0);
    Attribute null_text("x", "1");
    null_text.getFirstValueItem()->setValue(nullptr);
    EXPECT_EQ(null_text.attrcmp(&number, true), 0);
    EXPECT_EQ(number.attrcmp(nullptr, true), 0);
}

TEST(AttributeSet, NamesAreUniqueIgnoringCase) {
    AttributeSet set;
    Attribute* cn = new (HEAP) Attribute("cn", "a");
    Attribute* upper = new (HEAP) Attribute("CN", "b");
    EXPECT_TRUE(set.add(cn));
    EXPECT_FALSE(set.addAttribute(upper));
    EXPECT_FALSE(set.add(cn));  // the same object twice would be deleted twice
    EXPECT_FALSE(set.add(nullptr));
    EXPECT_EQ(set.size(), 1);
    EXPECT_EQ(set.getAttribute("Cn"), cn);
    EXPECT_EQ(set.getBaseAttribute("CN"), cn);
    EXPECT_EQ(set.getAttribute(static_cast<const char*>(nullptr)), nullptr);
    delete upper;  // refused: still the caller's
}

TEST(AttributeSet, NamelessAttributesAreKeptButNeverFound) {
    AttributeSet set;
    Attribute* nameless = new (HEAP) Attribute();
    EXPECT_TRUE(set.add(nameless));
    EXPECT_FALSE(set.add(nameless));
    EXPECT_TRUE(set.add(new (HEAP) Attribute("sn")));
    EXPECT_EQ(set.getAttribute("sn"), set.elementAt(1));
    EXPECT_EQ(set.elementAt(0), nameless);
    EXPECT_EQ(set.elementAt(2), nullptr);
}

TEST(AttributeSet, RemovingByNamePositionAndCursor) {
    AttributeSet set;
    for (const char* name : {"a", "b", "c", "d"})
        set.add(new (HEAP) Attribute(name));
    EXPECT_TRUE(set.remove("B"));
    EXPECT_FALSE(set.remove("b"));
    EXPECT_TRUE(set.removeElementAt(2));  // d
    EXPECT_FALSE(set.removeElementAt(2));
    EXPECT_STREQ(set.getFirstAttribute()->getName(), "a");
    EXPECT_TRUE(set.removeIt());
    EXPECT_STREQ(set.getAttribute()->getName(), "c");
    EXPECT_EQ(set.size(), 1);
    AttributeSet empty;
    EXPECT_FALSE(empty.remove("a"));
    EXPECT_FALSE(empty.removeIt());
    EXPECT_EQ(empty.getFirstAttribute(), nullptr);
    EXPECT_FALSE(empty.resetToEnd());
}

// A large set looks names up in an index: it must agree with the list however the list
// was changed, through the set or directly.
TEST(AttributeSet, LargeSetsFindWhatTheListHoldsAfterAnyChange) {
    AttributeSet set;
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(set.add(new (HEAP) Attribute(("name" + std::to_string(i)).c_str())));
    Attribute* again = new (HEAP) Attribute("NAME7");
    EXPECT_FALSE(set.add(again));
    EXPECT_FALSE(set.add(set.elementAt(150)));  // the same object again
    EXPECT_EQ(set.getAttribute("Name150"), set.elementAt(150));
    EXPECT_EQ(set.getAttribute(), set.elementAt(150));  // the cursor is left on it
    EXPECT_EQ(set.getAttribute("missing"), nullptr);
    // Removed through the set, then through its list: the name is free again.
    EXPECT_TRUE(set.remove("name7"));
    EXPECT_TRUE(set.add(again));
    EXPECT_EQ(set.getAttribute("name7"), again);
    ASSERT_TRUE(set.getValues()->goTo(19));  // name7 has moved to the end
    ASSERT_STREQ(set.getAttribute()->getName(), "name20");
    ASSERT_TRUE(set.getValues()->removeIt());
    EXPECT_EQ(set.getAttribute("name20"), nullptr);
    Attribute* twenty = new (HEAP) Attribute("name20");
    EXPECT_TRUE(set.add(twenty));
    // A list put in place of the old one is indexed afresh.
    auto* other = new (HEAP) DList();
    for (int i = 0; i < 40; ++i)
        other->append(new (HEAP) Attribute(("x" + std::to_string(i)).c_str()), DLIST_ATTRIBUTE,
                      false);
    set.setValues(other);
    EXPECT_EQ(set.getAttribute("name20"), nullptr);
    EXPECT_EQ(set.getAttribute("X39"), set.elementAt(39));
    Attribute* x0 = new (HEAP) Attribute("X0");
    EXPECT_FALSE(set.add(x0));
    delete x0;
}

}  // namespace
