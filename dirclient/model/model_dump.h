#ifndef DIRCLIENT_MODEL_DUMP_H
#define DIRCLIENT_MODEL_DUMP_H

// Internal: the text dump of every model class, written straight into one growing buffer so
// that nested objects are not built as separate texts and copied again.

#include <cstddef>

#include "dbinary.h"

class Attribute;
class AttributeSet;
class CompareAttrNames;
class DElement;
class DEntry;
class DException;
class DList;
class DListItem;
class EntryComparator;
class Modification;
class ModificationSet;
class Results;
class SearchConstraints;
class SearchResults;

// A growing text in a check_malloc block; release() hands the block (NUL-terminated) over.
class DumpBuffer {
  public:
    DumpBuffer() = default;
    ~DumpBuffer();
    DumpBuffer(const DumpBuffer&) = delete;
    DumpBuffer& operator=(const DumpBuffer&) = delete;

    void append(const char* text, std::size_t length);
    void append(const char* text);  // null appends "NULL"
    void blanks(int count);
    char* release();

  private:
    void reserve(std::size_t extra);

    char* data_ = nullptr;
    std::size_t length_ = 0;
    std::size_t capacity_ = 0;
};

// The line builders of text_dump.h, appending instead of returning.
void put_header(DumpBuffer& out, const char* name, int indent);
void put_end(DumpBuffer& out, int indent);
void put_string(DumpBuffer& out, const char* label, const char* value, int indent);
void put_binary(DumpBuffer& out, const char* label, const Dbinary* value, int indent);
void put_bool(DumpBuffer& out, const char* label, bool value, int indent);
void put_long(DumpBuffer& out, const char* label, long value, int indent);
void put_hexa(DumpBuffer& out, const char* label, const void* pointer, int indent);
// The label line of an object member; false (after "NULL") when there is no object.
bool put_object_label(DumpBuffer& out, const char* label, const void* object, int indent);

void dump(DumpBuffer& out, DListItem* item, int indent, bool compact);
void dump(DumpBuffer& out, DList* list, int indent, bool compact);
void dump(DumpBuffer& out, DElement* element, int indent, bool compact);
void dump(DumpBuffer& out, Attribute* attribute, int indent, bool compact);
void dump(DumpBuffer& out, AttributeSet* set, int indent, bool compact);
void dump(DumpBuffer& out, DEntry* entry, int indent, bool compact);
void dump(DumpBuffer& out, Modification* modification, int indent, bool compact);
void dump(DumpBuffer& out, ModificationSet* set, int indent, bool compact);
void dump(DumpBuffer& out, DException* exception, int indent, bool compact);
void dump(DumpBuffer& out, Results* results, int indent, bool compact);
void dump(DumpBuffer& out, SearchConstraints* constraints, int indent, bool compact);
void dump(DumpBuffer& out, SearchResults* results, int indent, bool compact);
void dump(DumpBuffer& out, EntryComparator* comparator, int indent, bool compact);
void dump(DumpBuffer& out, CompareAttrNames* comparator, int indent, bool compact);

#endif
