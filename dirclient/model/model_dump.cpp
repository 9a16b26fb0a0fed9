#include "model_dump.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "attribute.h"
#include "attribute_set.h"
#include "delement.h"
#include "dentry.h"
#include "dexception.h"
#include "dlist.h"
#include "entry_comparator.h"
#include "ldap_result_codes.h"
#include "modification.h"
#include "modification_set.h"
#include "object_memory.h"
#include "results.h"
#include "search_constraints.h"
#include "search_results.h"

// --- buffer and line builders -------------------------------------------------------------

DumpBuffer::~DumpBuffer() {
    check_free(data_);
}

void DumpBuffer::reserve(std::size_t extra) {
    if (length_ + extra + 1 <= capacity_) return;
    std::size_t capacity = capacity_ < 256 ? 256 : capacity_;
    while (capacity < length_ + extra + 1)
        capacity *= 2;
    data_ = static_cast<char*>(check_realloc(data_, capacity));
    capacity_ = capacity;
}

void DumpBuffer::append(const char* text, std::size_t length) {
    if (length == 0) return;
    reserve(length);
    std::memcpy(data_ + length_, text, length);
    length_ += length;
}

void DumpBuffer::append(const char* text) {
    if (text == nullptr) text = "NULL";
    append(text, std::strlen(text));
}

void DumpBuffer::blanks(int count) {
    if (count <= 0) return;
    reserve(static_cast<std::size_t>(count));
    std::memset(data_ + length_, ' ', static_cast<std::size_t>(count));
    length_ += static_cast<std::size_t>(count);
}

char* DumpBuffer::release() {
    reserve(0);
    data_[length_] = '\0';
    char* text = data_;
    data_ = nullptr;
    length_ = capacity_ = 0;
    return text;
}

namespace {

bool is_label(const char* label, char c) {
    return label != nullptr && label[0] == c && label[1] == '\0';
}

// Label, ": " at indent, or the "<" / ">" halves of a compact item line; then the value.
void put_labelled(DumpBuffer& out, const char* label, const char* value, std::size_t length,
                  int indent) {
    if (is_label(label, '>')) {
        out.append(value, length);
        out.append(">\n", 2);
    } else if (is_label(label, '<')) {
        out.blanks(indent);
        out.append("<", 1);
        out.append(value, length);
        out.append(", ", 2);
    } else {
        out.blanks(indent);
        out.append(label != nullptr ? label : "");
        out.append(": ", 2);
        out.append(value, length);
        out.append("\n", 1);
    }
}

// "<indent>label: value\n" whatever the label.
void put_plain(DumpBuffer& out, const char* label, const char* value, int indent) {
    out.blanks(indent);
    out.append(label != nullptr ? label : "");
    out.append(": ", 2);
    out.append(value);
    out.append("\n", 1);
}

}  // namespace

void put_header(DumpBuffer& out, const char* name, int indent) {
    out.blanks(indent);
    out.append(name);
    out.append(" {\n", 3);
}

void put_end(DumpBuffer& out, int indent) {
    out.blanks(indent);
    out.append("}\n", 2);
}

void put_string(DumpBuffer& out, const char* label, const char* value, int indent) {
    if (value == nullptr) value = "NULL";
    put_labelled(out, label, value, std::strlen(value), indent);
}

void put_binary(DumpBuffer& out, const char* label, const Dbinary* value, int indent) {
    if (value == nullptr) return put_string(out, label, nullptr, indent);
    const std::size_t length = value->bytes != nullptr ? value->length : 0;
    put_labelled(out, label, value->bytes, length, indent);
}

void put_bool(DumpBuffer& out, const char* label, bool value, int indent) {
    if (is_label(label, '>')) return out.append(value ? "TRUE>\n" : "FALSE>\n");
    put_plain(out, label, value ? "TRUE" : "FALSE", indent);
}

void put_long(DumpBuffer& out, const char* label, long value, int indent) {
    char text[24];
    const int length = std::snprintf(text, sizeof text, "%ld", value);
    if (is_label(label, '>')) {
        out.append(text, static_cast<std::size_t>(length));
        out.append(">\n", 2);
        return;
    }
    put_plain(out, label, text, indent);
}

void put_hexa(DumpBuffer& out, const char* label, const void* pointer, int indent) {
    // The whole address: a 32-bit conversion would cut 64-bit pointers short.
    char text[24];
    std::snprintf(text, sizeof text, "0x%" PRIxPTR, reinterpret_cast<std::uintptr_t>(pointer));
    put_plain(out, label, text, indent);
}

