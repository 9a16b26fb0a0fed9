#include "record_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "byte_blocks.h"
#include "ch_malloc.h"

namespace {

constexpr size_t kReadChunk = 256 * 1024;
constexpr size_t kRecordStep = 4096;

bool is_blank(const char* line, size_t n) {
    return n == 0 || (n == 1 && (line[0] == '\n' || line[0] == '\r')) ||
           (n == 2 && line[0] == '\r' && line[1] == '\n');
}

// A comment goes on over the lines that begin with a blank or a tab.
bool is_comment_continuation(const char* line) {
    return line[0] == ' ' || line[0] == '\t';
}

}  // namespace

RecordReader::RecordReader(FILE* in) : in_(in) {}

RecordReader::~RecordReader() {
    ch_free(buf_);
    free(record_);
}

// Reads more input after the kept bytes, moving them to the front and growing the buffer
// when a record does not fit. Returns false when nothing more could be read.
bool RecordReader::fill() {
    if (eof_) return false;
    if (begin_ > 0) {
        memmove(buf_, buf_ + begin_, end_ - begin_);
        end_ -= begin_;
        pos_ -= begin_;
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

// The next line, as an offset from begin_ (which reading more input keeps valid).
bool RecordReader::next_line(size_t* offset, size_t* length) {
    size_t scanned = 0;  // bytes already searched for a line end
    for (;;) {
        char* start = buf_ + pos_;
        size_t unscanned = end_ - pos_ - scanned;
        auto* nl =
            unscanned ? static_cast<char*>(memchr(start + scanned, '\n', unscanned)) : nullptr;
        if (nl) {
            *offset = pos_ - begin_;
            *length = static_cast<size_t>(nl - start) + 1;
            pos_ += *length;
            return true;
        }
        scanned = end_ - pos_;
        if (!fill()) break;
    }
    if (pos_ == end_) return false;
    *offset = pos_ - begin_;  // the last line has no line end
    *length = end_ - pos_;
    pos_ = end_;
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

bool RecordReader::holds_nul(const char* line, size_t length) const {
    return saw_nul_ && memchr(line, '\0', length) != nullptr;
}

// Passes over the lines from pos_, a line start inside a record, that need no look of their
// own: up to the first line end that is followed by a blank line, a CR or a comment, or to
// the last whole line before the final 17 bytes read, which next_line then takes one by one.
// Only for input without NUL bytes, outside comments.
void RecordReader::skip_ordinary_lines() {
    using namespace byte_blocks;
    const auto* p = reinterpret_cast<const unsigned char*>(buf_);
    if (pos_ < end_ && (p[pos_] == '\n' || p[pos_] == '\r' || p[pos_] == '#')) return;
    Bytes16 counts = splat(0);  // line ends passed, per lane
    size_t lines = 0;
    int blocks = 0;
    size_t i = pos_;
    for (; i + 17 <= end_; i += 16) {
        Bytes16 next = load(p + i + 1);
        Lanes16 nl = load(p + i) == splat('\n');
        Lanes16 stop = nl & ((next == splat('\n')) | (next == splat('\r')) | (next == splat('#')));
        size_t k = first_set(stop);
        if (k < 16) {
            counts -= reinterpret_cast<Bytes16>(nl & lanes_through(k));  // true lanes are -1
            line_number_ += static_cast<int>(lines + sum(counts));
            pos_ = i + k + 1;
            return;
        }
        counts -= reinterpret_cast<Bytes16>(nl);
        if (++blocks == 255) {  // before a lane could overflow
            lines += sum(counts);
            counts = splat(0);
            blocks = 0;
        }
    }
    lines += sum(counts);
    if (lines == 0) return;
    line_number_ += static_cast<int>(lines);
    pos_ =
        static_cast<size_t>(static_cast<const char*>(memrchr(buf_ + pos_, '\n', i - pos_)) - buf_) +
        1;
}

bool RecordReader::next_span(Span* span) {
    begin_ = pos_;  // the previous record is no longer needed
    bool in_comment = false;
    size_t offset, length;
    for (;;) {  // blank lines and comments before the record
        if (!next_line(&offset, &length)) return false;
        ++line_number_;
        const char* line = buf_ + begin_ + offset;
        if (is_blank(line, length)) {
            in_comment = false;
        } else if (line[0] == '#' || (in_comment && is_comment_continuation(line))) {
            in_comment = true;
        } else {
            break;
        }
        begin_ = pos_;
    }
    span->first_line = line_number_;
    span->clean = !holds_nul(buf_ + begin_ + offset, length);
    size_t record_end = length;
    in_comment = false;
    for (;;) {
        if (!in_comment && !saw_nul_) {
            skip_ordinary_lines();
            record_end = pos_ - begin_;
        }
        if (!next_line(&offset, &length)) break;
        ++line_number_;
        const char* line = buf_ + begin_ + offset;
        if (is_blank(line, length)) break;  // consumed with the record
        if (line[0] == '#' || (in_comment && is_comment_continuation(line))) {
            in_comment = true;
            span->clean = false;
        } else {
            in_comment = false;
            if (holds_nul(line, length)) span->clean = false;
        }
        record_end = offset + length;
    }
    span->text = buf_ + begin_;
    span->length = record_end;
    return true;
}

char* RecordReader::assemble(const Span& span) {
    record_length_ = 0;
    line_numbers_.clear();
    nul_lines_.clear();
    bool in_comment = false;
    int number = span.first_line;
    const char* end = span.text + span.length;
    for (const char* line = span.text; line < end; ++number) {
        const auto* nl = static_cast<const char*>(memchr(line, '\n', end - line));
        size_t length = nl ? static_cast<size_t>(nl - line) + 1 : static_cast<size_t>(end - line);
        if (line[0] == '#' || (in_comment && is_comment_continuation(line))) {
            in_comment = true;
        } else {
            in_comment = false;
            if (holds_nul(line, length)) {
                nul_lines_.push_back(number);
            } else {
                append(line, length);
                line_numbers_.push_back(number);
            }
        }
        line += length;
    }
    append("", 0);  // terminates the text, even a record left empty
    return record_;
}

char* RecordReader::read_one_record() {
    Span span;
    return next_span(&span) ? assemble(span) : nullptr;
}
