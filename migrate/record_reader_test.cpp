#include "record_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <utility>
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

// The reader's rules applied one line at a time, as plainly as they can be written: each
// record as read_one_record gives it, and as next_span gives it (the text from its first
// line on, comments included, and whether it holds none and no NUL byte).
struct Reference {
    std::vector<Record> records;
    std::vector<std::pair<std::string, bool>> spans;
};

Reference read_line_by_line(const std::string& input) {
    Reference ref;
    Record current;
    std::string raw;
    bool clean = true;
    bool in_comment = false;
    int number = 0;
    auto close = [&]() {
        if (current.text.empty() && current.nul_lines.empty()) return;
        ref.records.push_back(current);
        ref.spans.emplace_back(raw, clean);
        current = {};
        raw.clear();
        clean = true;
    };
    for (size_t at = 0; at < input.size();) {
        size_t nl = input.find('\n', at);
        size_t end = nl == std::string::npos ? input.size() : nl + 1;
        std::string line = input.substr(at, end - at);
        at = end;
        ++number;
        const bool started = !current.text.empty() || !current.nul_lines.empty();
        if (line == "\n" || line == "\r\n" || line == "\r") {
            close();
            in_comment = false;
            continue;
        }
        if (line[0] == '#' || (in_comment && (line[0] == ' ' || line[0] == '\t'))) {
            in_comment = true;
            if (started) {
                raw += line;
                clean = false;
            }
            continue;
        }
        in_comment = false;
        raw += line;
        if (line.find('\0') != std::string::npos) {
            current.nul_lines.push_back(number);
            clean = false;
        } else {
            current.text += line;
            current.lines.push_back(number);
        }
    }
    close();
    return ref;
}

std::vector<std::pair<std::string, bool>> read_spans(const std::string& input) {
    std::string copy = input;
    FILE* f = fmemopen(copy.data(), copy.size(), "r");
    std::vector<std::pair<std::string, bool>> spans;
    {
        RecordReader reader(f);
        RecordReader::Span span;
        while (reader.next_span(&span))
            spans.emplace_back(std::string(span.text, span.length), span.clean);
    }
    fclose(f);
    return spans;
}

TEST(RecordReader, AgreesWithLineByLineReadingOnRandomInput) {
    std::mt19937 rng(2849);
    const std::string kinds[] = {
        "dn: x\n",  "\n",  "\r\n",      "# note\n", " more\n",
        "\tmore\n", "#\n", "cn: y\r\n", "\n\n",     std::string("a\0b\n", 4)};
    for (int i = 0; i < 300; ++i) {
        SCOPED_TRACE(i);
        std::string input;
        const bool with_nul = i % 10 == 0;
        const size_t target = i % 50 == 0 ? 600000 : rng() % 3000;
        while (input.size() < target) {
            if (rng() % 3 == 0) {
                input += "cn: " + std::string(rng() % 90, 'v') + "\n";
            } else {
                input += kinds[rng() % (std::size(kinds) - (with_nul ? 0 : 1))];
            }
        }
        if (rng() % 2) input += "sn: last";
        Reference ref = read_line_by_line(input);
        ASSERT_EQ(read_all(input), ref.records);
        ASSERT_EQ(read_spans(input), ref.spans);
    }
}

}  // namespace
