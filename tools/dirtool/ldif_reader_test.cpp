#include "ldif_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <dirclient/modification.h>

namespace dirtool {
namespace {

using Values = std::vector<std::string>;
using namespace std::string_literals;

TEST(LdifReader, ReadsEntriesWithCommentsVersionFoldsAndBase64) {
    const std::string text =
        "# people of the example\n"
        "version: 1\n"
        "\n"
        "dn: cn=Ann Lee,o=example\n"
        "objectClass: person\n"
        "# a comment inside a record,\n"
        "  folded over two lines\n"
        "cn: Ann Lee\n"
        "description: a long description that the writer\n"
        "  folded\n"
        "sn:: TMOzcGV6\n"
        "objectclass: top\n"
        "\n"
        "\n"
        "dn:: Y249Qm9iLG89ZXhhbXBsZQ==\n"
        "cn: Bob\n";
    std::vector<LdifRecord> records = parse_ldif(text);
    ASSERT_EQ(records.size(), 2u);
    const LdifRecord& ann = records[0];
    EXPECT_EQ(ann.line, 4);
    EXPECT_EQ(ann.dn, "cn=Ann Lee,o=example");
    EXPECT_EQ(ann.change, ChangeType::kNone);
    ASSERT_EQ(ann.attributes.size(), 4u);
    // Lines of one attribute gather under its first spelling, whatever their case.
    EXPECT_EQ(ann.attributes[0].name, "objectClass");
    EXPECT_EQ(ann.attributes[0].values, (Values{"person", "top"}));
    EXPECT_EQ(ann.attributes[2].values, (Values{"a long description that the writer folded"}));
    EXPECT_EQ(ann.attributes[3].values, (Values{"L\xC3\xB3pez"}));
    EXPECT_EQ(records[1].dn, "cn=Bob,o=example");
    EXPECT_EQ(records[1].line, 15);
}

TEST(LdifReader, AcceptsCrLfBlankLinesOfSpacesAndNoFinalLineEnd) {
    const std::string text =
        "dn: cn=a,o=x\r\ncn: a\r\ndescription: one\r\n  two\r\n   \t \r\n"
        "dn: cn=b,o=x   \r\ncn: b";
    std::vector<LdifRecord> records = parse_ldif(text);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].attributes[1].values, (Values{"one two"}));
    EXPECT_EQ(records[1].dn, "cn=b,o=x");  // blanks typed after a DN are dropped
    EXPECT_EQ(records[1].attributes[0].values, (Values{"b"}));
}

TEST(LdifReader, KeepsEmptyValuesBinaryBytesAndEscapedTrailingBlanksInDns) {
    std::vector<LdifRecord> records = parse_ldif("dn: cn=x\\ ,o=y\\ \ncn:\nphoto:: AAEC/w==\n");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].dn, "cn=x\\ ,o=y\\ ");
    EXPECT_EQ(records[0].attributes[0].values, (Values{""}));
    EXPECT_EQ(records[0].attributes[1].values, (Values{std::string("\0\1\2\xFF", 4)}));
}

TEST(LdifReader, ReadsValuesFromFileUrls) {
    std::string path = testing::TempDir() + "dirtool photo.bin";
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite("\x89PNG\0x", 1, 6, f);
    fclose(f);
    std::string url = "file://" + path;
    for (size_t at; (at = url.find(' ')) != std::string::npos;)
        url.replace(at, 1, "%20");
    std::vector<LdifRecord> records = parse_ldif("dn: cn=a\njpegPhoto:< " + url + "\n");
    EXPECT_EQ(records[0].attributes[0].values, (Values{std::string("\x89PNG\0x", 6)}));
    remove(path.c_str());

    for (const char* url : {"file:///no/such/file", "file:///dev/zero", "file:///tmp"}) {
        SCOPED_TRACE(url);
        try {
            parse_ldif(std::string("dn: cn=a\ncn: a\njpegPhoto:< ") + url + "\n");
            ADD_FAILURE();
        } catch (const LdifError& e) {
            EXPECT_EQ(e.line(), 3);
        }
    }
}

