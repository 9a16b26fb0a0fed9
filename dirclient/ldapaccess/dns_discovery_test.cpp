#include "dns_lookup.h"

#include <gtest/gtest.h>

#include <string>

#include "dns_answer_test_support.h"

namespace dirclient::ldapaccess {
namespace {

// A DNS answer: header, one question for "a.b", then the given answer records.
std::string answer_with(int questions, int answers, const std::string& records) {
    return test::dns_answer_header(questions, answers, '\x10') + records;  // TXT
}

// One record owned by the question's name: type, class, TTL, then "rdata" with its length.
std::string record(int type, const std::string& rdata, int length_delta = 0) {
    std::string r("\xc0\x0c\x00", 3);
    r += static_cast<char>(type);
    r += std::string("\x00\x01\x00\x00\x00\x3c", 6);
    int length = static_cast<int>(rdata.size()) + length_delta;
    r += static_cast<char>(length >> 8);
    r += static_cast<char>(length & 0xff);
    return r + rdata;
}

std::string parsed(const std::string& msg) {
    auto text = parse_txt_answer(reinterpret_cast<const unsigned char*>(msg.data()),
                                 static_cast<int>(msg.size()));
    return text ? *text : "(none)";
}

TEST(TxtAnswer, ReadsTheFirstTxtRecordJoiningItsStrings) {
    EXPECT_EQ(parsed(answer_with(1, 1, record(16, "\x05ldap:"))), "ldap:");
    EXPECT_EQ(parsed(answer_with(1, 1,
                                 record(16,
                                        "\x03"
                                        "abc\x02"
                                        "de"))),
              "abcde");
    EXPECT_EQ(parsed(answer_with(1, 1, record(16, std::string("\x00", 1)))), "");
    // An alias before the text record is passed over.
    EXPECT_EQ(parsed(answer_with(1, 2, record(5, "\x01x\x00") + record(16, "\x02ok"))), "ok");
    std::string big;
    for (int i = 0; i < 10; ++i)
        big += '\xff' + std::string(255, static_cast<char>('a' + i));
    EXPECT_EQ(parsed(answer_with(1, 1, record(16, big))).size(), 2550u);
}

TEST(TxtAnswer, RefusesAnswersThatDoNotHoldTogether) {
    struct Row {
        const char* why;
        std::string msg;
    } rows[] = {
        {"empty", ""},
        {"header only", std::string("\x12\x34\x81\x80", 4)},
        {"two questions", answer_with(2, 1, record(16, "\x02ok"))},
        {"no answer", answer_with(1, 0, "")},
        {"only an alias", answer_with(1, 1, record(5, "\x01x\x00"))},
        {"string longer than its record", answer_with(1, 1, record(16, "\x09short"))},
        {"record longer than the answer", answer_with(1, 1, record(16, "\x02ok", 40))},
        {"answer count beyond the records", answer_with(1, 3, record(16, "\x02ok"))},
        {"owner name pointing outside",
         answer_with(1, 1, "\xc3\xff" + record(16, "\x02ok").substr(2))},
    };
    for (const Row& row : rows)
        EXPECT_EQ(parsed(row.msg), "(none)") << row.why;
}

TEST(DnsName, GetCopiesOnlyWhenTheBufferIsLargeEnough) {
    setDNSName("example.test");
    char buf[32] = "untouched";
    EXPECT_EQ(getDNSName(buf, 12), 13);
    EXPECT_STREQ(buf, "untouched");
    EXPECT_EQ(getDNSName(buf, 13), 0);
    EXPECT_STREQ(buf, "example.test");
    EXPECT_EQ(getDNSName(nullptr, 100), 13);
    clear_dns_name();
    EXPECT_EQ(dns_name(), "KorvanDirectoryServers");
    setDNSName(nullptr);
    EXPECT_EQ(dns_name(), "KorvanDirectoryServers");
}

}  // namespace
}  // namespace dirclient::ldapaccess
