#include "record_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "ch_malloc.h"

namespace {

constexpr size_t kReadChunk = 256 * 1024;
constexpr size_t kRecordStep = 4096;

bool is_blank(const char* line, size_t n) {
    return n == 0 || (n == 1 && (line[0] == '\n' || line[0] == '\r')) ||
           (n == 2 && line[0] == '\r' && line[1] == '\n');
}

}  // namespace

RecordReader::RecordReader(FILE* in) : in_(in) {}

RecordReader::~RecordReader() {
    ch_free(buf_);
    free(record_);
}

// Reads more input after the unconsumed bytes, moving them to the front and growing the
// buffer when a line does not fit. Returns false when nothing more could be read.
bool RecordReader::fill() {
    if (eof_) return false;
    if (begin_ > 0) {
        memmove(buf_, buf_ + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (buf_capacity_ - end_ < kReadChunk) {
        buf_capacity_ = std::max(buf_capacity_ * 2, end_ + kReadChunk);
        buf_ = static_cast<char*>(ch_realloc(buf_, buf_capacity_));
    }
    size_t got = fread(buf_ + end_, 1, buf_capacity_ - end_, in_);
    // One scan per chunk; lines are looked at one by one only once a NUL byte was seen.
    if (got && !saw_nul_) saw_nul_ = memchr(buf_ + end_, '\0', got) != nullptr;
    end_ += got;
    if (got == 0) {
        eof_ = true;
        failed_ = ferror(in_) != 0;
        return false;
    }
    return true;
}

bool RecordReader::next_line(const char** line, size_t* length) {
    size_t scanned = 0;  // bytes already searched for a line end
    for (;;) {
        char* start = buf_ + begin_;
        size_t unscanned = end_ - begin_ - scanned;
        auto* nl =
            unscanned ? static_cast<char*>(memchr(start + scanned, '\n', unscanned)) : nullptr;
        if (nl) {
            *line = start;
            *length = static_cast<size_t>(nl - start) + 1;
            begin_ += *length;
            return true;
        }
        scanned = end_ - begin_;
        if (!fill()) break;
    }
    if (begin_ == end_) return false;
    *line = buf_ + begin_;  // the last line has no line end
    *length = end_ - begin_;
    begin_ = end_;
    return true;
}

void RecordReader::append(const char* line, size_t length) {
    size_t needed = record_length_ + length + 1;
    if (needed > record_capacity_) {
        // Whole 4096-byte steps, at least doubling, so long records cost linear time.
        size_t grown = std::max((needed / kRecordStep + 1) * kRecordStep, record_capacity_ * 2);
        char* bigger = static_cast<char*>(record_ ? realloc(record_, grown) : ch_malloc(grown));
        if (!bigger) {
            perror("safe_realloc");
            exit(1);
        }
        record_ = bigger;
        record_capacity_ = grown;
    }
    memcpy(record_ + record_length_, line, length);
    record_length_ += length;
    record_[record_length_] = '\0';
}

char* RecordReader::read_one_record() {
    record_length_ = 0;
    line_numbers_.clear();
    nul_lines_.clear();
    bool in_comment = false;
    const char* line;
    size_t length;
    while (next_line(&line, &length)) {
        ++line_number_;
        if (is_blank(line, length)) {
            if (record_length_ > 0 || !nul_lines_.empty()) break;
            in_comment = false;
            continue;
        }
        if (line[0] == '#' ||
            (in_comment &&
             (line[0] == ' ' || line[0] == '\t'))) {  // a comment, or its continuation
            in_comment = true;
            continue;
        }
        in_comment = false;
        if (saw_nul_ && memchr(line, '\0', length)) {
            nul_lines_.push_back(line_number_);
            continue;
        }
        append(line, length);
        line_numbers_.push_back(line_number_);
    }
    if (record_length_ == 0 && nul_lines_.empty()) return nullptr;
    append("", 0);  // terminates the text, even a record left empty
    return record_;
}
