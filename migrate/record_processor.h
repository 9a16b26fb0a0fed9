#ifndef LDIFMIGRATE_RECORD_PROCESSOR_H
#define LDIFMIGRATE_RECORD_PROCESSOR_H

// Parses one record into the attribute table, applies the migration rules and writes the
// record. Records that no rule changes take a shorter way: their lines that are written in
// canonical form already are copied as they stand. Output collects in one buffer that is
// written out in large blocks; the table and the buffer keep their room between records.

#include <cstddef>
#include <cstdio>
#include <vector>

#include "attr_table.h"

class RecordProcessor {
  public:
    // `out` and `input_name` stay the caller's and must outlive the processor.
    RecordProcessor(FILE* out, const char* input_name);
    RecordProcessor(const RecordProcessor&) = delete;
    RecordProcessor& operator=(const RecordProcessor&) = delete;
    ~RecordProcessor();

    // Migrates and writes one record. `line_numbers` gives the input line of each line of
    // `record`, `nul_lines` the record's lines left out for holding NUL bytes. Malformed
    // lines are reported on standard error and left out; the rest of the record is kept.
    // Returns 0, or 1 when the output could not be written.
    int process_ldif_rec(char* record, const std::vector<int>& line_numbers,
                         const std::vector<int>& nul_lines);

    // Writes the record text[0..length) (its lines as read, without comments) when no
    // migration rule applies to it and every line parses, exactly as process_ldif_rec
    // would. Returns 0, 1 when the output could not be written, or -1, having written
    // nothing, when the record needs process_ldif_rec. The text is not modified.
    int write_unmigrated(const char* text, size_t length);

    // Writes out the buffered output; 0, or 1 when it could not be written.
    int flush();

    // True once a line of any record was left out as malformed.
    bool had_malformed_lines() const { return malformed_; }

  private:
    struct BadLine {
        int line;
        const char* reason;
    };
    void parse(char* record, const std::vector<int>& line_numbers);
    void migrate();
    int write();
    void report(const std::vector<BadLine>& bad);
    bool format_line(const char* line, size_t length);
    char* reserve(size_t bytes);
    void put(const char* bytes, size_t length);
    int flush_when_full();

    FILE* out_;
    const char* input_name_;
    AttrTable table_;
    std::vector<BadLine> bad_;
    // Parsed lines that were in canonical form, with their text as read: written back as
    // they stand while no rule changed them.
    struct Canonical {
        int slot;
        size_t offset;  // in canonical_text_
        size_t bytes;
        const char* value;  // the slot's value and length as parsed
        int length;
    };
    std::vector<Canonical> canonical_;
    std::vector<char> canonical_text_;
    const char* entry_name_ = "";
    bool metadata_entry_ = false;
    bool message_map_ = false;
    bool malformed_ = false;
    char* out_buffer_ = nullptr;  // output not yet written
    size_t out_length_ = 0;
    size_t out_capacity_ = 0;
    char* scratch_ = nullptr;  // a copy of a line to parse in place
    size_t scratch_capacity_ = 0;
};

#endif
