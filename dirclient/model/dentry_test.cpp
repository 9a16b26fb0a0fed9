#include "dentry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modification.h"
#include "modification_set.h"

namespace {

TEST(DEntry, HoldsACopyOfTheDnAndOwnsItsSet) {
    char dn[] = "cn=Ann,o=Acme";
    DEntry* entry = new (HEAP) DEntry(dn);
    EXPECT_NE(entry->getDN(), dn);
    EXPECT_STREQ(entry->getDN(), dn);
    EXPECT_EQ(std::string(entry->getDN() - 8, 4), "SHAR");
    EXPECT_EQ(entry->getType(), DELEMENT_ENTRY);
    entry->setDN(" CN = other ");
    EXPECT_STREQ(entry->getDN(), " CN = other ");  // stored as given
    entry->setDN(entry->getDN() + 6);              // a text inside the old DN
    EXPECT_STREQ(entry->getDN(), "other ");
    delete entry;

    AttributeSet* set = new (HEAP) AttributeSet();
    set->add(new (HEAP) Attribute("cn", "x"));
    DEntry* owner = new (SHAR) DEntry("cn=x", set);
    EXPECT_EQ(owner->getAttributeSet(), set);
    EXPECT_EQ(owner->size(), 1);
    delete owner;  // deletes set and its attribute (leak-checked)

    DEntry empty;
    EXPECT_EQ(empty.getDN(), nullptr);
    EXPECT_EQ(empty.size(), 0);
    EXPECT_EQ(empty.getAttribute("cn"), nullptr);
    EXPECT_EQ(empty.getFirstAttribute(), nullptr);
    EXPECT_FALSE(empty.resetToBegin());
}

TEST(DEntry, AddAttributeRefusesASecondOfTheSameName) {
    DEntry entry("cn=x");
    EXPECT_TRUE(entry.addAttribute(new (HEAP) Attribute("cn", "a")));
    Attribute* again = new (HEAP) Attribute("CN", "b");
    EXPECT_FALSE(entry.addAttribute(again));
    EXPECT_EQ(entry.size(), 1);
    EXPECT_STREQ(static_cast<char*>(entry.getAttribute("cN")->getFirstValue()), "a");
    delete again;
    EXPECT_FALSE(entry.addAttribute(nullptr));
}

TEST(DEntry, SetValuesReplacesTheSet) {
    DEntry entry("cn=x");
    entry.addAttribute(new (HEAP) Attribute("a"));
    entry.setValues(entry.getValues());  // the same set stays alive
    EXPECT_EQ(entry.size(), 1);
    AttributeSet* other = new (HEAP) AttributeSet();
    other->add(new (HEAP) Attribute("b"));
    other->add(new (HEAP) Attribute("c"));
    entry.setValues(other);  // the first set is deleted (leak-checked)
    EXPECT_EQ(entry.size(), 2);
    EXPECT_STREQ(entry.getLastAttribute()->getName(), "c");
}

TEST(Modification, DefaultIsReplaceAndSettingTheSameAttributeKeepsIt) {
    Modification m;
    EXPECT_EQ(m.getOp(), MOD_OP_REPLACE);
    m.setAttribute(new (HEAP) Attribute("cn"));
    m.setAttribute(m.getAttribute());
    m.setAttribute(new (HEAP) Attribute("sn"));  // the cn attribute is deleted
    EXPECT_STREQ(m.getAttribute()->getName(), "sn");
}

std::vector<std::string> names(ModificationSet& set) {
    std::vector<std::string> out;
    DList* list = set.getValues();
    if (list == nullptr) return out;
    for (DListItem* item = list->getHead(); item != nullptr; item = item->getNextItem()) {
        auto* m = static_cast<Modification*>(item->getValue());
        out.emplace_back(m->getAttribute() != nullptr && m->getAttribute()->getName() != nullptr
                             ? m->getAttribute()->getName()
                             : "-");
    }
    return out;
}

ModificationSet* set_of(const std::vector<const char*>& attribute_names) {
    auto* set = new ModificationSet();
    for (const char* name : attribute_names)
        set->add(MOD_OP_ADD, name != nullptr ? new (HEAP) Attribute(name) : nullptr);
    return set;
}

TEST(ModificationSet, RemoveDeletesEveryModificationOfTheName) {
    struct Row {
        std::vector<const char*> before;
        bool removed;
        std::vector<std::string> after;
    };
    const Row rows[] = {
        {{"cn", "cn", "sn"}, true, {"sn"}},
        {{"sn", "cn", "cn"}, true, {"sn"}},
        {{"cn", "sn", "cn"}, true, {"sn"}},
        {{"cn"}, true, {}},
        {{"cn", "CN", "Cn"}, true, {}},
        {{"sn", nullptr, "mail"}, false, {"sn", "-", "mail"}},
        {{}, false, {}},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        ModificationSet* set = set_of(rows[i].before);
        EXPECT_EQ(set->remove("CN"), rows[i].removed);
        EXPECT_EQ(names(*set), rows[i].after);
        EXPECT_FALSE(set->remove(nullptr));
        delete set;
    }
}

TEST(ModificationSet, BorrowedModificationsSurviveTheSet) {
    Modification* mine = new Modification(MOD_OP_DELETE, new (HEAP) Attribute("cn"));
    ModificationSet* wrapper = new ModificationSet();
    EXPECT_TRUE(wrapper->addModification(mine, DLIST_BORROWED));
    EXPECT_EQ(wrapper->getFirstModification(), mine);
    EXPECT_STREQ(wrapper->getFirstAttribute()->getName(), "cn");
    delete wrapper;
    EXPECT_STREQ(mine->getAttribute()->getName(), "cn");
    delete mine;
}

TEST(ModificationSet, AddModificationAcceptsOnlyOwnedOrBorrowedCodes) {
    ModificationSet set;
    Modification m;
    EXPECT_FALSE(set.addModification(&m, DLIST_ATTRIBUTE));
    EXPECT_FALSE(set.addModification(&m, DLIST_ENTRY));
    EXPECT_FALSE(set.addModification(nullptr, DLIST_MODIFICATION));
    EXPECT_EQ(set.size(), 0);
    EXPECT_TRUE(set.addModification(new Modification(), DLIST_MODIFICATION));
    EXPECT_EQ(set.size(), 1);
}

TEST(ModificationSet, PositionsAndCursorMoves) {
    ModificationSet* set = set_of({"a", nullptr, "c"});
    EXPECT_STREQ(set->elementAt(2)->getAttribute()->getName(), "c");
    EXPECT_EQ(set->elementAt(3), nullptr);
    EXPECT_STREQ(set->getFirstAttribute()->getName(), "a");
    EXPECT_EQ(set->getNextAttribute(), nullptr);  // a modification without attribute
    EXPECT_NE(set->getModification(), nullptr);
    EXPECT_STREQ(set->getNextAttribute()->getName(), "c");
    EXPECT_EQ(set->getNextModification(), nullptr);
    EXPECT_TRUE(set->removeElementAt(1));
    EXPECT_EQ(names(*set), (std::vector<std::string>{"a", "c"}));
    EXPECT_FALSE(set->removeElementAt(5));
    delete set;
    ModificationSet empty;
    EXPECT_EQ(empty.getFirstModification(), nullptr);
    EXPECT_EQ(empty.getLastAttribute(), nullptr);
    EXPECT_EQ(empty.elementAt(0), nullptr);
    EXPECT_FALSE(empty.resetToBegin());
}

}  // namespace
