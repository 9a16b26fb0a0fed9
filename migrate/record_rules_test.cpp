#include "record_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ch_malloc.h"

namespace {

using namespace migrate;
using Pairs = std::vector<std::pair<std::string, std::string>>;

// A table whose slots own copies of the given pairs.
void fill(AttrTable& t, const Pairs& pairs) {
    for (const auto& [type, value] : pairs)
        add_attribute(t, type.c_str(), value.c_str());
}

Pairs contents(const AttrTable& t) {
    Pairs out;
    for (int i = 0; i < t.count(); ++i) {
        if (AttrTable::dropped(t[i])) continue;
        EXPECT_EQ(static_cast<size_t>(t[i].length), std::string(t[i].value).size()) << t[i].type;
        out.emplace_back(t[i].type, std::string(t[i].value, static_cast<size_t>(t[i].length)));
    }
    return out;
}

TEST(EscapeMdr, EscapesHashInCnAndDnOnly) {
    AttrTable t;
    fill(t, {{"dn", "cn=m#1,o=x"},
             {"CN", "a#b\\#c"},
             {"description", "x#y"},
             {"cn", "plain"},
             {"cn", "#"}});
    EXPECT_EQ(escape_mdr(t), 0);
    EXPECT_EQ(contents(t), (Pairs{{"dn", "cn=m\\#1,o=x"},
                                  {"CN", "a\\#b\\#c"},
                                  {"description", "x#y"},
                                  {"cn", "plain"},
                                  {"cn", "\\#"}}));
}

TEST(EscapeChar, ReplacesAValueThatPointsIntoTheRecord) {
    char record[] = "a#b";
    AttrTable t;
    t.append(AttrSlot{const_cast<char*>("cn"), record, 3, 0, 0});
    escape_char(t, 0, '#');
    EXPECT_STREQ(t[0].value, "a\\#b");
    EXPECT_EQ(t[0].length, 4);
    EXPECT_EQ(t[0].value_owned, 1);
    EXPECT_STREQ(record, "a#b");
}

TEST(ParseSourceTarget, Table) {
    struct Row {
        const char* text;
        const char* name;
        const char* qualifier;  // null: none
    };
    const Row rows[] = {
        {"T1", "T1", nullptr}, {"DB:T1", "T1", "DB"}, {"DB:SCHEMA:T1", "T1", "DB:SCHEMA"},
        {":T1", "T1", ":"},    {"T1:", "", "T1"},     {"", "", nullptr},
        {"::T1", "T1", ":"}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        char *name, *qualifier;
        ASSERT_EQ(parse_source_target(r.text, &name, &qualifier), 0);
        EXPECT_STREQ(name, r.name);
        if (r.qualifier) {
            EXPECT_STREQ(qualifier, r.qualifier);
        } else {
            EXPECT_EQ(qualifier, nullptr);
        }
        ch_free(name);
        ch_free(qualifier);
    }
}

TEST(ParseDefinition, Table) {
    struct Row {
        const char* definition;
        const char* description;  // null: fails
    };
    const Row rows[] = {
        {"<map source='DB:T1' target='Q1' type='user'>", "T1;Q1;DB;"},
        {"<map source=\"A:B\" target=\"C:D\">", "B;D;A;C"},
        {"<map target='X'>", ";X;;"},
        {"<map source='' target='X'>", ";X;;"},
        {"<map SOURCE='s\" target='t'>", "s;t;;"},  // either quote ends the text
        {"<map source='unterminated", "unterminated;;;"},
        {"<map name='x'>", nullptr},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.definition);
        ::testing::internal::CaptureStdout();
        char* d = parse_definition(r.definition);
        std::string out = ::testing::internal::GetCapturedStdout();
        if (r.description) {
            EXPECT_STREQ(d, r.description);
            EXPECT_EQ(out, "");
        } else {
            EXPECT_EQ(d, nullptr);
            EXPECT_EQ(out, std::string("Error building mapdesc attribute from definition: ") +
                               r.definition + "\n");
        }
        ch_free(d);
    }
}

