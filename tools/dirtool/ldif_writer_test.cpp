#include "ldif_writer.h"

#include <gtest/gtest.h>

#include <random>

#include <dirclient/attribute.h>
#include <dirclient/dentry.h>
#include "ldif_reader.h"
#include "model_build.h"

namespace dirtool {
namespace {

using Values = std::vector<std::string>;

TEST(LdifWriter, WritesEveryValueKindPlainOrBase64) {
    DEntry entry("cn=Ann,o=x");
    auto* cn = new Attribute("cn", "Ann");
    cn->addValue("Annie");
    entry.addAttribute(cn);
    Dbinary photo{4, const_cast<char*>("\x89P\0G")};
    auto* jpeg = new Attribute("jpegPhoto");
    jpeg->addValue(&photo);
    entry.addAttribute(jpeg);
    entry.addAttribute(new Attribute("uidNumber", 1001));
    entry.addAttribute(new Attribute("description", " leading blank"));
    entry.addAttribute(new Attribute("empty"));  // no values: nothing to write
    std::string out;
    append_entry_ldif(out, &entry);
    EXPECT_EQ(out,
              "dn: cn=Ann,o=x\n"
              "cn: Ann\n"
              "cn: Annie\n"
              "jpegPhoto:: iVAARw==\n"
              "uidNumber: 1001\n"
              "description:: IGxlYWRpbmcgYmxhbms=\n"
              "\n");
}

TEST(LdifWriter, FoldsLongLinesAndEncodesNonAsciiDns) {
    DEntry entry(
        "cn=Mar\xC3\xAD"
        "a,o=x");
    entry.addAttribute(new Attribute("description", std::string(100, 'w').c_str()));
    std::string out;
    append_entry_ldif(out, &entry);
    EXPECT_EQ(out,
              "dn:: Y249TWFyw61hLG89eA==\n"
              "description: " +
                  std::string(63, 'w') + "\n " + std::string(37, 'w') + "\n\n");
}

// Whatever the bytes, what is written reads back the same.
TEST(LdifWriter, RandomValuesReadBackUnchanged) {
    std::mt19937 random(7);
    const std::string alphabet =
        std::string("ab :<#-\r\n\t\x01\xC3\xA9\xFF", 15) + std::string(1, '\0');
    for (int round = 0; round < 200; ++round) {
        LdifRecord record;
        record.dn = "cn=e" + std::to_string(round) + ",o=x";
        LdifAttribute attribute{"description", {}};
        for (int v = 0; v < 3; ++v) {
            std::string value;
            size_t length = random() % (round % 20 == 0 ? 400 : 30);
            for (size_t i = 0; i < length; ++i)
                value += alphabet[random() % alphabet.size()];
            attribute.values.push_back(value);
        }
        record.attributes.push_back(attribute);
        std::unique_ptr<DEntry> entry(make_entry(record));
        std::string text;
        append_entry_ldif(text, entry.get());
        SCOPED_TRACE(text);
        std::vector<LdifRecord> back = parse_ldif(text);
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back[0].dn, record.dn);
        ASSERT_EQ(back[0].attributes.size(), 1u);
        EXPECT_EQ(back[0].attributes[0].values, attribute.values);
        for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
             start = end + 1)
            EXPECT_LE(end - start, 76u);
    }
}

}  // namespace
}  // namespace dirtool