bool put_object_label(DumpBuffer& out, const char* label, const void* object, int indent) {
    out.blanks(indent);
    out.append(label != nullptr ? label : "");
    out.append(object != nullptr ? ": \n" : ": NULL\n");
    return object != nullptr;
}

// --- lists --------------------------------------------------------------------------------

namespace {

const char* type_word(int type) {
    switch (type) {
        case DLIST_BOOL:
            return "bool";
        case DLIST_INT:
            return "int";
        case DLIST_LONG:
            return "long";
        case DLIST_BINARY:
            return "binary";
        case DLIST_STRING:
            return "string";
        case DLIST_ATTRIBUTE:
            return "attribute";
        case DLIST_MODIFICATION:
            return "modification";
        case DLIST_ENTRY:
            return "entry";
        case DLIST_EXCEPTION:
            return "exception";
        default:
            return nullptr;
    }
}

void put_value(DumpBuffer& out, const char* label, int type, void* value, int indent) {
    if (value == nullptr) return put_string(out, label, nullptr, indent);
    switch (type) {
        case DLIST_BOOL:
            return put_bool(out, label, *static_cast<bool*>(value), indent);
        case DLIST_INT:
            return put_long(out, label, *static_cast<int*>(value), indent);
        case DLIST_LONG:
            return put_long(out, label, *static_cast<long*>(value), indent);
        case DLIST_STRING:
            return put_string(out, label, static_cast<char*>(value), indent);
        case DLIST_BINARY: {
            const auto* binary = static_cast<Dbinary*>(value);
            if (binary->bytes != nullptr && std::memchr(binary->bytes, '\0', binary->length))
                return put_string(out, label, "binary type can not be converted to string", indent);
            return put_binary(out, label, binary, indent);
        }
        default:
            return;
    }
}

void dump_object(DumpBuffer& out, int type, void* value, int indent, bool compact) {
    switch (type) {
        case DLIST_ATTRIBUTE:
            return dump(out, static_cast<Attribute*>(value), indent, compact);
        case DLIST_MODIFICATION:
            return dump(out, static_cast<Modification*>(value), indent, compact);
        case DLIST_ENTRY:
            return dump(out, static_cast<DEntry*>(value), indent, compact);
        case DLIST_EXCEPTION:
            return dump(out, static_cast<DException*>(value), indent, compact);
        default:
            return;
    }
}

bool is_object_type(int type) {
    return type >= DLIST_ATTRIBUTE && type <= DLIST_EXCEPTION;
}

}  // namespace

void dump(DumpBuffer& out, DListItem* item, int indent, bool compact) {
    const int type = item->getType();
    void* value = item->getValue();
    const char* word = type_word(type);
    if (compact) {
        if (is_object_type(type)) {
            if (value != nullptr) dump_object(out, type, value, indent, true);
        } else if (word != nullptr) {
            put_string(out, "<", word, indent);
            put_value(out, ">", type, value, indent);
        }
        return;
    }
    put_header(out, "DListItem", indent);
    if (word != nullptr) {
        put_string(out, "type", word, indent + 2);
        if (!is_object_type(type)) {
            put_value(out, "value", type, value, indent + 2);
        } else if (put_object_label(out, "value", value, indent + 2)) {
            dump_object(out, type, value, indent + 4, false);
        }
    }
    put_end(out, indent);
}

void dump(DumpBuffer& out, DList* list, int indent, bool compact) {
    const bool framed = !compact || indent == 0;
    if (framed) put_header(out, "DList", indent);
    for (DListItem* item = list->getHead(); item != nullptr; item = item->getNextItem())
        dump(out, item, compact ? indent : indent + 2, compact);
    list->resetToEnd();
    if (framed) put_end(out, indent);
}

namespace {

// A member collection: labelled and nested at +4 in the full form, inline at +2 (nothing
// when absent) in the compact form.
template <typename Member>
void put_values(DumpBuffer& out, const char* label, Member* member, int indent, bool compact) {
    if (compact) {
        if (member != nullptr) dump(out, member, indent + 2, true);
        return;
    }
    if (put_object_label(out, label, member, indent + 2)) dump(out, member, indent + 4, false);
}

// A member object labelled and nested at +4 in either form.
template <typename Member>
void put_member(DumpBuffer& out, const char* label, Member* member, int indent, bool compact) {
    if (put_object_label(out, label, member, indent + 2)) dump(out, member, indent + 4, compact);
}

const char* option_name(int op) {
    switch (op) {
        case MOD_OP_ADD:
            return "ADD";
        case MOD_OP_DELETE:
            return "DELETE";
        case MOD_OP_REPLACE:
            return "REPLACE";
        default:
            return "UNKNOWN";
    }
}

const char* result_type_name(int type) {
    switch (type) {
        case RES_SEARCH:
            return "RES_SEARCH";
        case RES_ADD:
            return "RES_ADD";
        case RES_RENAME:
            return "RES_RENAME";
        case RES_REMOVE:
            return "RES_REMOVE";
        case RES_AUTHENTICATE:
            return "RES_AUTHENTICATE";
        case RES_MODIFY:
            return "RES_MODIFY";
        case RES_READ:
            return "RES_READ";
        case RES_COMPLETE:
            return "RES_COMPLETE";
        default:
            return "RES_UNKNOWN";
    }
}

}  // namespace

