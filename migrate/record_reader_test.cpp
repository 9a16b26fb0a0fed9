#include "record_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Record {
    std::string text;
    std::vector<int> lines;
    std::vector<int> nul_lines;
    bool operator==(const Record&) const = default;
};

std::vector<Record> read_all(const std::string& input) {
    std::string copy = input;
    FILE* f = fmemopen(copy.data(), copy.size(), "r");
    EXPECT_NE(f, nullptr);
    std::vector<Record> records;
    {
        RecordReader reader(f);
        while (char* r = reader.read_one_record())
            records.push_back({r, reader.line_numbers(), reader.nul_lines()});
        EXPECT_FALSE(reader.failed());
    }
    fclose(f);
    return records;
}

TEST(RecordReader, Table) {
    struct Row {
        std::string input;
        std::vector<Record> records;
    };
    const Row rows[] = {
        {"", {}},
        {"\n\n\n", {}},
        {"dn: a\ncn: b\n", {{"dn: a\ncn: b\n", {1, 2}, {}}}},
        {"dn: a\ncn: b", {{"dn: a\ncn: b", {1, 2}, {}}}},
        // blank lines before, between and after records are skipped
        {"\n\ndn: a\n\n\n\ndn: b\n\n", {{"dn: a\n", {3}, {}}, {"dn: b\n", {7}, {}}}},
        // comment-only records are skipped; comments and their continuations are dropped
        {"# one\n# two\n\ndn: a\n# c\n  continued\ncn: x\n folded\n",
         {{"dn: a\ncn: x\n folded\n", {4, 7, 8}, {}}}},
        // CR LF blank lines separate records
        {"dn: a\r\n\r\ndn: b\r\n", {{"dn: a\r\n", {1}, {}}, {"dn: b\r\n", {3}, {}}}},
        // a line with a NUL byte is set aside and reported
        {std::string("dn: a\ncn: x\0y\n", 14), {{"dn: a\n", {1}, {2}}}},
        // a lone character is a line, not the end of the input
        {"dn: a\nx", {{"dn: a\nx", {1, 2}, {}}}},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(read_all(rows[i].input), rows[i].records);
    }
}

TEST(RecordReader, ReadsLongLinesAndRecordsWhole) {
    std::string value(300000, 'v');
    std::string big = "dn: a\ndescription: " + value + "\n";
    for (int i = 0; i < 2000; ++i)
        big += "cn: " + std::to_string(i) + "\n";
    std::vector<Record> records = read_all(big + "\ndn: b\n");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].text, big);
    EXPECT_EQ(records[0].lines.size(), 2002u);
    EXPECT_EQ(records[1].lines, std::vector<int>{2004});

    std::string exact = "dn: x\ndescription: " + std::string(4095 - 13, 'w') + "\ncn: y\n";
    records = read_all(exact);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].text, exact);
}

}  // namespace
