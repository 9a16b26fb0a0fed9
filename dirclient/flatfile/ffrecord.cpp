// Layout of a record after its FFRecord header:
//   the DN bytes and a NUL
//   u8 1 when the entry has an attribute set, varint attribute count
//   per attribute: u8 flags (1 name present, 2 value list present), the name bytes and a
//                  NUL, varint value count
//   per value: u8 presence (0 no value, 1 value, 2 binary record without bytes), zigzag
//              varint type code, then for 1 and 2 a varint length, and for 1 the bytes and
//              a NUL (so that texts can be used in place)
// Numbers keep their native bytes; strings are stored without their terminator.

#include "ffrecord.h"

#include "attribute.h"
#include "attribute_set.h"
#include "dentry.h"
#include "dlist.h"
#include "ldif_codec.h"
#include "object_memory.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

enum : unsigned char { kNoValue = 0, kValue = 1, kBinaryWithoutBytes = 2 };
enum : unsigned char { kHasName = 1, kHasValues = 2 };

void putVarint(std::string& out, std::uint64_t n) {
    while (n >= 0x80) {
        out += static_cast<char>((n & 0x7f) | 0x80);
        n >>= 7;
    }
    out += static_cast<char>(n);
}

std::uint64_t getVarint(const unsigned char*& at) {
    std::uint64_t n = 0;
    for (int shift = 0;; shift += 7) {
        unsigned char byte = *at++;
        n |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
        if ((byte & 0x80) == 0) return n;
    }
}

void putType(std::string& out, int type) {
    auto wide = static_cast<std::int64_t>(type);
    putVarint(out,
              (static_cast<std::uint64_t>(wide) << 1) ^ static_cast<std::uint64_t>(wide >> 63));
}

int getType(const unsigned char*& at) {
    std::uint64_t n = getVarint(at);
    return static_cast<int>(static_cast<std::int64_t>(n >> 1) ^ -static_cast<std::int64_t>(n & 1));
}

void putValue(std::string& out, int type, unsigned char presence, const void* bytes,
              std::size_t length) {
    out += static_cast<char>(presence);
    putType(out, type);
    if (presence == kNoValue) return;
    putVarint(out, length);
    if (presence != kValue) return;
    out.append(static_cast<const char*>(bytes), length);
    out += '\0';
}

void putItem(std::string& out, DListItem* item) {
    void* value = item->getValue();
    int type = item->getType();
    if (value == nullptr) return putValue(out, type, kNoValue, nullptr, 0);
    switch (type) {
        case DLIST_STRING:
            return putValue(out, type, kValue, value, std::strlen(static_cast<char*>(value)));
        case DLIST_BINARY: {
            auto* binary = static_cast<Dbinary*>(value);
            if (binary->bytes == nullptr) {
                return putValue(out, type, kBinaryWithoutBytes, nullptr, binary->length);
            }
            return putValue(out, type, kValue, binary->bytes, binary->length);
        }
        case DLIST_BOOL:
            return putValue(out, type, kValue, value, sizeof(bool));
        case DLIST_INT:
            return putValue(out, type, kValue, value, sizeof(int));
        case DLIST_LONG:
            return putValue(out, type, kValue, value, sizeof(long));
        default:
            return putValue(out, type, kNoValue, nullptr, 0);  // not a value type
    }
}

struct ValueView {
    unsigned char presence;
    int type;
    std::size_t length;
    const unsigned char* bytes;
};

ValueView readValue(const unsigned char*& at) {
    ValueView v{*at++, 0, 0, nullptr};
    v.type = getType(at);
    if (v.presence == kNoValue) return v;
    v.length = static_cast<std::size_t>(getVarint(at));
    if (v.presence == kValue) {
        v.bytes = at;
        at += v.length + 1;
    }
    return v;
}

struct AttrView {
    unsigned char flags;
    const char* name;
    std::size_t count;
    const unsigned char* values;
};

AttrView readAttr(const unsigned char*& at) {
    AttrView a{*at++, nullptr, 0, nullptr};
    if (a.flags & kHasName) {
        a.name = reinterpret_cast<const char*>(at);
        at += std::strlen(a.name) + 1;
    }
    if (a.flags & kHasValues) a.count = static_cast<std::size_t>(getVarint(at));
    a.values = at;
    for (std::size_t i = 0; i < a.count; ++i)
        readValue(at);
    return a;
}

bool sameName(const char* a, const char* b) {
    for (;; ++a, ++b) {
        unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
        if (x == '\0') return true;
    }
}

char* sharedCopy(const void* bytes, std::size_t length) {
    char* out = check_malloc_shared(length);
    if (length > 0) std::memcpy(out, bytes, length);
    return out;
}

