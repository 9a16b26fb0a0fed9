#include <gtest/gtest.h>

#include "schema.h"

using dirschema::Schema;

namespace {

const char kSample[] = R"(# comment line
objectidentifier MyAttrs 1.3.6.1.4.1.99999.1
attributetype ( 2.5.4.41 NAME 'name' EQUALITY caseIgnoreMatch
	SUBSTR caseIgnoreSubstringsMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.15{32768} )
attributetype ( 2.5.4.3 NAME ( 'cn' 'commonName' ) DESC 'RFC4519: common name'
	SUP name )
attributetype ( MyAttrs:7 NAME 'shoeSize' EQUALITY integerMatch ORDERING integerOrderingMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 SINGLE-VALUE X-ORIGIN 'test' )
objectclass ( 2.5.6.0 NAME 'top' ABSTRACT MUST objectClass )
objectclass ( 2.5.6.6 NAME 'person' SUP top STRUCTURAL MUST ( sn $ cn ) MAY description )
objectclass ( 2.5.6.7 NAME 'organizationalPerson' SUP person STRUCTURAL )
)";

TEST(SchemaParser, ReadsDefinitionsWithSupertypesMacrosAndSuperclasses) {
    Schema schema;
    schema.addText(kSample, "sample.schema");
    schema.resolve();
    EXPECT_TRUE(schema.problems().empty());
    const auto* cn = schema.attribute("commonName");
    ASSERT_NE(cn, nullptr);
    EXPECT_EQ(cn, schema.attribute("2.5.4.3"));
    EXPECT_EQ(Schema::equalityOf(cn), "caseIgnoreMatch");  // inherited from name
    EXPECT_EQ(Schema::syntaxOf(cn), "1.3.6.1.4.1.1466.115.121.1.15");
    EXPECT_TRUE(Schema::isSubtype(cn, schema.attribute("name")));
    const auto* shoe = schema.attribute("SHOESIZE");
    ASSERT_NE(shoe, nullptr);
    EXPECT_EQ(shoe->oid, "1.3.6.1.4.1.99999.1.7");
    EXPECT_TRUE(shoe->singleValue);
    EXPECT_EQ(Schema::orderingOf(shoe), "integerOrderingMatch");
    EXPECT_TRUE(
        Schema::inherits(schema.objectClass("organizationalPerson"), schema.objectClass("top")));
    EXPECT_FALSE(
        Schema::inherits(schema.objectClass("person"), schema.objectClass("organizationalPerson")));
    EXPECT_EQ(schema.objectClass("person")->must.size(), 2u);
}

TEST(SchemaParser, ReportsWhatItDoesNotUnderstandWithFileAndLine) {
    struct Case {
        const char* text;
        int line;
        const char* fragment;
    } cases[] = {
        {"attributetype ( 1.2.3 NAME 'a' FROBNICATE x )", 1, "FROBNICATE"},
        {"\n\nobjectclass ( 1.2.3 NAME 'b' MUST ( a $ b )", 3, "not closed"},
        {"# c\nmatchingrulez ( 1.2 )", 2, "unknown statement"},
        {"attributetype 1.2.3 NAME 'c' )", 1, "'(' expected"},
        {"attributetype ( 1.2.3 NAME 'd' SUP )", 1, "SUP needs a value"},
        {"\n  ( 1.2.3 NAME 'e' )", 2, "unknown statement"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        Schema schema;
        schema.addText(cases[i].text, "bad.schema");
        ASSERT_EQ(schema.problems().size(), 1u);
        EXPECT_EQ(schema.problems()[0].line, cases[i].line);
        EXPECT_NE(schema.problems()[0].text().find("bad.schema:"), std::string::npos);
        EXPECT_NE(schema.problems()[0].message.find(cases[i].fragment), std::string::npos)
            << schema.problems()[0].message;
    }
}

TEST(SchemaParser, BuiltInSchemaReadsCleanlyAndCoversTheCommonTypes) {
    Schema schema;
    schema.addText(Schema::builtinText(), "built-in");
    schema.resolve();
    for (const auto& problem : schema.problems())
        ADD_FAILURE() << problem.text();
    for (const char* name : {"cn", "sn", "mail", "uid", "member", "telephoneNumber", "uidNumber",
                             "dc", "objectClass", "manager", "jpegPhoto"}) {
        EXPECT_NE(schema.attribute(name), nullptr) << name;
    }
    EXPECT_TRUE(
        Schema::inherits(schema.objectClass("inetOrgPerson"), schema.objectClass("person")));
}

TEST(SchemaParser, ReadsTheInstalledServerSchemaWithoutProblems) {
    Schema schema;
    for (const char* name : {"core", "cosine", "inetorgperson", "nis"}) {
        std::string path = std::string("/etc/ldap/schema/") + name + ".schema";
        if (!schema.addPath(path)) GTEST_SKIP() << path << " is not installed";
    }
    schema.resolve();
    for (const auto& problem : schema.problems())
        ADD_FAILURE() << problem.text();
    EXPECT_GT(schema.attributeCount(), 100u);
}

}  // namespace
