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

// An object class that makes the migration rules apply to its record.
bool selects_migration(const char* type, const char* value) {
    return type_is(type, OBJECTCLASS) &&
           (strcasecmp(value, METADATAENTRY) == 0 || strcasecmp(value, MESSAGEMAP) == 0);
}

// The same for a line in canonical form; base64 and folded values are left to the full
// parse, which costs nothing worth saving for so rare a line.
bool canonical_selects_migration(const char* line, size_t length) {
    static constexpr char kPrefix[] = "objectclass:";
    constexpr size_t n = sizeof kPrefix - 1;
    if ((line[0] | 0x20) != 'o' || length <= n + 1 || strncasecmp(line, kPrefix, n) != 0)
        return false;
    const char* value = line + n + 1;
    const size_t value_length = length - n - 2;  // without the blank and the line end
    if (line[n] == ':' || memchr(value, '\n', value_length)) return true;
    auto is = [&](const char* name) {
        return value_length == strlen(name) && strncasecmp(value, name, value_length) == 0;
    };
    return is(METADATAENTRY) || is(MESSAGEMAP);
}

// Output is written out in blocks of about this size.
constexpr size_t kFlushAt = 256 * 1024;

}  // namespace

RecordProcessor::RecordProcessor(FILE* out, const char* input_name)
    : out_(out), input_name_(input_name) {}

RecordProcessor::~RecordProcessor() {
    ch_free(out_buffer_);
    ch_free(scratch_);
}

char* RecordProcessor::reserve(size_t bytes) {
    if (out_capacity_ - out_length_ < bytes) {
        out_capacity_ = std::max(out_length_ + bytes, std::max(2 * out_capacity_, 2 * kFlushAt));
        out_buffer_ = static_cast<char*>(ch_realloc(out_buffer_, out_capacity_));
    }
    return out_buffer_ + out_length_;
}

void RecordProcessor::put(const char* bytes, size_t length) {
    if (length == 0) return;  // the buffer may not exist yet
    memcpy(reserve(length), bytes, length);
    out_length_ += length;
}

int RecordProcessor::flush() {
    size_t n = out_length_;
    out_length_ = 0;
    return n == 0 || fwrite(out_buffer_, 1, n, out_) == n ? 0 : 1;
}

int RecordProcessor::flush_when_full() {
    return out_length_ >= kFlushAt ? flush() : 0;
}

void RecordProcessor::parse(char* record, const std::vector<int>& line_numbers) {
    char* next = record;
    const char* end = record + strlen(record);
    size_t physical = 0;
    int span = 0;
    for (;;) {
        // Parsing overwrites the line; a copy of it stands ready in case no rule changes it.
        size_t canonical = next ? ldif_canonical_line(next, static_cast<size_t>(end - next)) : 0;
        if (canonical > 0) {
            canonical_.push_back({table_.count(), canonical_text_.size(), canonical, nullptr, 0});
            canonical_text_.insert(canonical_text_.end(), next, next + canonical);
        }
        char* line = ldif_getline(&next, &span);
        if (line == nullptr) break;
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
        if (canonical > 0) {
            canonical_.back().value = slot.value;
            canonical_.back().length = slot.length;
        }
        if (type_is(slot.type, DN)) entry_name_ = slot.value;
        if (selects_migration(slot.type, slot.value)) {
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
        if (AttrTable::dropped(s)) continue;
        needed += s.value ? ldif_size_needed(strlen(s.type), static_cast<size_t>(s.length))
                          : strlen(s.type) + 1;
    }
    char* start = reserve(needed);
    char* end = start;
    auto canonical = canonical_.begin();
    for (int i = 0; i < table_.count(); ++i) {
        const AttrSlot& s = table_[i];
        if (AttrTable::dropped(s)) continue;
        while (canonical != canonical_.end() && canonical->slot < i)
            ++canonical;
        if (canonical != canonical_.end() && canonical->slot == i && !s.type_owned &&
            !s.value_owned && s.value == canonical->value && s.length == canonical->length) {
            memcpy(end, canonical_text_.data() + canonical->offset, canonical->bytes);
            end += canonical->bytes;
        } else if (s.value) {
            put_type_and_value(&end, s.type, s.value, s.length);
        } else {
            size_t n = strlen(s.type);
            memcpy(end, s.type, n);
            end += n;
            *end++ = '\n';
        }
    }
    *end++ = '\n';
    out_length_ += static_cast<size_t>(end - start);
    return flush_when_full();
}

// Parses and formats one line that is not in canonical form, as parse() and write() would
// (a line kept verbatim included); false when the line is malformed or selects a migration.
bool RecordProcessor::format_line(const char* text, size_t length) {
    if (scratch_capacity_ < length + 1) {
        scratch_capacity_ = std::max(length + 1, 2 * scratch_capacity_);
        ch_free(scratch_);
        scratch_ = static_cast<char*>(ch_malloc(scratch_capacity_));
    }
    memcpy(scratch_, text, length);
    scratch_[length] = '\0';
    char* next = scratch_;
    char* line = ldif_getline(&next, nullptr);
    if (line == nullptr) return false;
    if (keep_verbatim(line, strchr(line, ':'))) {
        put(line, strlen(line));
        put("\n", 1);
        return true;
    }
    char *type, *value;
    int n;
    if (str_parse_line(line, &type, &value, &n) != 0 || selects_migration(type, value))
        return false;
    char* end = reserve(ldif_size_needed(strlen(type), static_cast<size_t>(n)));
    char* start = end;
    put_type_and_value(&end, type, value, n);
    out_length_ += static_cast<size_t>(end - start);
    return true;
}

int RecordProcessor::write_unmigrated(const char* text, size_t length) {
    const size_t mark = out_length_;
    const char* end = text + length;
    const char* copied = text;  // canonical lines before p not yet copied start here
    const char* p = text;
    while (p < end) {
        size_t n = ldif_canonical_line(p, static_cast<size_t>(end - p));
        if (n > 0 && canonical_selects_migration(p, n)) {
            out_length_ = mark;
            return -1;
        }
        if (n == 0) {
            put(copied, static_cast<size_t>(p - copied));
            n = ldif_logical_line_length(p, static_cast<size_t>(end - p));
            if (!format_line(p, n)) {
                out_length_ = mark;
                return -1;
            }
            copied = p + n;
        }
        p += n;
    }
    put(copied, static_cast<size_t>(p - copied));
    put("\n", 1);
    return flush_when_full();
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
    canonical_.clear();
    canonical_text_.clear();
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