TEST(LdifReader, ReadsChangeRecordsOfEveryKind) {
    const std::string text =
        "dn: cn=new,o=x\nchangetype: add\ncn: new\nsn: N\n\n"
        "dn: cn=old,o=x\nchangetype: delete\n\n"
        "dn: cn=ann,o=x\nchangetype: modify\n"
        "add: mail\nmail: a@x\nmail: ann@x\n-\n"
        "delete: description\n-\n"
        "DELETE: telephoneNumber\ntelephonenumber: 1\n-\n"
        "replace: sn\nsn: Lee\n-\n"
        "replace: seeAlso\n-\n"                    // no values: the attribute goes
        "increment: uidNumber\nuidNumber: -2\n\n"  // the last "-" may be left out
        "dn: cn=bob,o=x\nchangetype: modrdn\nnewrdn: cn=robert\ndeleteoldrdn: 0\n"
        "newsuperior: ou=staff,o=x\n\n"
        "dn: cn=eve,o=x\nchangetype: moddn\nnewrdn: cn=eva\ndeleteoldrdn: 1\n";
    std::vector<LdifRecord> r = parse_ldif(text);
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0].change, ChangeType::kAdd);
    EXPECT_EQ(r[0].attributes.size(), 2u);
    EXPECT_EQ(r[1].change, ChangeType::kDelete);

    ASSERT_EQ(r[2].change, ChangeType::kModify);
    const auto& mods = r[2].modifications;
    ASSERT_EQ(mods.size(), 6u);
    EXPECT_EQ(mods[0].op, MOD_OP_ADD);
    EXPECT_EQ(mods[0].values, (Values{"a@x", "ann@x"}));
    EXPECT_EQ(mods[1].op, MOD_OP_DELETE);
    EXPECT_TRUE(mods[1].values.empty());
    EXPECT_EQ(mods[2].attribute, "telephoneNumber");
    EXPECT_EQ(mods[2].values, (Values{"1"}));
    EXPECT_EQ(mods[3].op, MOD_OP_REPLACE);
    EXPECT_EQ(mods[4].op, MOD_OP_REPLACE);
    EXPECT_TRUE(mods[4].values.empty());
    EXPECT_EQ(mods[5].op, kModIncrement);
    EXPECT_EQ(mods[5].values, (Values{"-2"}));

    EXPECT_EQ(r[3].change, ChangeType::kModRdn);
    EXPECT_EQ(r[3].new_rdn, "cn=robert");
    EXPECT_FALSE(r[3].delete_old_rdn);
    EXPECT_TRUE(r[3].has_new_superior);
    EXPECT_EQ(r[3].new_superior, "ou=staff,o=x");
    EXPECT_TRUE(r[4].delete_old_rdn);
    EXPECT_FALSE(r[4].has_new_superior);
}

// A search listing, comments and result lines included, reads as its entries.
TEST(LdifReader, SkipsTheResultLinesOfASearchListing) {
    std::vector<LdifRecord> r = parse_ldif(
        "# extended LDIF\n#\n\n# a\ndn: cn=a\ncn: a\n\n# search result\nsearch: 2\n"
        "result: 0 Success\ncontrol: 1.2.840.113556.1.4.319 false MAUCAQAEAA==\n\n"
        "# numResponses: 2\n# numEntries: 1\n");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].dn, "cn=a");
}

struct BadLdif {
    std::string text;
    int line;
    const char* message;
};

