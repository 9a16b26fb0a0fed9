#include "record_rules.h"

#include <strings.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

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

// The text of a "source='...'" or "target='...'" clause, from after the quote up to the
// first quote of either kind; null when the definition has neither form of the clause.
char* clause_text(const char* definition, const char* single_quoted, const char* double_quoted) {
    const char* found = strcasestr(definition, single_quoted);
    if (!found) found = strcasestr(definition, double_quoted);
    if (!found) return nullptr;
    const char* text = found + strlen(single_quoted);
    return copy_of(text, strcspn(text, "'\""));
}

void split_clause(char* text, char** name, char** qualifier) {
    *name = *qualifier = nullptr;
    if (!text) return;
    parse_source_target(text, name, qualifier);
    ch_free(text);
}

const char* or_empty(const char* s) {
    return s ? s : "";
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
        char* element = copy_of(open + 1, static_cast<size_t>(space - open - 1));
        bool is_map = strcasecmp(element, MAP) == 0;
        if (!is_map) add_attribute(table, MDRTYPE, element);
        ch_free(element);
        if (!is_map) continue;

        for (int k = 0; k < table.count(); ++k)
            if (type_is(table[k], OBJECTCLASS))
                table.replace_value(k, ch_strdup(MESSAGEMAP), static_cast<int>(strlen(MESSAGEMAP)));
        if (strcasestr(definition, TYPE1) || strcasestr(definition, TYPE2))
            add_attribute(table, USERMAP, USERMAP_VALUE);
        char* description = parse_definition(definition);
        if (!description) return 1;
        add_attribute(table, MAPDESC, description);
        ch_free(description);
    }
    return 0;
}

char* parse_definition(const char* definition) {
    char *source_name, *source_qualifier, *target_name, *target_qualifier;
    split_clause(clause_text(definition, SOURCE1, SOURCE2), &source_name, &source_qualifier);
    split_clause(clause_text(definition, TARGET1, TARGET2), &target_name, &target_qualifier);
    char* result = nullptr;
    if (!source_name && !source_qualifier && !target_name && !target_qualifier) {
        printf("Error building mapdesc attribute from definition: %s\n", definition);
    } else {
        const char* parts[] = {or_empty(source_name), or_empty(target_name),
                               or_empty(source_qualifier), or_empty(target_qualifier)};
        size_t n = 3;
        for (const char* p : parts)
            n += strlen(p);
        result = static_cast<char*>(ch_malloc(n + 1));
        snprintf(result, n + 1, "%s;%s;%s;%s", parts[0], parts[1], parts[2], parts[3]);
    }
    for (char* p : {source_name, source_qualifier, target_name, target_qualifier})
        ch_free(p);
    return result;
}

int parse_source_target(const char* text, char** name, char** qualifier) {
    const char* last = strrchr(text, ':');
    if (!last) {
        *name = ch_strdup(text);
        *qualifier = nullptr;
    } else if (last == text) {  // the only ':' is the first character
        *name = ch_strdup(text + 1);
        *qualifier = ch_strdup(":");
    } else {
        *name = ch_strdup(last + 1);
        *qualifier = copy_of(text, static_cast<size_t>(last - text));
    }
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
