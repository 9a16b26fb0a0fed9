#include "record_rules.h"

#include <strings.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "byte_blocks.h"
#include "ch_malloc.h"

namespace migrate {
namespace {

// The first letters are compared before the call: most types differ there.
bool type_is(const AttrSlot& s, const char* type) {
    return (s.type[0] | 0x20) == (type[0] | 0x20) && strcasecmp(s.type, type) == 0;
}

char* copy_of(const char* text, size_t n) {
    auto* copy = static_cast<char*>(ch_malloc(n + 1));
    memcpy(copy, text, n);
    copy[n] = '\0';
    return copy;
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool same_nocase(const char* a, const char* b, size_t n) {
    for (size_t k = 0; k < n; ++k)
        if (lower(a[k]) != lower(b[k])) return false;
    return true;
}

// strcasestr in the C locale, which is the program's, for a text of known length. The
// library's version prepares every call for long needles; these needles are a few
// characters and the texts a line or two, so candidates for the first character are
// picked sixteen at a time instead.
const char* find_nocase(const char* text, size_t length, const char* needle) {
    using namespace byte_blocks;
    const size_t n = strlen(needle);
    if (n == 0) return text;
    if (length < n) return nullptr;
    const size_t starts = length - n + 1;
    const char first = lower(needle[0]);
    const bool letter = first >= 'a' && first <= 'z';
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    for (; i + 16 <= starts; i += 16) {
        Bytes16 x = load(bytes + i);
        if (letter) x |= splat(0x20);  // a letter of either case, and nothing else, matches
        for (unsigned bits = lane_bits(x == splat(static_cast<unsigned char>(first))); bits != 0;
             bits &= bits - 1) {
            const char* at = text + i + static_cast<size_t>(__builtin_ctz(bits));
            if (same_nocase(at, needle, n)) return at;
        }
    }
    for (; i < starts; ++i)
        if (lower(text[i]) == first && same_nocase(text + i, needle, n)) return text + i;
    return nullptr;
}

// A piece of the definition text; absent when its clause is missing.
struct Part {
    const char* text = nullptr;
    size_t length = 0;
    bool present() const { return text != nullptr; }
};

// The text of a "source='...'" or "target='...'" clause, from after the quote up to the
// first quote of either kind; absent when the definition has neither form of the clause.
Part clause_text(const char* definition, size_t length, const char* single_quoted,
                 const char* double_quoted) {
    const char* found = find_nocase(definition, length, single_quoted);
    if (!found) found = find_nocase(definition, length, double_quoted);
    if (!found) return {};
    const char* text = found + strlen(single_quoted);
    return {text, strcspn(text, "'\"")};
}

// "qualifier:name" split at its last ':'; the qualifier is absent without a ':', and ":"
// when the only ':' is the first character.
void split_clause(Part clause, Part* name, Part* qualifier) {
    *name = clause;
    *qualifier = {};
    if (!clause.present()) return;
    const auto* last = static_cast<const char*>(memrchr(clause.text, ':', clause.length));
    if (!last) return;
    const size_t after = static_cast<size_t>(last - clause.text) + 1;
    *name = {last + 1, clause.length - after};
    *qualifier = last == clause.text ? Part{":", 1} : Part{clause.text, after - 1};
}

char* copy_of(Part part) {
    return part.present() ? copy_of(part.text, part.length) : nullptr;
}

}  // namespace

int add_attribute(AttrTable& table, const char* type, const char* value) {
    char* t = ch_strdup(type);
    char* v = ch_strdup(value);
    table.append(AttrSlot{t, v, static_cast<int>(strlen(v)), 1, 1});
    return 0;
}

int add_unique_attribute(AttrTable& table, const char* type, const char* value) {
    return table.find(type) >= 0 ? 0 : add_attribute(table, type, value);
}

int escape_char(AttrTable& table, int i, char c) {
    const AttrSlot& s = table[i];
    size_t n = static_cast<size_t>(s.length);
    size_t added = 0;
    for (size_t k = 0; k < n; ++k)
        if (s.value[k] == c && (k == 0 || s.value[k - 1] != '\\')) ++added;
    if (added == 0) return 0;
    auto* escaped = static_cast<char*>(ch_malloc(n + added + 1));
    char* out = escaped;
    for (size_t k = 0; k < n; ++k) {
        if (s.value[k] == c && (k == 0 || s.value[k - 1] != '\\')) *out++ = '\\';
        *out++ = s.value[k];
    }
    *out = '\0';
    table.replace_value(i, escaped, static_cast<int>(n + added));
    return 0;
}

int escape_mdr(AttrTable& table) {
    for (int i = 0; i < table.count(); ++i)
        if (type_is(table[i], CN) || type_is(table[i], DN)) escape_char(table, i, '#');
    return 0;
}

namespace {

// Object class values are a set: the first object class line becomes MessageMap and the
// others go, so that a server accepts the migrated entry.
int become_message_map(AttrTable& table) {
    bool first = true;
    for (int k = 0; k < table.count(); ++k) {
        if (!type_is(table[k], OBJECTCLASS) || AttrTable::dropped(table[k])) continue;
        if (!first) {
            table.drop(k);
            continue;
        }
        char* copy = ch_strdup(MESSAGEMAP);
        if (!copy) return 1;
        table.replace_value(k, copy, static_cast<int>(strlen(MESSAGEMAP)));
        first = false;
    }
    return 0;
}

}  // namespace

int migrate_mdr(AttrTable& table) {
    if (table.find(MDRTYPE) >= 0) return 0;
    // count() is read on every turn: slots appended on the way are visited too.
    for (int i = 0; i < table.count(); ++i) {
        if (!type_is(table[i], DEFINITION) || !table[i].value) continue;
        const char* definition = table[i].value;
        const char* open = strchr(definition, '<');
        const char* space = strchr(definition, ' ');
        if (!open || !space) continue;
        if (space < open) return 1;
        const char* element = open + 1;
        const size_t element_length = static_cast<size_t>(space - element);
        if (element_length != strlen(MAP) || strncasecmp(element, MAP, element_length) != 0) {
            char* copy = copy_of(element, element_length);
            add_attribute(table, MDRTYPE, copy);
            ch_free(copy);
            continue;
        }

        if (become_message_map(table) != 0) return 1;
        const size_t length = strlen(definition);
        if (find_nocase(definition, length, TYPE1) || find_nocase(definition, length, TYPE2))
            add_attribute(table, USERMAP, USERMAP_VALUE);
        char* description = parse_definition(definition);
        if (!description) return 1;
        add_attribute(table, MAPDESC, description);
        ch_free(description);
    }
    return 0;
}

char* parse_definition(const char* definition) {
    Part source_name, source_qualifier, target_name, target_qualifier;
    const size_t length = strlen(definition);
    split_clause(clause_text(definition, length, SOURCE1, SOURCE2), &source_name,
                 &source_qualifier);
    split_clause(clause_text(definition, length, TARGET1, TARGET2), &target_name,
                 &target_qualifier);
    if (!source_name.present() && !target_name.present()) {
        printf("Error building mapdesc attribute from definition: %s\n", definition);
        return nullptr;
    }
    const Part parts[] = {source_name, target_name, source_qualifier, target_qualifier};
    size_t n = 3;
    for (const Part& p : parts)
        n += p.length;
    auto* result = static_cast<char*>(ch_malloc(n + 1));
    char* out = result;
    for (const Part& p : parts) {
        if (p.length > 0) memcpy(out, p.text, p.length);
        out += p.length;
        *out++ = ';';
    }
    out[-1] = '\0';  // in place of the fourth separator
    return result;
}

int parse_source_target(const char* text, char** name, char** qualifier) {
    Part n, q;
    split_clause(Part{text, strlen(text)}, &n, &q);
    *name = copy_of(n);
    *qualifier = copy_of(q);
    return 0;
}

int migrate_functionLibrary(AttrTable& table) {
    if (table.find(FUNCNAME) >= 0) return 0;
    for (int i = 0; i < table.count(); ++i) {
        if (type_is(table[i], MDRTYPE) && table[i].value &&
            strcasecmp(table[i].value, MDRTYPEFUNC) == 0) {
            add_attribute(table, FUNCNAME, FUNCLIBVAL);
            return 0;
        }
    }
    return 0;
}

int get_version(const AttrTable& table) {
    const char* value = nullptr;
    for (int i = 0; i < table.count(); ++i)
        if (type_is(table[i], VERSION) && table[i].value && table[i].length > 0)
            value = table[i].value;
    if (!value) return 0;
    errno = 0;
    long n = strtol(value, nullptr, 10);  // leading digits; 0 when there are none
    if (n > INT_MAX) return INT_MAX;      // out of range reads as the nearest release
    if (n < INT_MIN) return INT_MIN;
    return static_cast<int>(n);
}

int set_version(AttrTable& table) {
    for (int i = 0; i < table.count(); ++i)
        if (type_is(table[i], VERSION))
            table.replace_value(i, ch_strdup(CURRENT_VERSION),
                                static_cast<int>(strlen(CURRENT_VERSION)));
    return 0;
}

}  // namespace migrate
