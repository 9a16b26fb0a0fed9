#include "record_processor.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

// A processor writing to memory; output() flushes and returns everything written.
class Sink {
  public:
    Sink() : file_(open_memstream(&data_, &size_)), processor_(file_, "input.ldif") {}
    ~Sink() {
        fclose(file_);
        free(data_);
    }
    RecordProcessor& processor() { return processor_; }
    std::string output() {
        EXPECT_EQ(processor_.flush(), 0);
        fflush(file_);
        return std::string(data_, size_);
    }

  private:
    char* data_ = nullptr;
    size_t size_ = 0;
    FILE* file_;
    RecordProcessor processor_;
};

// The full treatment of a record text (no comments, no NUL bytes).
std::string migrated(const std::string& record) {
    Sink sink;
    std::string text = record;
    std::vector<int> lines;
    for (size_t i = 0, n = 1; i < record.size(); ++n) {
        lines.push_back(static_cast<int>(n));
        size_t nl = record.find('\n', i);
        i = nl == std::string::npos ? record.size() : nl + 1;
    }
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(sink.processor().process_ldif_rec(text.data(), lines, {}), 0);
    ::testing::internal::GetCapturedStdout();
    ::testing::internal::GetCapturedStderr();
    return sink.output();
}

// The shorter way; *declined tells whether it handed the record back.
std::string unmigrated(const std::string& record, bool* declined) {
    Sink sink;
    int status = sink.processor().write_unmigrated(record.data(), record.size());
    EXPECT_TRUE(status == 0 || status == -1) << status;
    *declined = status < 0;
    return sink.output();
}

// Either way must give the same bytes; a record handed back leaves no output behind.
void expect_same_output(const std::string& record, bool expect_declined) {
    SCOPED_TRACE(record);
    bool declined = false;
    std::string quick = unmigrated(record, &declined);
    EXPECT_EQ(declined, expect_declined);
    if (declined) {
        EXPECT_EQ(quick, "");
    } else {
        EXPECT_EQ(quick, migrated(record));
    }
}

TEST(WriteUnmigrated, GivesTheBytesOfTheFullTreatment) {
    const std::string long_words =
        "description: archive review report shipment archive route north report batch\n"
        "  weekly priority review weekly shipment warehouse batch south daily priorit\n"
        " y priority\n";
    const std::string records[] = {
        "dn: cn=a,o=x\ncn: a\n",
        "dn: cn=a,o=x\ncn: a",                             // no final line end
        "dn: cn=a,o=x\ncn:  two blanks\ncn: trailing \n",  // lines to reformat
        "dn: cn=a,o=x\r\ncn: crlf\r\n",
        "dn: cn=a,o=x\n" + long_words,
        "dn: cn=a,o=x\ndescription: north \n weekly\n",  // a blank that moves
        "dn: cn=a,o=x\njpegPhoto:: /9j/4AAQ\ncn:: YWJj\n",
        "dn: cn=a,o=x\n-\nchangetype: modify\nphoto:< file:///tmp/x\n",
        "dn: cn=a,o=x\ndescr\n iption: folded type\n",
        "dn: cn=a,o=x\nobjectClass: top\nobjectClass: person\n",
        "dn: cn=a,o=x\nobjectClass: MetaDataEntryX\n",
        "dn: cn=a,o=x\ncn:\n",
    };
    for (const std::string& r : records)
        expect_same_output(r, false);
}

TEST(WriteUnmigrated, HandsBackRecordsForTheMigrationRulesAndMalformedLines) {
    const std::string records[] = {
        "dn: cn=m,o=x\nobjectClass: MetaDataEntry\nversion: 300\n",
        "dn: cn=m,o=x\nOBJECTCLASS: messagemap\n",
        "dn: cn=m,o=x\nobjectclass:: TWVzc2FnZU1hcA==\n",  // MessageMap in base64
        "dn: cn=m,o=x\nobjectclass: Message\n Map\n",      // folded
        "dn: cn=m,o=x\nobjectclass:  MessageMap\n",        // not canonical
        "dn: cn=m,o=x\nno colon here\n",
        "dn: cn=m,o=x\ncn:: Y!Jj\n",
    };
    for (const std::string& r : records)
        expect_same_output(r, true);
}

TEST(WriteUnmigrated, AgreesOnRandomRecords) {
    std::mt19937 rng(320);
    const char* pieces[] = {"cn",  "dn",  "objectclass", "description", "x",       ": ",
                            ":: ", ":",   " ",           "  ",          "\n",      "\n ",
                            "\r",  "abc", "YWJj",        "6Q==",        "=",       "<",
                            "#",   "\t",  "MessageMap",  "top",         "\xC3\xA9"};
    int kept = 0;
    for (int i = 0; i < 5000; ++i) {
        std::string record = "dn: cn=r" + std::to_string(i) + "\n";
        for (int n = static_cast<int>(rng() % 20); n > 0; --n)
            record += pieces[rng() % std::size(pieces)];
        // A record never holds a blank line: the reader ends records there.
        for (size_t at; (at = record.find("\n\n")) != std::string::npos;)
            record.erase(at, 1);
        for (size_t at; (at = record.find("\n\r\n")) != std::string::npos;)
            record.erase(at, 1);
        bool declined = false;
        std::string quick = unmigrated(record, &declined);
        if (!declined) {
            ASSERT_EQ(quick, migrated(record)) << record;
            ++kept;
        } else {
            ASSERT_EQ(quick, "");
        }
    }
    EXPECT_GT(kept, 500);  // enough records took the shorter way to prove something
}

TEST(WriteUnmigrated, KeepsRecordsInOrderAcrossFlushes) {
    Sink sink;
    std::string expected;
    std::vector<int> lines = {1, 2};
    for (int i = 0; i < 20000; ++i) {
        std::string record = "dn: cn=" + std::to_string(i) + "\ncn: " + std::to_string(i) + "\n";
        if (i % 3 == 0) {
            std::string text = record;
            ASSERT_EQ(sink.processor().process_ldif_rec(text.data(), lines, {}), 0);
        } else {
            ASSERT_EQ(sink.processor().write_unmigrated(record.data(), record.size()), 0);
        }
        expected += record + "\n";
    }
    EXPECT_EQ(sink.output(), expected);
}

}  // namespace