TEST(MigrateMdr, Table) {
    struct Row {
        Pairs in;
        int rc;
        Pairs out;
    };
    const Row rows[] = {
        // non-map elements name their type
        {{{"definition", "<FunctionLibrary name='f'>"}},
         0,
         {{"definition", "<FunctionLibrary name='f'>"}, {"mdrtype", "FunctionLibrary"}}},
        // map elements make a message map
        {{{"objectclass", "top"},
          {"objectClass", "MetaDataEntry"},
          {"definition", "<map source='DB:T1' target='Q1' type=\"user\">"}},
         0,
         {{"objectclass", "MessageMap"},
          {"definition", "<map source='DB:T1' target='Q1' type=\"user\">"},
          {"usermap", "yes"},
          {"mapdesc", "T1;Q1;DB;"}}},
        // object class values stay a set: one MessageMap where the first one stood, also
        // after a second map definition
        {{{"objectClass", "top"},
          {"cn", "m"},
          {"objectclass", "MetaDataEntry"},
          {"definition", "<map source='a'>"},
          {"OBJECTCLASS", "messagemap"},
          {"definition", "<map target='b'>"}},
         0,
         {{"objectClass", "MessageMap"},
          {"cn", "m"},
          {"definition", "<map source='a'>"},
          {"definition", "<map target='b'>"},
          {"mapdesc", "a;;;"},
          {"mapdesc", ";b;;"}}},
        // two map definitions, in order; only the user map gets usermap
        {{{"definition", "<map source='a'>"}, {"definition", "<map target='b' type='user'>"}},
         0,
         {{"definition", "<map source='a'>"},
          {"definition", "<map target='b' type='user'>"},
          {"mapdesc", "a;;;"},
          {"usermap", "yes"},
          {"mapdesc", ";b;;"}}},
        // no "<" or no space: passed over
        {{{"definition", "nothing here"}, {"definition", "<map>"}},
         0,
         {{"definition", "nothing here"}, {"definition", "<map>"}}},
        // a space before the "<" is a problem
        {{{"definition", "x <map source='a'>"}}, 1, {{"definition", "x <map source='a'>"}}},
        // a map without source or target is a problem; what came before stays
        {{{"definition", "<Form a='1'>"},
          {"definition", "<map a='1'>"},
          {"definition", "<Other x>"}},
         1,
         {{"definition", "<Form a='1'>"},
          {"definition", "<map a='1'>"},
          {"definition", "<Other x>"},
          {"mdrtype", "Form"}}},
        // migrated already
        {{{"mdrtype", "X"}, {"definition", "<Y z>"}},
         0,
         {{"mdrtype", "X"}, {"definition", "<Y z>"}}},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        AttrTable t;
        fill(t, rows[i].in);
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(migrate_mdr(t), rows[i].rc);
        ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(contents(t), rows[i].out);
    }
}

TEST(MigrateFunctionLibrary, AddsFuncnameOnce) {
    AttrTable t;
    fill(t, {{"mdrtype", "functionlibrary"}, {"mdrtype", "FunctionLibrary"}});
    EXPECT_EQ(migrate_functionLibrary(t), 0);
    EXPECT_EQ(migrate_functionLibrary(t), 0);
    EXPECT_EQ(contents(t), (Pairs{{"mdrtype", "functionlibrary"},
                                  {"mdrtype", "FunctionLibrary"},
                                  {"funcname", "<any>"}}));
    AttrTable other;
    fill(other, {{"mdrtype", "Form"}});
    migrate_functionLibrary(other);
    EXPECT_EQ(other.count(), 1);
}

TEST(Version, ReadsTheLastNonEmptyValue) {
    struct Row {
        Pairs in;
        int version;
    };
    const Row rows[] = {{{}, 0},
                        {{{"version", "310"}}, 310},
                        {{{"Version", "300"}, {"version", "330"}}, 330},
                        {{{"version", "310"}, {"version", ""}}, 310},
                        {{{"version", "abc"}}, 0},
                        {{{"version", "310abc"}}, 310},
                        {{{"version", "99999999999999"}}, 2147483647},
                        {{{"version", "-5"}}, -5}};
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        AttrTable t;
        fill(t, rows[i].in);
        EXPECT_EQ(get_version(t), rows[i].version);
    }
    AttrTable t;
    fill(t, {{"version", "300"}, {"cn", "x"}, {"VERSION", ""}});
    set_version(t);
    EXPECT_EQ(contents(t), (Pairs{{"version", "320"}, {"cn", "x"}, {"VERSION", "320"}}));
}

TEST(AddUniqueAttribute, AddsOnlyWhenTheTypeIsMissing) {
    AttrTable t;
    fill(t, {{"CompatVer", "300"}});
    add_unique_attribute(t, "compatver", "310");
    add_unique_attribute(t, "other", "1");
    EXPECT_EQ(contents(t), (Pairs{{"CompatVer", "300"}, {"other", "1"}}));
}

TEST(AttrTable, GrowsPastFourThousandSlots) {
    AttrTable t;
    for (int i = 0; i < 10000; ++i)
        add_attribute(t, "cn", std::to_string(i).c_str());
    ASSERT_EQ(t.count(), 10000);
    EXPECT_STREQ(t[9999].value, "9999");
}

}  // namespace