// The value object a DListItem of the value's type owns.
void* valueObject(const ValueView& v) {
    if (v.presence == kNoValue) return nullptr;
    if (v.presence == kBinaryWithoutBytes || v.type == DLIST_BINARY) {
        auto* binary = reinterpret_cast<Dbinary*>(check_malloc_shared(sizeof(Dbinary)));
        binary->length = static_cast<std::uint32_t>(v.length);
        binary->bytes = v.bytes != nullptr ? sharedCopy(v.bytes, v.length) : nullptr;
        return binary;
    }
    if (v.type == DLIST_STRING) {
        char* text = check_malloc(v.length + 1);
        std::memcpy(text, v.bytes, v.length + 1);
        return text;
    }
    return sharedCopy(v.bytes, v.length);
}

Attribute* unpackAttribute(const AttrView& a, bool typesOnly) {
    auto* attribute = a.name ? new (SHAR) Attribute(a.name) : new (SHAR) Attribute();
    if (typesOnly || (a.flags & kHasValues) == 0) return attribute;
    auto* values = new (SHAR) DList();
    const unsigned char* at = a.values;
    for (std::size_t i = 0; i < a.count; ++i) {
        ValueView v = readValue(at);
        values->append(new (HEAP) DListItem(valueObject(v), v.type));
    }
    attribute->setValues(values);
    return attribute;
}

// The text of a value as DListItem::stringValue would give it, in place where possible;
// null when the value has none.
const char* valueText(const ValueView& v, char* scratch, std::size_t room) {
    if (v.presence != kValue) return nullptr;
    switch (v.type) {
        case DLIST_STRING:
            return reinterpret_cast<const char*>(v.bytes);
        case DLIST_BINARY:
            if (v.length > 1 && std::memchr(v.bytes, '\0', v.length - 1) != nullptr) {
                return nullptr;
            }
            return reinterpret_cast<const char*>(v.bytes);
        case DLIST_INT: {
            int n;
            std::memcpy(&n, v.bytes, sizeof n);
            std::snprintf(scratch, room, "%d", n);
            return scratch;
        }
        case DLIST_LONG: {
            long n;
            std::memcpy(&n, v.bytes, sizeof n);
            std::snprintf(scratch, room, "%ld", n);
            return scratch;
        }
        default:
            return nullptr;
    }
}

bool writeLine(FILE* file, std::vector<char>& buffer, const char* type, const void* value,
               std::size_t length) {
    if (length > 0x7fffffff) return false;
    std::size_t need = ldif_size_needed(std::strlen(type), length);
    if (buffer.size() < need) buffer.resize(need);
    char* out = buffer.data();
    put_type_and_value(&out, type, static_cast<const char*>(value), static_cast<int>(length));
    std::size_t written = static_cast<std::size_t>(out - buffer.data());
    return std::fwrite(buffer.data(), 1, written, file) == written;
}

}  // namespace

// ---- FFRecord ---------------------------------------------------------------------------

FFRecord* FFRecord::make(const char* dn, std::size_t dnLength, const std::string& attributes) {
    std::size_t size = dnLength + 1 + attributes.size();
    // The allocator of the model: exhausted memory ends the process, as everywhere else.
    void* block = check_malloc_shared(sizeof(FFRecord) + size);
    auto* record = new (block) FFRecord();
    record->dnLength_ = static_cast<std::uint32_t>(dnLength);
    record->size_ = static_cast<std::uint32_t>(size);
    auto* body = reinterpret_cast<char*>(record + 1);
    std::memcpy(body, dn, dnLength);
    body[dnLength] = '\0';
    std::memcpy(body + dnLength + 1, attributes.data(), attributes.size());
    return record;
}

void FFRecord::destroy(FFRecord* record) {
    check_free(record);
}

const unsigned char* FFRecord::attributes() const {
    return reinterpret_cast<const unsigned char*>(this + 1) + dnLength_ + 1;
}

FFRecord* FFRecord::pack(DEntry* entry, const char* dn) {
    thread_local std::string body;
    body.clear();
    AttributeSet* set = entry->getAttributeSet();
    DList* attributes = set != nullptr ? set->getValues() : nullptr;
    body += static_cast<char>(set != nullptr ? 1 : 0);
    putVarint(body, attributes != nullptr ? static_cast<std::uint64_t>(attributes->getSize()) : 0);
    for (DListItem* a = attributes ? attributes->getHead() : nullptr; a != nullptr;
         a = a->getNextItem()) {
        auto* attribute = static_cast<Attribute*>(a->getValue());
        if (attribute == nullptr) {  // an empty slot; unpacks as an attribute without name
            body += static_cast<char>(0);
            continue;
        }
        DList* values = attribute->getValues();
        body +=
            static_cast<char>((attribute->getName() ? kHasName : 0) | (values ? kHasValues : 0));
        if (attribute->getName() != nullptr) body.append(attribute->getName()).append(1, '\0');
        if (values == nullptr) continue;
        putVarint(body, static_cast<std::uint64_t>(values->getSize()));
        for (DListItem* v = values->getHead(); v != nullptr; v = v->getNextItem()) {
            putItem(body, v);
        }
    }
    const char* name = dn != nullptr ? dn : entry->getDN();
    if (name == nullptr) name = "";
    return make(name, std::strlen(name), body);
}

