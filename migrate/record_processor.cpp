#include "record_processor.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "ch_malloc.h"
#include "ldif_codec.h"
#include "record_rules.h"

using namespace migrate;

namespace {

// Case-blind comparison of an attribute type; the first letters are compared first, since
// most types differ there.
bool type_is(const char* type, const char* name) {
    return (type[0] | 0x20) == (name[0] | 0x20) && strcasecmp(type, name) == 0;
}

// Lines written back as they are: a change record's "-" separator, and a value given by
// URL ("type:< url"), which must stay a reference rather than become text.
bool keep_verbatim(const char* line, const char* colon) {
    if (line[0] == '-' && (line[1] == '\0' || (line[1] == '\r' && line[2] == '\0'))) return true;
    return colon && colon[1] == '<';
}

}  // namespace

RecordProcessor::RecordProcessor(FILE* out, const char* input_name)
    : out_(out), input_name_(input_name) {}

RecordProcessor::~RecordProcessor() {
    ch_free(text_);
}

void RecordProcessor::parse(char* record, const std::vector<int>& line_numbers) {
    char* next = record;
    size_t physical = 0;
    int span = 0;
    while (char* line = ldif_getline(&next, &span)) {
        int number = physical < line_numbers.size() ? line_numbers[physical] : 0;
        physical += static_cast<size_t>(span);
        const char* colon = strchr(line, ':');
        if (keep_verbatim(line, colon)) {
            table_.append(AttrSlot{line, nullptr, 0, 0, 0});
            continue;
        }
        AttrSlot slot{nullptr, nullptr, 0, 0, 0};
        if (str_parse_line(line, &slot.type, &slot.value, &slot.length) != 0) {
            bad_.push_back({number, colon ? "invalid base64 value" : "no ':'"});
            continue;
        }
        if (type_is(slot.type, DN)) entry_name_ = slot.value;
        if (type_is(slot.type, OBJECTCLASS)) {
            metadata_entry_ = metadata_entry_ || strcasecmp(slot.value, METADATAENTRY) == 0;
            message_map_ = message_map_ || strcasecmp(slot.value, MESSAGEMAP) == 0;
        }
        table_.append(slot);
    }
}

void RecordProcessor::migrate() {
    if (metadata_entry_) {
        for (int (*pass)(AttrTable&) : {escape_mdr, migrate_mdr, migrate_functionLibrary})
            if (pass(table_) != 0) printf("Problem migrating entry %s\n", entry_name_);
    }
    if (metadata_entry_ || message_map_) {
        int release = get_version(table_);
        if (release > 0 && release < CURRENT_RELEASE)
            add_unique_attribute(table_, COMPATT, COMPATVER);
        set_version(table_);
    }
}

int RecordProcessor::write() {
    size_t needed = 1;  // the closing blank line
    for (int i = 0; i < table_.count(); ++i) {
        const AttrSlot& s = table_[i];
        needed += s.value ? ldif_size_needed(strlen(s.type), static_cast<size_t>(s.length))
                          : strlen(s.type) + 1;
    }
    if (needed > text_capacity_) {
        text_capacity_ = std::max(needed, text_capacity_ * 2);
        ch_free(text_);
        text_ = static_cast<char*>(ch_malloc(text_capacity_));
    }
    char* end = text_;
    for (int i = 0; i < table_.count(); ++i) {
        const AttrSlot& s = table_[i];
        if (s.value) {
            put_type_and_value(&end, s.type, s.value, s.length);
        } else {
            size_t n = strlen(s.type);
            memcpy(end, s.type, n);
            end += n;
            *end++ = '\n';
        }
    }
    *end++ = '\n';
    size_t n = static_cast<size_t>(end - text_);
    return fwrite(text_, 1, n, out_) == n ? 0 : 1;
}

void RecordProcessor::report(const std::vector<BadLine>& bad) {
    for (const BadLine& b : bad)
        fprintf(stderr,
                "ldifmigrate: %s: line %d of entry \"%s\" is malformed (%s); it was left out\n",
                input_name_, b.line, entry_name_, b.reason);
}

int RecordProcessor::process_ldif_rec(char* record, const std::vector<int>& line_numbers,
                                      const std::vector<int>& nul_lines) {
    table_.clear();
    bad_.clear();
    entry_name_ = "";
    metadata_entry_ = message_map_ = false;
    for (int line : nul_lines)
        bad_.push_back({line, "NUL byte in line"});
    parse(record, line_numbers);
    if (!bad_.empty()) {
        std::sort(bad_.begin(), bad_.end(),
                  [](const BadLine& a, const BadLine& b) { return a.line < b.line; });
        report(bad_);
        malformed_ = true;
    }
    migrate();
    int status = write();
    table_.clear();
    return status;
}