// --- model classes ------------------------------------------------------------------------

void dump(DumpBuffer& out, DElement* element, int indent, bool) {
    put_header(out, "DElement", indent);
    put_long(out, "type", element->getType(), indent + 2);
    put_end(out, indent);
}

void dump(DumpBuffer& out, Attribute* attribute, int indent, bool compact) {
    put_header(out, "Attribute", indent);
    put_string(out, "name", attribute->getName(), indent + 2);
    put_values(out, "values", attribute->getValues(), indent, compact);
    put_end(out, indent);
}

void dump(DumpBuffer& out, AttributeSet* set, int indent, bool compact) {
    if (compact && indent != 0) {
        if (set->getValues() != nullptr) dump(out, set->getValues(), indent, true);
        return;
    }
    put_header(out, "AttributeSet", indent);
    put_member(out, "values", set->getValues(), indent, compact);
    put_end(out, indent);
}

void dump(DumpBuffer& out, DEntry* entry, int indent, bool compact) {
    put_header(out, "DEntry", indent);
    put_string(out, "dn", entry->getDN(), indent + 2);
    put_values(out, "values", entry->getAttributeSet(), indent, compact);
    put_end(out, indent);
}

void dump(DumpBuffer& out, Modification* modification, int indent, bool compact) {
    put_header(out, "Modification", indent);
    put_string(out, "option", option_name(modification->getOp()), indent + 2);
    put_values(out, "attribute", modification->getAttribute(), indent, compact);
    put_end(out, indent);
}

void dump(DumpBuffer& out, ModificationSet* set, int indent, bool compact) {
    if (compact && indent != 0) {
        if (set->getValues() != nullptr) dump(out, set->getValues(), indent, true);
        return;
    }
    put_header(out, "ModificationSet", indent);
    put_values(out, "values", set->getValues(), indent, compact);
    put_end(out, indent);
}

void dump(DumpBuffer& out, DException* exception, int indent, bool) {
    put_header(out, "DException", indent);
    put_string(out, "infoMsg", exception->infoMsg_, indent + 2);
    const int ldapCode = exception->ldapErrorCode_;
    put_string(out, "infoSMsg",
               ldapCode != 0 ? qdx_ldap_err2string(ldapCode) : exception->infoSMsg_, indent + 2);
    put_long(out, "errorCode", exception->errorCode_, indent + 2);
    put_end(out, indent);
}

void dump(DumpBuffer& out, Results* results, int indent, bool compact) {
    put_header(out, "Results", indent);
    put_string(out, "type", result_type_name(results->type_), indent + 2);
    put_long(out, "request id", results->ID_, indent + 2);
    put_member(out, "read result", results->readResult_, indent, compact);
    SearchResults* search = results->type_ == RES_READ ? nullptr : results->searchResult_;
    put_member(out, "search result", search, indent, compact);
    put_member(out, "request exception", results->exception_, indent, compact);
    put_end(out, indent);
}

void dump(DumpBuffer& out, SearchConstraints* constraints, int indent, bool) {
    put_header(out, "SearchConstraints", indent);
    put_long(out, "time limit", constraints->getTimeLimit(), indent + 2);
    put_long(out, "max results", constraints->getMaxResults(), indent + 2);
    put_end(out, indent);
}

void dump(DumpBuffer& out, SearchResults* results, int indent, bool compact) {
    put_header(out, "SearchResults", indent);
    put_values(out, "values", results->getValues(), indent, compact);
    put_end(out, indent);
}

void dump(DumpBuffer& out, EntryComparator*, int indent, bool) {
    put_header(out, "EntryComparator", indent);
    put_end(out, indent);
}

void dump(DumpBuffer& out, CompareAttrNames* comparator, int indent, bool compact) {
    put_header(out, "CompareAttrNames", indent);
    put_string(out, "attr_name", comparator->getAttrName(), indent + 2);
    put_member(out, "attr_list", comparator->getAttrList(), indent, compact);
    put_member(out, "order_list", comparator->getOrderList(), indent, compact);
    put_bool(out, "order", comparator->getOrder(), indent + 2);
    put_end(out, indent);
}