DEntry* FFRecord::unpack(DList* attrs, bool typesOnly) const {
    auto* entry = new (SHAR) DEntry(dn());
    const unsigned char* at = attributes();
    bool hasSet = *at++ != 0;
    std::size_t count = static_cast<std::size_t>(getVarint(at));
    const unsigned char* first = at;
    if (attrs == nullptr) {
        if (hasSet && count == 0) entry->setValues(new (SHAR) AttributeSet());
        for (std::size_t i = 0; i < count; ++i) {
            Attribute* attribute = unpackAttribute(readAttr(at), typesOnly);
            if (!entry->addAttribute(attribute)) delete attribute;
        }
        return entry;
    }
    for (DListItem* item = attrs->getHead(); item != nullptr; item = item->getNextItem()) {
        if (item->getType() != DLIST_STRING || item->getValue() == nullptr) continue;
        const char* wanted = static_cast<const char*>(item->getValue());
        at = first;
        for (std::size_t i = 0; i < count; ++i) {
            AttrView a = readAttr(at);
            if (a.name == nullptr || !sameName(a.name, wanted)) continue;
            Attribute* attribute = unpackAttribute(a, typesOnly);
            if (!entry->addAttribute(attribute)) delete attribute;  // a name asked twice
            break;
        }
    }
    return entry;
}

bool FFRecord::anyText(const char* name, bool (*visit)(void*, const char*), void* state) const {
    const unsigned char* at = attributes();
    ++at;
    std::size_t count = static_cast<std::size_t>(getVarint(at));
    for (std::size_t i = 0; i < count; ++i) {
        AttrView a = readAttr(at);
        if (a.name == nullptr || !sameName(a.name, name)) continue;
        const unsigned char* v = a.values;
        char scratch[32];
        for (std::size_t j = 0; j < a.count; ++j) {
            const char* text = valueText(readValue(v), scratch, sizeof scratch);
            if (text != nullptr && visit(state, text)) return true;
        }
        return false;
    }
    return false;
}

bool FFRecord::allValues(const void* subject, bool (*wants)(void*, std::string_view),
                         bool (*visit)(void*, std::string_view, std::string_view), void* state) {
    const unsigned char* at = static_cast<const FFRecord*>(subject)->attributes();
    ++at;
    std::size_t count = static_cast<std::size_t>(getVarint(at));
    char scratch[32];
    for (std::size_t i = 0; i < count; ++i) {
        AttrView a = readAttr(at);
        if (a.name == nullptr || !wants(state, a.name)) continue;
        const unsigned char* v = a.values;
        for (std::size_t j = 0; j < a.count; ++j) {
            ValueView value = readValue(v);
            if (value.presence != kValue) continue;
            std::string_view text;
            if (value.type == DLIST_STRING || value.type == DLIST_BINARY) {
                text = {reinterpret_cast<const char*>(value.bytes), value.length};
            } else if (const char* number = valueText(value, scratch, sizeof scratch)) {
                text = number;
            } else {
                continue;
            }
            if (visit(state, a.name, text)) return true;
        }
    }
    return false;
}

bool FFRecord::allEntryValues(const void* subject, bool (*wants)(void*, std::string_view),
                              bool (*visit)(void*, std::string_view, std::string_view),
                              void* state) {
    auto* entry = static_cast<DEntry*>(const_cast<void*>(subject));
    AttributeSet* set = entry != nullptr ? entry->getAttributeSet() : nullptr;
    DList* attributes = set != nullptr ? set->getValues() : nullptr;
    for (DListItem* a = attributes ? attributes->getHead() : nullptr; a != nullptr;
         a = a->getNextItem()) {
        auto* attribute = static_cast<Attribute*>(a->getValue());
        if (attribute == nullptr || attribute->getName() == nullptr ||
            attribute->getValues() == nullptr || !wants(state, attribute->getName())) {
            continue;
        }
        for (DListItem* v = attribute->getValues()->getHead(); v != nullptr; v = v->getNextItem()) {
            if (v->getValue() == nullptr) continue;
            std::string text;
            if (v->getType() == DLIST_BINARY) {
                auto* binary = static_cast<Dbinary*>(v->getValue());
                if (binary->bytes != nullptr) text.assign(binary->bytes, binary->length);
            } else if (char* owned = v->stringValue()) {
                text = owned;
                check_free(owned);
            } else {
                continue;
            }
            if (visit(state, attribute->getName(), text)) return true;
        }
    }
    return false;
}

