#ifndef LDIFMIGRATE_RECORD_READER_H
#define LDIFMIGRATE_RECORD_READER_H

// Reads LDIF input record by record. Records are separated by blank lines ("\n" or
// "\r\n"); any number of them may stand anywhere. Comment lines ("#" first) and their
// continuation lines are dropped, and a record of comments only is skipped. Lines of any
// length are read whole. Only the current record is held in memory.

#include <cstdio>
#include <vector>

class RecordReader {
  public:
    // `in` stays the caller's and must outlive the reader.
    explicit RecordReader(FILE* in);
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;
    ~RecordReader();

    // The next record's lines, as read and each with its line end, NUL-terminated in a
    // buffer the reader owns until the next call; null at the end of the input.
    char* read_one_record();

    // A record as it stands in the input, from its first line that is neither blank nor a
    // comment up to the blank line that closes it (left out) or the end of the input.
    struct Span {
        char* text;
        size_t length;
        int first_line;  // input line number of text[0]
        bool clean;      // no comment and no NUL byte inside: the text is the record text
    };

    // The next record without copying it, valid until the next call; false at the end of
    // the input. read_one_record is next_span followed by assemble.
    bool next_span(Span* span);

    // The record text of a span just returned, as read_one_record gives it, with its
    // line_numbers() and nul_lines().
    char* assemble(const Span& span);

    // Input line number (from 1) of each line of the current record, in order.
    const std::vector<int>& line_numbers() const { return line_numbers_; }

    // Input line numbers of the current record's lines that held a NUL byte and were
    // therefore left out of the record text.
    const std::vector<int>& nul_lines() const { return nul_lines_; }

    // True once reading the input failed (rather than reaching its end).
    bool failed() const { return failed_; }

  private:
    bool next_line(size_t* offset, size_t* length);
    bool fill();
    void append(const char* line, size_t length);
    bool holds_nul(const char* line, size_t length) const;
    void skip_ordinary_lines();

    FILE* in_;
    // Read buffer: [begin_, end_) is kept (the record being read and what follows it),
    // [pos_, end_) is not yet split into lines.
    char* buf_ = nullptr;
    size_t buf_capacity_ = 0;
    size_t begin_ = 0;
    size_t pos_ = 0;
    size_t end_ = 0;
    bool eof_ = false;
    bool failed_ = false;
    bool saw_nul_ = false;  // the input held a NUL byte somewhere in what was read
    int line_number_ = 0;

    char* record_ = nullptr;  // capacity always a multiple of 4096
    size_t record_length_ = 0;
    size_t record_capacity_ = 0;
    std::vector<int> line_numbers_;
    std::vector<int> nul_lines_;
};

#endif
