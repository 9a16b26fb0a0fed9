// dirclient::Entry and Attribute: views of the classic entry they own, without cursors.

#include "modern_entry.h"

#include <strings.h>

#include <cstdint>
#include <string>

#include "dentry.h"
#include "modern_core.h"
#include "modern_error.h"

namespace dirclient {

namespace {

bool same_name(const char* held, std::string_view name) {
    return held != nullptr && std::string_view(held).size() == name.size() &&
           strncasecmp(held, name.data(), name.size()) == 0;
}

const DListItem* head_of(const DList* list) {
    return list != nullptr ? list->getHead() : nullptr;
}

const DListItem* first_attribute(const DEntry& entry) {
    return entry.getValues() != nullptr ? head_of(entry.getValues()->getValues()) : nullptr;
}

// Numbers become their decimal text, so that every value reads as text or bytes.
void numbers_as_text(DEntry& entry) {
    for (const DListItem* a = first_attribute(entry); a != nullptr; a = a->getNextItem()) {
        auto* attribute = static_cast<::Attribute*>(a->getValue());
        if (attribute == nullptr) continue;
        for (DListItem* v = attribute->getValues() ? attribute->getValues()->getHead() : nullptr;
             v != nullptr; v = v->getNextItem())
            if (v->getType() == DLIST_INT || v->getType() == DLIST_LONG)
                v->setItem(v->stringValue(), DLIST_STRING);
    }
}

}  // namespace

void add_classic_bytes(::Attribute& attribute, Bytes value) {
    if (value.size() > UINT32_MAX)
        throw Error(0, 0, "ERROR: value too long", "a value holds at most 4 GiB - 1 bytes");
    Dbinary record{static_cast<std::uint32_t>(value.size()),
                   const_cast<char*>(reinterpret_cast<const char*>(value.data()))};
    attribute.addValue(&record);  // copied
}

void add_classic_value(::Attribute& attribute, std::string_view value) {
    // A value with a NUL byte cannot be a classic text: it goes as bytes.
    if (value.find('\0') != std::string_view::npos)
        add_classic_bytes(attribute,
                          Bytes(reinterpret_cast<const std::byte*>(value.data()), value.size()));
    else
        attribute.addValue(std::string(value).c_str());
}

namespace detail {

const DListItem* next_item(const DListItem* item) {
    return item->getNextItem();
}

std::string_view item_text(const DListItem* item) {
    const void* value = item->getValue();
    if (value == nullptr) return {};
    if (item->getType() == DLIST_STRING) return static_cast<const char*>(value);
    if (item->getType() != DLIST_BINARY) return {};
    const auto* binary = static_cast<const Dbinary*>(value);
    return binary->bytes != nullptr ? std::string_view(binary->bytes, binary->length)
                                    : std::string_view();
}

Bytes item_bytes(const DListItem* item) {
    std::string_view text = item_text(item);
    return {reinterpret_cast<const std::byte*>(text.data()), text.size()};
}

Attribute item_attribute(const DListItem* item) {
    return Attribute(static_cast<const ::Attribute*>(item->getValue()));
}

}  // namespace detail

// ---- Attribute ----------------------------------------------------------------------------

std::string_view Attribute::name() const {
    return classic_ != nullptr && classic_->getName() != nullptr ? classic_->getName() : "";
}

std::size_t Attribute::size() const {
    return classic_ != nullptr ? static_cast<std::size_t>(classic_->size()) : 0;
}

const DListItem* Attribute::head() const {
    return classic_ != nullptr ? head_of(classic_->getValues()) : nullptr;
}

TextRange Attribute::values() const {
    return TextRange(head());
}

BytesRange Attribute::bytes() const {
    return BytesRange(head());
}

std::string_view Attribute::first() const {
    const DListItem* item = head();
    return item != nullptr ? detail::item_text(item) : std::string_view();
}

// ---- Entry --------------------------------------------------------------------------------

Entry::Entry(std::string_view dn) : classic_(new DEntry(classic_text(dn).c_str())) {}

Entry Entry::adopt(DEntry* classic) {
    numbers_as_text(*classic);
    return Entry(classic);
}

Entry::Entry(Entry&& other) noexcept : classic_(other.release()) {}

Entry& Entry::operator=(Entry&& other) noexcept {
    if (this != &other) {
        delete classic_;
        classic_ = other.release();
    }
    return *this;
}

Entry::~Entry() {
    delete classic_;
}

DEntry* Entry::release() noexcept {
    DEntry* classic = classic_;
    classic_ = nullptr;
    return classic;
}

std::string_view Entry::dn() const {
    return classic_->getDN() != nullptr ? classic_->getDN() : "";
}

Attribute Entry::operator[](std::string_view name) const {
    for (const DListItem* item = first_attribute(*classic_); item != nullptr;
         item = item->getNextItem()) {
        const auto* attribute = static_cast<const ::Attribute*>(item->getValue());
        if (attribute != nullptr && same_name(attribute->getName(), name))
            return Attribute(attribute);
    }
    return Attribute();
}

AttributeRange Entry::attributes() const {
    return AttributeRange(first_attribute(*classic_));
}

std::size_t Entry::size() const {
    return static_cast<std::size_t>(classic_->size());
}

::Attribute& Entry::attribute(std::string_view name) {
    if (Attribute held = (*this)[name]) return const_cast<::Attribute&>(*held.classic());
    auto* created = new ::Attribute(classic_text(name).c_str());
    classic_->addAttribute(created);
    return *created;
}

Entry& Entry::add(std::string_view name, std::string_view value) {
    add_classic_value(attribute(name), value);
    return *this;
}

Entry& Entry::add(std::string_view name, std::initializer_list<std::string_view> values) {
    for (std::string_view value : values)
        add(name, value);
    return *this;
}

Entry& Entry::add(std::string_view name, Bytes value) {
    add_classic_bytes(attribute(name), value);
    return *this;
}

bool Entry::remove(std::string_view name) {
    return classic_->getValues() != nullptr &&
           classic_->getValues()->remove(classic_text(name).c_str());
}

}  // namespace dirclient