bool FFRecord::write(FILE* file, std::vector<char>& scratch) const {
    if (!writeLine(file, scratch, "dn", dn(), dnLength_)) return false;
    const unsigned char* at = attributes();
    ++at;
    std::size_t count = static_cast<std::size_t>(getVarint(at));
    char number[32];
    for (std::size_t i = 0; i < count; ++i) {
        AttrView a = readAttr(at);
        if (a.name == nullptr || a.name[0] == '\0') continue;
        const unsigned char* v = a.values;
        for (std::size_t j = 0; j < a.count; ++j) {
            ValueView value = readValue(v);
            if (value.presence != kValue) continue;
            const void* bytes = value.bytes;
            std::size_t length = value.length;
            if (value.type == DLIST_INT || value.type == DLIST_LONG) {
                bytes = valueText(value, number, sizeof number);
                length = std::strlen(number);
            } else if (value.type != DLIST_STRING && value.type != DLIST_BINARY) {
                continue;  // no text form
            }
            if (length == 0) continue;  // empty values are not written
            if (!writeLine(file, scratch, a.name, bytes, length)) return false;
        }
    }
    return std::fputc('\n', file) != EOF;
}

// ---- FFRecordBuilder --------------------------------------------------------------------

void FFRecordBuilder::reset(const char* dn, std::size_t dnLength) {
    dn_.assign(dn, dnLength);
    bytes_.clear();
    for (std::size_t i = 0; i < used_; ++i)
        attrs_[i].values.clear();
    used_ = 0;
    positions_.clear();
}

namespace {

// Below this many attributes a record's names are scanned; beyond, they are looked up.
constexpr std::size_t kIndexedAttributes = 16;

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string FFRecordBuilder::foldedName(std::size_t attr) const {
    std::string key(bytes_, attrs_[attr].nameOffset, attrs_[attr].nameLength);
    for (char& c : key)
        c = lowerAscii(c);
    return key;
}

FFRecordBuilder::Attr* FFRecordBuilder::find(const char* name, std::size_t nameLength) {
    if (used_ >= kIndexedAttributes) {
        if (positions_.empty()) {
            for (std::size_t i = 0; i < used_; ++i)
                positions_.emplace(foldedName(i), i);
        }
        std::string key(name, nameLength);
        for (char& c : key)
            c = lowerAscii(c);
        auto found = positions_.find(key);
        return found != positions_.end() ? &attrs_[found->second] : nullptr;
    }
    for (std::size_t i = 0; i < used_; ++i) {
        Attr& a = attrs_[i];
        if (a.nameLength != nameLength) continue;
        const char* held = bytes_.data() + a.nameOffset;
        bool same = true;
        for (std::size_t k = 0; k < nameLength && same; ++k)
            same = lowerAscii(held[k]) == lowerAscii(name[k]);
        if (same) return &a;
    }
    return nullptr;
}

void FFRecordBuilder::add(const char* name, std::size_t nameLength, const char* value,
                          std::size_t length, int type) {
    Attr* target = find(name, nameLength);
    if (target == nullptr) {
        if (used_ == attrs_.size()) attrs_.emplace_back();
        target = &attrs_[used_];
        target->nameOffset = bytes_.size();
        target->nameLength = nameLength;
        bytes_.append(name, nameLength);
        if (!positions_.empty()) positions_.emplace(foldedName(used_), used_);
        ++used_;
    }
    target->values.push_back(Value{type, bytes_.size(), length});
    bytes_.append(value, length);
}

FFRecord* FFRecordBuilder::finish() {
    std::string& body = body_;
    body.clear();
    body += static_cast<char>(used_ > 0 ? 1 : 0);
    putVarint(body, used_);
    for (std::size_t i = 0; i < used_; ++i) {
        const Attr& a = attrs_[i];
        body += static_cast<char>(kHasName | kHasValues);
        body.append(bytes_, a.nameOffset, a.nameLength).append(1, '\0');
        putVarint(body, a.values.size());
        for (const Value& v : a.values) {
            putValue(body, v.type, kValue, bytes_.data() + v.offset, v.length);
        }
    }
    return FFRecord::make(dn_.data(), dn_.size(), body);
}
