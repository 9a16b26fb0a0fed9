#include "dns_srv.h"

#include <gtest/gtest.h>

#include <string>

#include "dns_answer_test_support.h"

namespace dirclient::ldapaccess {
namespace {

std::string header(int questions, int answers) {
    return test::dns_answer_header(questions, answers, '\x21');  // SRV
}

std::string word(int value) {
    return std::string(1, static_cast<char>(value >> 8)) + static_cast<char>(value & 0xff);
}

// An SRV record owned by the question's name; "length_delta" falsifies its data length.
std::string srv(int priority, int weight, int port, const std::string& target_wire,
                int length_delta = 0) {
    std::string rdata = word(priority) + word(weight) + word(port) + target_wire;
    std::string r("\xc0\x0c\x00\x21\x00\x01\x00\x00\x00\x3c", 10);
    return r + word(static_cast<int>(rdata.size()) + length_delta) + rdata;
}

const std::string kHostX("\x01x\x00", 3);
const std::string kHostYz("\x01y\x01z\x00", 5);

std::string summary(const std::string& msg) {
    auto records = parse_srv_answer(reinterpret_cast<const unsigned char*>(msg.data()),
                                    static_cast<int>(msg.size()));
    if (!records) return "(none)";
    std::string out;
    for (const SrvRecord& r : *records)
        out += std::to_string(r.priority) + "/" + std::to_string(r.weight) + " " + r.target + ":" +
               std::to_string(r.port) + ";";
    return out;
}

TEST(SrvAnswer, ReadsEveryRecordAndRefusesBrokenOnes) {
    struct Row {
        std::string msg;
        std::string expected;
    };
    const std::string two = srv(1, 5, 389, kHostX) + srv(0, 0, 636, kHostYz);
    const Row rows[] = {
        {header(1, 2) + two, "1/5 x:389;0/0 y.z:636;"},
        {header(1, 1) + srv(0, 0, 389, std::string(1, '\0')), "0/0 :389;"},  // "." target
        {header(1, 1) + srv(0, 0, 389, "\xc0\x0c"), "0/0 a.b:389;"},         // compressed
        {header(1, 2) + srv(0, 0, 389, std::string("\x03x;y\x00", 5)) + srv(1, 0, 1, kHostX),
         "1/0 x:1;"},  // a target that would change the list is dropped
        {header(1, 1) + srv(0, 0, 389, kHostX, 1), "(none)"},   // runs past the answer
        {header(1, 1) + srv(0, 0, 389, kHostX, -1), "(none)"},  // name past the record
        {header(1, 1) + srv(0, 0, 389, "", 0), "(none)"},       // no target
        {header(1, 1) + srv(0, 0, 389,
                            "\x05"
                            "ab",
                            0),
         "(none)"},                                                // label past the data
        {header(1, 1) + srv(0, 0, 389, "\xc0\xff", 0), "(none)"},  // pointer out of range
        {header(2, 1) + srv(0, 0, 389, kHostX), "(none)"},         // two questions
        {header(1, 0), "(none)"},                                  // no answer
        {header(1, 3) + two, "(none)"},                            // count beyond data
        {"", "(none)"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(summary(rows[i].msg), rows[i].expected);
    }
}

std::string order_of(std::vector<SrvRecord> records, const Draw& draw) {
    std::string out;
    for (const SrvRecord& r : order_srv_records(std::move(records), draw))
        out += r.target + " ";
    return out;
}

TEST(SrvOrder, PriorityFirstThenWeightedChoice) {
    std::vector<SrvRecord> records = {{10, 0, 1, "late"},
                                      {0, 10, 1, "light"},
                                      {0, 90, 1, "heavy"},
                                      {0, 0, 1, "zero"},
                                      {5, 0, 1, ""}};
    // Drawing 0 takes the zero-weight record, then the first left with weight.
    EXPECT_EQ(order_of(records, [](std::uint32_t) { return 0u; }), "zero light heavy late ");
    // Drawing the bound takes the last record of the running sum first.
    EXPECT_EQ(order_of(records, [](std::uint32_t bound) { return bound; }),
              "heavy light zero late ");

    // With a real random draw the heavier target leads about nine times in ten.
    int heavy_first = 0;
    for (int i = 0; i < 2000; ++i) {
        std::uint32_t state = static_cast<std::uint32_t>(i) * 2654435761u;
        Draw draw = [&](std::uint32_t bound) {
            state = state * 1664525u + 1013904223u;
            return static_cast<std::uint32_t>((state >> 8) % (bound + 1));
        };
        if (order_srv_records({{0, 10, 1, "light"}, {0, 90, 1, "heavy"}}, draw)[0].target ==
            "heavy")
            ++heavy_first;
    }
    EXPECT_GT(heavy_first, 1650);
    EXPECT_LT(heavy_first, 1950);
}

TEST(SrvOrder, QueryNameFollowsTls) {
    EXPECT_EQ(srv_query_name("example.com", false), "_ldap._tcp.example.com");
    EXPECT_EQ(srv_query_name("example.com", true), "_ldaps._tcp.example.com");
}

}  // namespace
}  // namespace dirclient::ldapaccess