TEST(LdifReader, RejectsMalformedTextNamingTheLine) {
    const BadLdif cases[] = {
        {"cn: no dn\n", 1, "expected \"dn:\""},
        {"dn: cn=a\ncn a\n", 2, "expected \"name: value\""},
        {"dn: cn=a\ncn:: Y!Jj\n", 2, "invalid base64"},
        {"dn: cn=a\n: value\n", 2, "missing attribute name"},
        {"dn: cn=a\nc n: value\n", 2, "invalid attribute name"},
        {"dn: cn=a\n", 1, "has no attributes"},
        {"dn: cn=a\ncn: a\ndn: cn=b\ncn: b\n", 3, "separated by an empty line"},
        {"dn: cn=a\ncn: a\nchangetype: add\n", 3, "right after"},
        {"dn: cn=a\ncn: a\n-\n", 3, "belongs between the changes"},
        {"version: 2\ndn: cn=a\ncn: a\n", 1, "unsupported LDIF version"},
        {"dn: cn=a\ncn: a\n\nversion: 1\n", 4, "expected \"dn:\""},
        {"dn: cn=a\nchangetype: rename\n", 2, "unknown changetype"},
        {"dn: cn=a\ncontrol: 1.2.3 true\nchangetype: delete\n", 2, "controls"},
        {"dn: cn=a\nchangetype: delete\ncn: a\n", 3, "no other lines"},
        {"dn: cn=a\nchangetype: modify\n", 1, "without changes"},
        {"dn: cn=a\nchangetype: modify\nmail: x\n", 3,
         "expected add:, delete:, replace: or increment:"},
        {"dn: cn=a\nchangetype: modify\nadd: mail\n-\n", 3, "needs at least one value"},
        {"dn: cn=a\nchangetype: modify\nadd: mail\nsn: x\n", 4, "expected a value of \"mail\""},
        {"dn: cn=a\nchangetype: modify\n-\n", 3, "without add:"},
        {"dn: cn=a\nchangetype: modify\nincrement: n\nn: 1\nn: 2\n", 3, "exactly one value"},
        {"dn: cn=a\nchangetype: modify\nincrement: n\nn: one\n", 3, "a whole number"},
        {"dn: cn=a\ncn: a\n\nsearch: 2\nresult: 0 Success\ncn: b\n", 6, "result lines"},
        {"dn: cn=a\nchangetype: modify\nadd: 9x\n", 3, "invalid attribute name"},
        {"dn: cn=a\nchangetype: modrdn\ndeleteoldrdn: 1\n", 1, "without newrdn"},
        {"dn: cn=a\nchangetype: modrdn\nnewrdn: cn=b\n", 1, "without deleteoldrdn"},
        {"dn: cn=a\nchangetype: modrdn\nnewrdn: cn=b\ndeleteoldrdn: yes\n", 4, "0 or 1"},
        {"dn: cn=a\nchangetype: modrdn\nnewrdn: cn=b\nnewrdn: cn=c\n", 4, "given twice"},
        {"dn: cn=a\nchangetype: modrdn\nnewrdn: cn=b\ncn: b\n", 4, "unexpected"},
        {"dn:: Y249YQBi\ncn: a\n", 1, "NUL byte"},
        {"dn: cn=a\ncn: a\n\ndn: cn=b\ncn: b\0c\n"s, 5, "NUL byte"},
        {"dn: cn=a\nphoto:< http://x/y.png\n", 2, "only file:// URLs"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const std::string& text = cases[i].text;
        try {
            parse_ldif(text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const LdifError& e) {
            EXPECT_EQ(e.line(), cases[i].line);
            EXPECT_NE(std::string(e.what()).find(cases[i].message), std::string::npos) << e.what();
        }
    }
}

TEST(LdifReader, EmptyOrCommentOnlyTextHasNoRecords) {
    EXPECT_TRUE(parse_ldif("").empty());
    EXPECT_TRUE(parse_ldif("\n\n# nothing\n\n").empty());
    EXPECT_TRUE(parse_ldif("version: 1\n").empty());
}

TEST(ModifyInput, TakesBareChangesForTheGivenEntry) {
    auto mods = parse_modify_input("\n\nreplace: mail\nmail: a@x\n-\ndelete: sn\n", "cn=a,o=x");
    ASSERT_EQ(mods.size(), 2u);
    EXPECT_EQ(mods[0].op, MOD_OP_REPLACE);
    EXPECT_EQ(mods[1].op, MOD_OP_DELETE);

    // Line numbers are those of the caller's text, whatever DN was put in front of it.
    std::string long_dn = "cn=" + std::string(200, 'x') + ",o=x";
    try {
        parse_modify_input("\n# c\nreplace: mail\nmail: a\n-\nbogus: 1\n", long_dn);
        FAIL();
    } catch (const LdifError& e) {
        EXPECT_EQ(e.line(), 6);
    }
}

TEST(ModifyInput, TakesOneWholeRecordForTheSameEntry) {
    auto mods = parse_modify_input(
        "version: 1\ndn: CN = a , o=X\nchangetype: modify\nadd: cn\ncn: b\n", "cn=a,o=x");
    ASSERT_EQ(mods.size(), 1u);
    EXPECT_EQ(mods[0].values, (Values{"b"}));

    struct {
        const char* text;
        int line;
        const char* message;
    } bad[] = {
        {"", 0, "no changes"},
        {"# nothing\n\n", 0, "no changes"},
        {"dn: cn=b,o=x\nchangetype: modify\ndelete: cn\n", 1, "not \"cn=a,o=x\""},
        {"dn: cn=a,o=x\nchangetype: delete\n", 1, "expected a \"changetype: modify\""},
        {"dn: cn=a,o=x\ncn: a\n", 1, "expected a \"changetype: modify\""},
        {"dn: cn=a,o=x\nchangetype: modify\ndelete: cn\n\ndn: cn=a,o=x\nchangetype: modify\n"
         "delete: sn\n",
         5, "one entry only"},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.text);
        try {
            parse_modify_input(c.text, "cn=a,o=x");
            ADD_FAILURE();
        } catch (const LdifError& e) {
            EXPECT_EQ(e.line(), c.line);
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

TEST(AttributeName, AcceptsDescriptorsOidsAndOptions) {
    for (const char* good : {"cn", "objectClass", "x-custom-1", "user_name", "2.5.4.3",
                             "cn;lang-en", "userCertificate;binary", "cn;a;b"})
        EXPECT_TRUE(is_attribute_name(good)) << good;
    for (const char* bad :
         {"", "9abc", "-cn", "c n", "cn;", "cn;;x", ";x", "cn=", "2.5.x", "c\xC3\xA9"})
        EXPECT_FALSE(is_attribute_name(bad)) << bad;
}

}  // namespace
}  // namespace dirtool
