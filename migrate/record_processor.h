#ifndef LDIFMIGRATE_RECORD_PROCESSOR_H
#define LDIFMIGRATE_RECORD_PROCESSOR_H

// Parses one record into the attribute table, applies the migration rules and writes the
// record. Holds the table and the output buffer between records so that their room is
// reused.

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

    FILE* out_;
    const char* input_name_;
    AttrTable table_;
    std::vector<BadLine> bad_;
    const char* entry_name_ = "";
    bool metadata_entry_ = false;
    bool message_map_ = false;
    bool malformed_ = false;
    char* text_ = nullptr;  // formatted output of the record
    size_t text_capacity_ = 0;
};

#endif
