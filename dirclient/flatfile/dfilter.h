#ifndef DIRCLIENT_DFILTER_H
#define DIRCLIENT_DFILTER_H

#include "dirclient_export.h"

// Search filters of the flat-file directory: the parenthesised prefix notation of LDAP
// filter text (RFC 4515), parsed into a tree and evaluated against entries. Every
// comparison, whatever its operator, is the wildcard matcher `match` below.

#include "owned_text.h"

class DEntry;
class DList;

enum filter_type : int { FILTER_AND = 1, FILTER_OR = 2, FILTER_NOT = 3, FILTER_ITEM = 4 };

// Operator of a comparison. Evaluation ignores it; the text form gives back what was parsed.
enum item_type : int {
    ITEM_EQUAL = 1,
    ITEM_GREATER_OR_EQUAL = 2,
    ITEM_LESS_OR_EQUAL = 3,
    ITEM_APPROX = 4
};

// 1 when value matches pattern, else 0 (null on either side: 0). Words of the value are
// separated by single blanks and letters compare case-insensitively. In the pattern '*'
// stands for any run of characters, '?' for one non-blank character, and a backslash makes
// the next character literal. Without a leading '*' a match begins at the start of a word;
// it ends at the end of a word unless the pattern ends with '*'. A failed partial match
// restarts at the next word, and '*' stretches only to the next occurrence of what follows.
DIRCLIENT_API int match(const char* value, const char* pattern);

// Evaluation over an entry held in another form than DEntry: values(entry, name, visit,
// state) calls visit(state, text) with the text of each value of the attribute name (case
// ignored) until visit returns true, and returns whether it did.
using DFilterValues = bool (*)(const void* entry, const char* name,
                               bool (*visit)(void* state, const char* text), void* state);

// One comparison: attribute name, operator and the assertion value as written (escapes kept).
class DFilterItem {
  public:
    // Takes over name and value, which must be check_malloc blocks (or null).
    DIRCLIENT_API DFilterItem(item_type type, char* name, char* value);
    DIRCLIENT_API ~DFilterItem();
    DFilterItem(const DFilterItem&) = delete;
    DFilterItem& operator=(const DFilterItem&) = delete;

    // True when some string value of the named attribute matches the assertion value.
    DIRCLIENT_API bool evalEntry(DEntry* entry);
    DIRCLIENT_API bool evalWith(const void* entry, DFilterValues values);

    // "name", operator, value; a new check_malloc string (empty for an unknown operator).
    DIRCLIENT_API char* ToString();

    item_type getType() const { return type; }
    const char* getName() const { return name.get(); }
    const char* getValue() const { return value.get(); }

  private:
    item_type type;
    OwnedText name;
    OwnedText value;
};

// One node of a parsed filter. AND and OR hold a DList of DFilter* operands (untyped items,
// in the order written), NOT holds its operand DFilter*, ITEM a DFilterItem*; the node owns
// them all.
class DFilter {
  public:
    DIRCLIENT_API DFilter(filter_type type, void* value);
    DIRCLIENT_API ~DFilter();
    DFilter(const DFilter&) = delete;
    DFilter& operator=(const DFilter&) = delete;

    // Parses a complete filter such as "(&(objectclass=person)(cn=a*))"; a new filter owned
    // by the caller, or null when the text is not a valid filter. Null text continues at the
    // current position of this thread's parse (how nested filters are read). Each thread
    // keeps its own parse position, so threads may parse at the same time.
    DIRCLIENT_API static DFilter* unparseFilter(const char* text);

    // The grammar rules behind unparseFilter; each works at the current position of this
    // thread's parse and returns null (0 for the operator) when the text does not fit.
    DIRCLIENT_API static DFilter* unparseFilterComponent();
    DIRCLIENT_API static DList* unparseFilterList();
    DIRCLIENT_API static char* unparseAttributeName();
    DIRCLIENT_API static int unparseFilterType();
    DIRCLIENT_API static char* unparseAttributeValue();
    DIRCLIENT_API static void ignoreSpaces();

    DIRCLIENT_API bool evalEntry(DEntry* entry);
    DIRCLIENT_API bool evalWith(const void* entry, DFilterValues values);

    // The text form, fully parenthesised; a new check_malloc string.
    DIRCLIENT_API char* ToString();

    filter_type getType() const { return type; }
    void* getValue() const { return value; }

  private:
    filter_type type;
    void* value;

    // Position of the parse running on this thread.
    static thread_local const char* m_pFilter;
    static thread_local int m_iBeginToken;
    static thread_local int m_iEndToken;
    static thread_local int m_iDepth;
};

// Destroys and releases a DFilter given as an untyped pointer; null is ignored.
DIRCLIENT_API void freeFilter(void* filter);

#endif
