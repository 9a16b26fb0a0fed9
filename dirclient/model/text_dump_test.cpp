#include "text_dump.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "dentry.h"
#include "dexception.h"
#include "entry_comparator.h"
#include "ldap_result_codes.h"
#include "modification_set.h"
#include "results.h"
#include "search_constraints.h"
#include "search_results.h"

namespace {

// Takes a dump over and releases it.
std::string take(char* text) {
    EXPECT_NE(text, nullptr);
    std::string out = text != nullptr ? text : "";
    check_free(text);
    return out;
}

DEntry* ann() {
    DEntry* entry = new (HEAP) DEntry("cn=Ann,o=Acme");
    entry->addAttribute(new (HEAP) Attribute("cn", "Ann"));
    return entry;
}

TEST(TextDumpBuilders, LineForms) {
    Dbinary bytes{3, const_cast<char*>("a\x01z")};
    const void* pointer = reinterpret_cast<const void*>(0x7f12345678abULL);
    struct Row {
        char* text;
        const char* expected;
    } rows[] = {
        {gen_header_class("DEntry", 2), "  DEntry {\n"},
        {gen_end_class(0), "}\n"},
        {gen_end_class(-3), "}\n"},
        {gen_string_instance("dn", "cn=x", 2), "  dn: cn=x\n"},
        {gen_string_instance("dn", nullptr, 0), "dn: NULL\n"},
        {gen_string_instance("<", "int", 4), "    <int, "},
        {gen_string_instance(">", "5", 4), "5>\n"},
        {gen_binary_instance("value", &bytes, 1), " value: a\x01z\n"},
        {gen_binary_instance(">", &bytes, 1), "a\x01z>\n"},
        {gen_binary_instance("value", nullptr, 0), "value: NULL\n"},
        {gen_bool_instance("order", true, 2), "  order: TRUE\n"},
        {gen_bool_instance(">", false, 2), "FALSE>\n"},
        {gen_bool_instance("<", false, 0), "<: FALSE\n"},
        {gen_int_instance("errorCode", -609, 0), "errorCode: -609\n"},
        {gen_int_instance(">", 5, 9), "5>\n"},
        {gen_long_instance("n", 1L << 40, 1), " n: 1099511627776\n"},
        {gen_object_instance("values", strcopy("X\n"), 2), "  values: \nX\n"},
        {gen_object_instance("values", nullptr, 2), "  values: NULL\n"},
        {gen_hexa_instance("at", nullptr, 0), "at: 0x0\n"},
        {gen_hexa_instance("at", pointer, 2), "  at: 0x7f12345678ab\n"},  // the whole pointer
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(take(rows[i].text), rows[i].expected);
    }
}

TEST(TextDump, EntryCompactAndFull) {
    DEntry* entry = ann();
    EXPECT_EQ(take(entry->ToString()),
              "DEntry {\n"
              "  dn: cn=Ann,o=Acme\n"
              "  Attribute {\n"
              "    name: cn\n"
              "    <string, Ann>\n"
              "  }\n"
              "}\n");
    EXPECT_EQ(take(entry->ToString(0, false)),
              "DEntry {\n"
              "  dn: cn=Ann,o=Acme\n"
              "  values: \n"
              "    AttributeSet {\n"
              "      values: \n"
              "        DList {\n"
              "          DListItem {\n"
              "            type: attribute\n"
              "            value: \n"
              "              Attribute {\n"
              "                name: cn\n"
              "                values: \n"
              "                  DList {\n"
              "                    DListItem {\n"
              "                      type: string\n"
              "                      value: Ann\n"
              "                    }\n"
              "                  }\n"
              "              }\n"
              "          }\n"
              "        }\n"
              "    }\n"
              "}\n");
    delete entry;
}

TEST(TextDump, ServerValuesAreBinaryItems) {
    Dbinary value{3, const_cast<char*>("Ann")};
    Attribute a("cn");
    a.addValue(&value);
    Dbinary inner{3, const_cast<char*>("a\0b")};
    a.addValue(&inner);
    a.getValues()->append(nullptr, DLIST_BINARY, false);
    EXPECT_EQ(take(a.ToString()),
              "Attribute {\n"
              "  name: cn\n"
              "  <binary, Ann>\n"
              "  <binary, binary type can not be converted to string>\n"
              "  <binary, NULL>\n"
              "}\n");
}

TEST(TextDump, ListsAndItemsInBothForms) {
    DList list;
    EXPECT_EQ(take(list.ToString()), "DList {\n}\n");
    bool yes = true;
    int five = 5;
    list.append(&yes, DLIST_BOOL, true);
    list.append(&five, DLIST_BORROWED, false);
    auto* number = reinterpret_cast<int*>(check_malloc(sizeof(int)));
    *number = 5;
    list.append(number, DLIST_INT, false);
    list.getFirstItem();
    EXPECT_EQ(take(list.ToString()), "DList {\n<bool, TRUE>\n<int, 5>\n}\n");
    EXPECT_EQ(list.getCursor(), list.getTail());
    EXPECT_EQ(take(list.ToString(2, true)), "  <bool, TRUE>\n  <int, 5>\n");
    EXPECT_EQ(take(list.ToString(0, false)),
              "DList {\n"
              "  DListItem {\n"
              "    type: bool\n"
              "    value: TRUE\n"
              "  }\n"
              "  DListItem {\n"
              "  }\n"
              "  DListItem {\n"
              "    type: int\n"
              "    value: 5\n"
              "  }\n"
              "}\n");
    EXPECT_EQ(take(list.getHead()->getNextItem()->ToString()), "");
}

TEST(TextDump, NullMembersPrintNull) {
    DEntry empty;
    EXPECT_EQ(take(empty.ToString()), "DEntry {\n  dn: NULL\n}\n");
    EXPECT_EQ(take(empty.ToString(0, false)), "DEntry {\n  dn: NULL\n  values: NULL\n}\n");
    Modification m;
    EXPECT_EQ(take(m.ToString(2, false)),
              "  Modification {\n    option: REPLACE\n    attribute: NULL\n  }\n");
}

TEST(TextDump, ModificationOptionsAndSets) {
    ModificationSet set;
    set.add(MOD_OP_ADD, new (HEAP) Attribute("cn", "x"));
    set.add(7, nullptr);
    EXPECT_EQ(take(set.ToString()),
              "ModificationSet {\n"
              "  Modification {\n"
              "    option: ADD\n"
              "    Attribute {\n"
              "      name: cn\n"
              "      <string, x>\n"
              "    }\n"
              "  }\n"
              "  Modification {\n"
              "    option: UNKNOWN\n"
              "  }\n"
              "}\n");
    // Nested compactly, a set contributes only its items.
    EXPECT_EQ(take(set.ToString(2, true)).rfind("  Modification {\n", 0), 0u);
    ModificationSet empty;
    EXPECT_EQ(take(empty.ToString(4, true)), "");
    EXPECT_EQ(take(empty.ToString(0, false)), "ModificationSet {\n  values: NULL\n}\n");
}

TEST(TextDump, AttributeSetFrames) {
    AttributeSet set;
    EXPECT_EQ(take(set.ToString(2, true)), "");
    EXPECT_EQ(take(set.ToString()), "AttributeSet {\n  values: NULL\n}\n");
    set.add(new (HEAP) Attribute("n", 3));
    EXPECT_EQ(take(set.ToString()),
              "AttributeSet {\n"
              "  values: \n"
              "    Attribute {\n"
              "      name: n\n"
              "      <int, 3>\n"
              "    }\n"
              "}\n");
}

TEST(TextDump, ExceptionShowsTheLdapTextInPlaceOfTheDetail) {
    DException plain("ERROR: can not read", 610, "ERROR: no open connection");
    EXPECT_EQ(take(plain.ToString()),
              "DException {\n"
              "  infoMsg: ERROR: can not read\n"
              "  infoSMsg: ERROR: no open connection\n"
              "  errorCode: 610\n"
              "}\n");
    DException coded("ERROR: can not search", DEXC_SEARCH, QDX_LDAP_NO_SUCH_OBJECT);
    coded.setInfoSMsg("ignored");
    EXPECT_EQ(take(coded.ToString(1, true)), std::string(" DException {\n"
                                                         "   infoMsg: ERROR: can not search\n"
                                                         "   infoSMsg: ") +
                                                 qdx_ldap_err2string(QDX_LDAP_NO_SUCH_OBJECT) +
                                                 "\n"
                                                 "   errorCode: 609\n"
                                                 " }\n");
    DException bare(604);
    EXPECT_EQ(take(bare.ToString()),
              "DException {\n  infoMsg: NULL\n  infoSMsg: NULL\n  errorCode: 604\n}\n");
}

TEST(TextDump, ResultsOfAReadHideTheSearchResult) {
    Results r;
    r.setType(RES_READ);
    r.setID(4);
    r.setSearchResult(new SearchResults());
    EXPECT_EQ(take(r.ToString()),
              "Results {\n"
              "  type: RES_READ\n"
              "  request id: 4\n"
              "  read result: NULL\n"
              "  search result: NULL\n"
              "  request exception: NULL\n"
              "}\n");
    r.setType(99);
    r.setReadResult(new (HEAP) DEntry("cn=x"));
    DException failure("ERROR: can not get result", 613, "why");
    r.setException(&failure);
    EXPECT_EQ(take(r.ToString()),
              "Results {\n"
              "  type: RES_UNKNOWN\n"
              "  request id: 4\n"
              "  read result: \n"
              "    DEntry {\n"
              "      dn: cn=x\n"
              "    }\n"
              "  search result: \n"
              "    SearchResults {\n"
              "    }\n"
              "  request exception: \n"
              "    DException {\n"
              "      infoMsg: ERROR: can not get result\n"
              "      infoSMsg: why\n"
              "      errorCode: 613\n"
              "    }\n"
              "}\n");
    r.setException(nullptr);
}

TEST(TextDump, SearchResultsComparatorAndConstraints) {
    SearchResults results;
    results.addEntry(new (HEAP) DEntry("cn=a"));
    results.addException(new DException(609));
    EXPECT_EQ(take(results.ToString()),
              "SearchResults {\n"
              "  DEntry {\n"
              "    dn: cn=a\n"
              "  }\n"
              "  DException {\n"
              "    infoMsg: NULL\n"
              "    infoSMsg: NULL\n"
              "    errorCode: 609\n"
              "  }\n"
              "}\n");
    bool descending = false;
    DList* orders = new (HEAP) DList();
    orders->append(&descending, DLIST_BOOL, true);
    DList* names = new (HEAP) DList();
    names->append(const_cast<char*>("sn"), DLIST_STRING, true);
    CompareAttrNames by_list(names, orders, nullptr);
    EXPECT_EQ(take(by_list.ToString()),
              "CompareAttrNames {\n"
              "  attr_name: NULL\n"
              "  attr_list: \n"
              "    <string, sn>\n"
              "  order_list: \n"
              "    <bool, FALSE>\n"
              "  order: TRUE\n"
              "}\n");
    EntryComparator& base = by_list;
    EXPECT_EQ(take(base.ToString(0, true)), "EntryComparator {\n}\n");
    SearchConstraints limits(30, 100);
    EXPECT_EQ(take(limits.ToString()),
              "SearchConstraints {\n  time limit: 30\n  max results: 100\n}\n");
    DElement element(1);
    EXPECT_EQ(take(element.ToString(2, false)), "  DElement {\n    type: 1\n  }\n");
}

}  // namespace
