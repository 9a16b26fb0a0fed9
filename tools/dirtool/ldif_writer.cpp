// Entries as LDIF records, RFC 2849, written with the runtime's line codec (ldif_codec.h).
#include "ldif_writer.h"

#include <climits>
#include <cstring>
#include <new>

#include <dirclient/attribute.h>
#include <dirclient/dentry.h>
#include <dirclient/dlist.h>
#include <dirclient/ldif_codec.h>
#include <dirclient/object_memory.h>

namespace dirtool {

void append_ldif_line(std::string& out, const char* type, const char* value, size_t length) {
    if (length > INT_MAX) throw std::length_error("value too long for an LDIF line");
    size_t start = out.size();
    out.resize(start + ldif_size_needed(strlen(type), length));
    char* end = out.data() + start;
    put_type_and_value(&end, type, value, static_cast<int>(length));
    out.resize(static_cast<size_t>(end - out.data()));
}

namespace {

void append_value(std::string& out, const char* name, DListItem* item) {
    void* value = item->getValue();
    if (value == nullptr) return;
    switch (item->getType()) {
        case DLIST_STRING: {
            const char* text = static_cast<const char*>(value);
            append_ldif_line(out, name, text, strlen(text));
            break;
        }
        case DLIST_BINARY: {
            const Dbinary* binary = static_cast<const Dbinary*>(value);
            const char* bytes = binary->bytes != nullptr ? binary->bytes : "";
            append_ldif_line(out, name, bytes, binary->bytes != nullptr ? binary->length : 0);
            break;
        }
        case DLIST_INT:
        case DLIST_LONG: {
            char* text = item->stringValue();
            if (text != nullptr) append_ldif_line(out, name, text, strlen(text));
            check_free(text);
            break;
        }
        default:
            break;
    }
}

}  // namespace

void append_entry_ldif(std::string& out, DEntry* entry) {
    const char* dn = entry->getDN() != nullptr ? entry->getDN() : "";
    append_ldif_line(out, "dn", dn, strlen(dn));
    for (Attribute* attribute = entry->getFirstAttribute(); attribute != nullptr;
         attribute = entry->getNextAttribute()) {
        const char* name = attribute->getName();
        if (name == nullptr || attribute->getValues() == nullptr) continue;
        for (DListItem* item = attribute->getValues()->getHead(); item != nullptr;
             item = item->getNextItem())
            append_value(out, name, item);
    }
    out += '\n';
}

void append_entry_names_ldif(std::string& out, DEntry* entry) {
    const char* dn = entry->getDN() != nullptr ? entry->getDN() : "";
    append_ldif_line(out, "dn", dn, strlen(dn));
    for (Attribute* attribute = entry->getFirstAttribute(); attribute != nullptr;
         attribute = entry->getNextAttribute()) {
        if (attribute->getName() == nullptr) continue;
        out += attribute->getName();
        out += ":\n";
    }
    out += '\n';
}

}  // namespace dirtool
