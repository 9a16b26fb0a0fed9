// LDIF output of the flat-file tree (RFC 2849) and decoding of values kept in "::" form.

#include "ffnode.h"

#include "attribute.h"
#include "attribute_set.h"
#include "dentry.h"
#include "dexception.h"
#include "dlist.h"
#include "ffrecord.h"
#include "ldif_codec.h"
#include "owned_text.h"
#include "search_results.h"
#include "status.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kDisconnectInfo[] = "ERROR: can not disconnect";
const char kFileTrouble[] = "Can't contact LDIF flat file";

Status writeFailure() {
    return Status::failure(kDisconnectInfo, DEXC_DISCONNECT, kFileTrouble);
}

// Formats one "type: value" line (folded, base64 where needed) and writes it.
bool writeLine(FILE* file, std::vector<char>& buffer, const char* type, const char* value,
               std::size_t length) {
    if (length > 0x7fffffff) return false;
    std::size_t need = ldif_size_needed(std::strlen(type), length);
    if (buffer.size() < need) buffer.resize(need);
    char* out = buffer.data();
    put_type_and_value(&out, type, value, static_cast<int>(length));
    std::size_t written = static_cast<std::size_t>(out - buffer.data());
    return std::fwrite(buffer.data(), 1, written, file) == written;
}

// The bytes a value is written as; false for values without a text form (booleans and
// anything unknown) and for empty values, which are not written.
bool valueBytes(DListItem* item, std::string& scratch, const char** bytes, std::size_t* length) {
    void* value = item->getValue();
    if (value == nullptr) return false;
    switch (item->getType()) {
        case DLIST_STRING:
            *bytes = static_cast<const char*>(value);
            *length = std::strlen(*bytes);
            break;
        case DLIST_BINARY: {
            auto* binary = static_cast<Dbinary*>(value);
            if (binary->bytes == nullptr) return false;
            *bytes = binary->bytes;
            *length = binary->length;
            break;
        }
        case DLIST_INT:
            scratch = std::to_string(*static_cast<int*>(value));
            *bytes = scratch.c_str();
            *length = scratch.size();
            break;
        case DLIST_LONG:
            scratch = std::to_string(*static_cast<long*>(value));
            *bytes = scratch.c_str();
            *length = scratch.size();
            break;
        default:
            return false;
    }
    return *length > 0;
}

// The lines of an entry held unpacked, and the empty line that ends it.
bool writeEntryLines(FILE* file, std::vector<char>& buffer, DEntry* entry) {
    const char* dn = entry->getDN() != nullptr ? entry->getDN() : "";
    bool ok = writeLine(file, buffer, "dn", dn, std::strlen(dn));
    DList* attributes = entry->getAttributeSet() ? entry->getAttributeSet()->getValues() : nullptr;
    std::string scratch;
    for (DListItem* a = attributes ? attributes->getHead() : nullptr; ok && a != nullptr;
         a = a->getNextItem()) {
        auto* attribute = static_cast<Attribute*>(a->getValue());
        if (attribute == nullptr || attribute->getName() == nullptr ||
            attribute->getName()[0] == '\0' || attribute->getValues() == nullptr) {
            continue;
        }
        for (DListItem* v = attribute->getValues()->getHead(); ok && v != nullptr;
             v = v->getNextItem()) {
            const char* bytes = nullptr;
            std::size_t length = 0;
            if (!valueBytes(v, scratch, &bytes, &length)) continue;
            ok = writeLine(file, buffer, attribute->getName(), bytes, length);
        }
    }
    return ok && std::fputc('\n', file) != EOF && !std::ferror(file);
}

}  // namespace

bool FFNode::writeEntry(FILE* file, DException** err) {
    static thread_local std::vector<char> buffer;
    bool ok = record != nullptr ? record->write(file, buffer)
                                : entry == nullptr || writeEntryLines(file, buffer, entry);
    return ok || writeFailure().report(err);
}

bool FFNode::save(FILE* file, DException** err) {
    std::vector<FFNode*> pending{this};
    while (!pending.empty()) {
        FFNode* node = pending.back();
        pending.pop_back();
        if (!node->writeEntry(file, err)) return false;
        for (DListItem* item = node->children ? node->children->getTail() : nullptr;
             item != nullptr; item = item->getPreviousItem()) {
            pending.push_back(static_cast<FFNode*>(item->getValue()));
        }
    }
    return true;
}

namespace {

// Decodes one "::base64" string value in place. The text is parsed as a copy so that a
// value that is not valid base64 stays exactly as it was. A decoded value holding a NUL
// byte becomes a binary value, which keeps every byte.
void decodeValue(DListItem* item) {
    auto* text = static_cast<char*>(item->getValue());
    if (text == nullptr || text[0] != ':' || text[1] != ':') return;
    OwnedText work(strcopy(text));
    char* type = nullptr;
    char* value = nullptr;
    int length = 0;
    if (str_parse_line(work.get(), &type, &value, &length) == 0 && length >= 0) {
        auto size = static_cast<std::size_t>(length);
        if (std::memchr(value, '\0', size) == nullptr) {
            std::memcpy(text, value, size);
            text[size] = '\0';
        } else {
            auto* binary = reinterpret_cast<Dbinary*>(check_malloc_shared(sizeof(Dbinary)));
            binary->length = static_cast<std::uint32_t>(size);
            binary->bytes = check_malloc_shared(size);
            std::memcpy(binary->bytes, value, size);
            item->setItem(binary, DLIST_BINARY);
        }
    }
}

}  // namespace

void FFNode::translateFromB64(DEntry* e) {
    if (e == nullptr || e->getAttributeSet() == nullptr) return;
    DList* attributes = e->getAttributeSet()->getValues();
    for (DListItem* a = attributes ? attributes->getHead() : nullptr; a != nullptr;
         a = a->getNextItem()) {
        auto* attribute = static_cast<Attribute*>(a->getValue());
        if (attribute == nullptr || attribute->getValues() == nullptr) continue;
        for (DListItem* v = attribute->getValues()->getHead(); v != nullptr; v = v->getNextItem()) {
            if (v->getType() == DLIST_STRING) decodeValue(v);
        }
    }
}

void FFNode::translateFromB64(SearchResults* found) {
    if (found == nullptr || found->getValues() == nullptr) return;
    for (DListItem* item = found->getValues()->getHead(); item != nullptr;
         item = item->getNextItem()) {
        if (item->getType() == DLIST_ENTRY)
            translateFromB64(static_cast<DEntry*>(item->getValue()));
    }
}
