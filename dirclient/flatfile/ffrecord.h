#ifndef DIRCLIENT_FFRECORD_H
#define DIRCLIENT_FFRECORD_H

// A stored entry of the flat-file directory in packed form (internal): the DN, then each
// attribute's name and typed values, in one block. A packed entry costs one allocation
// instead of one per DN, attribute, name, list, item and value, which keeps a loaded
// directory close to the size of its file; entries are unpacked into DEntry objects only
// when they are handed out (every answer is a fresh copy anyway).
//
// Value types, order, names and null values survive packing, so unpack(pack(e)) equals e
// (apart from LDAP value arrays, which are never copied).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class DEntry;
class DList;

class FFRecord {
  public:
    // A packed copy of entry under dn (entry's own DN when dn is null).
    static FFRecord* pack(DEntry* entry, const char* dn);
    static void destroy(FFRecord* record);

    const char* dn() const { return reinterpret_cast<const char*>(this + 1); }

    // A new entry (as FFNode::genEntry would build it from the unpacked entry): everything,
    // or with attrs the named attributes in the order of the names; typesOnly drops values.
    DEntry* unpack(DList* attrs, bool typesOnly) const;

    // Calls visit(state, text) with the text of each value of the first attribute named
    // name (case ignored) until it returns true; returns whether it did.
    bool anyText(const char* name, bool (*visit)(void*, const char*), void* state) const;

    // For every attribute that wants(state, name) accepts, calls visit(state, name, value)
    // with each value, binary values with all their bytes, until visit returns true;
    // returns whether it did. allEntryValues does the same for a DEntry. Both fit
    // dirschema::EntryValues.
    static bool allValues(const void* record, bool (*wants)(void*, std::string_view),
                          bool (*visit)(void*, std::string_view, std::string_view), void* state);
    static bool allEntryValues(const void* entry, bool (*wants)(void*, std::string_view),
                               bool (*visit)(void*, std::string_view, std::string_view),
                               void* state);

    // Writes the record as one LDIF record (RFC 2849); false on a write error.
    bool write(FILE* file, std::vector<char>& scratch) const;

  private:
    friend class FFRecordBuilder;
    FFRecord() = default;
    // A record of dn followed by the attribute part of a body (see ffrecord.cpp).
    static FFRecord* make(const char* dn, std::size_t dnLength, const std::string& attributes);
    const unsigned char* attributes() const;

    std::uint32_t dnLength_ = 0;
    std::uint32_t size_ = 0;  // bytes after this header
};

// Assembles a record attribute line by attribute line, as loading reads them. Values of
// an attribute named again (in any case) join the first attribute of that name. Reusable:
// reset() keeps the buffers.
class FFRecordBuilder {
  public:
    void reset(const char* dn, std::size_t dnLength);
    const std::string& dn() const { return dn_; }
    // type is a value type code (string or binary for loaded values).
    void add(const char* name, std::size_t nameLength, const char* value, std::size_t length,
             int type);
    FFRecord* finish();
    // A scratch text for the caller (decoding a value before add), reused across records.
    std::string& scratch() { return scratch_; }

  private:
    struct Value {
        int type;
        std::size_t offset;
        std::size_t length;
    };
    struct Attr {
        std::size_t nameOffset;
        std::size_t nameLength;
        std::vector<Value> values;
    };
    std::string dn_;
    std::string bytes_;
    std::string body_;
    std::string scratch_;
    Attr* find(const char* name, std::size_t nameLength);
    std::string foldedName(std::size_t attr) const;

    std::vector<Attr> attrs_;
    std::size_t used_ = 0;  // attrs_ entries in use (the rest keep their capacity)
    // Folded name to attrs_ position, kept once a record has many attributes.
    std::unordered_map<std::string, std::size_t> positions_;
};

#endif
