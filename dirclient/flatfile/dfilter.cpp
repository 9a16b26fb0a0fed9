// Filter text (RFC 4515 prefix notation) to DFilter trees, evaluation and the text form.
// Assertion values are kept as written: the matcher, not the parser, gives backslashes
// their meaning.

#include "dfilter.h"

#include "attribute.h"
#include "dentry.h"
#include "dlist.h"
#include "object_memory.h"

#include <climits>
#include <cstring>
#include <string>

thread_local const char* DFilter::m_pFilter = nullptr;
thread_local int DFilter::m_iBeginToken = 0;
thread_local int DFilter::m_iEndToken = 0;
thread_local int DFilter::m_iDepth = 0;

namespace {

// Nesting beyond this is refused rather than risking the stack on hostile input.
constexpr int kMaxDepth = 256;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

char* copyRange(const char* from, int length) {
    char* out = check_malloc(static_cast<std::size_t>(length) + 1);
    std::memcpy(out, from, static_cast<std::size_t>(length));
    out[length] = '\0';
    return out;
}

const char* operatorText(item_type type) {
    switch (type) {
        case ITEM_EQUAL:
            return "=";
        case ITEM_GREATER_OR_EQUAL:
            return ">=";
        case ITEM_LESS_OR_EQUAL:
            return "<=";
        case ITEM_APPROX:
            return "~=";
    }
    return nullptr;
}

}  // namespace

// ---- DFilterItem ------------------------------------------------------------------------

DFilterItem::DFilterItem(item_type t, char* n, char* v) : type(t), name(n), value(v) {}

DFilterItem::~DFilterItem() = default;

namespace {

// The values of a DEntry attribute as texts: strings in place, other values converted.
bool entryValues(const void* subject, const char* name, bool (*visit)(void*, const char*),
                 void* state) {
    auto* entry = static_cast<DEntry*>(const_cast<void*>(subject));
    Attribute* attr = entry->getAttribute(name);
    if (attr == nullptr || attr->getValues() == nullptr) return false;
    for (DListItem* item = attr->getValues()->getHead(); item != nullptr;
         item = item->getNextItem()) {
        if (item->getType() == 5) {
            const char* text = static_cast<const char*>(item->getValue());
            if (text != nullptr && visit(state, text)) return true;
            continue;
        }
        char* text = item->stringValue();
        bool hit = text != nullptr && visit(state, text);
        check_free(text);
        if (hit) return true;
    }
    return false;
}

bool matches(void* pattern, const char* text) {
    return match(text, static_cast<const char*>(pattern)) == 1;
}

}  // namespace

bool DFilterItem::evalEntry(DEntry* entry) {
    return entry != nullptr && evalWith(entry, entryValues);
}

bool DFilterItem::evalWith(const void* entry, DFilterValues values) {
    if (entry == nullptr || values == nullptr || !name || !value) {
        return false;
    }
    return values(entry, name.get(), matches, value.get());
}

char* DFilterItem::ToString() {
    const char* op = operatorText(type);
    if (op == nullptr) return strcopy("");
    std::string out = name ? name.get() : "";
    out += op;
    out += value ? value.get() : "";
    return strcopy(out.c_str());
}

// ---- DFilter ----------------------------------------------------------------------------

DFilter::DFilter(filter_type t, void* v) : type(t), value(v) {}

DFilter::~DFilter() {
    switch (type) {
        case FILTER_AND:
        case FILTER_OR: {
            DList* operands = static_cast<DList*>(value);
            if (operands == nullptr) break;
            for (DListItem* item = operands->getHead(); item != nullptr;
                 item = item->getNextItem()) {
                delete static_cast<DFilter*>(item->getValue());
            }
            delete operands;
            break;
        }
        case FILTER_NOT:
            delete static_cast<DFilter*>(value);
            break;
        case FILTER_ITEM:
            delete static_cast<DFilterItem*>(value);
            break;
    }
}

void freeFilter(void* filter) {
    delete static_cast<DFilter*>(filter);
}

bool DFilter::evalEntry(DEntry* entry) {
    return entry != nullptr && evalWith(entry, entryValues);
}

bool DFilter::evalWith(const void* entry, DFilterValues values) {
    switch (type) {
        case FILTER_AND:
        case FILTER_OR: {
            DList* operands = static_cast<DList*>(value);
            if (operands == nullptr || operands->getHead() == nullptr) return false;
            bool wantAll = type == FILTER_AND;
            for (DListItem* item = operands->getHead(); item != nullptr;
                 item = item->getNextItem()) {
                auto* operand = static_cast<DFilter*>(item->getValue());
                bool ok = operand != nullptr && operand->evalWith(entry, values);
                if (wantAll && !ok) return false;
                if (!wantAll && ok) return true;
            }
            return wantAll;
        }
        case FILTER_NOT: {
            auto* operand = static_cast<DFilter*>(value);
            return operand != nullptr && !operand->evalWith(entry, values);
        }
        case FILTER_ITEM: {
            auto* item = static_cast<DFilterItem*>(value);
            return item != nullptr && item->evalWith(entry, values);
        }
    }
    return false;
}

char* DFilter::ToString() {
    std::string out;
    auto appendOwned = [&out](char* text) {
        if (text != nullptr) out += text;
        check_free(text);
    };
    switch (type) {
        case FILTER_AND:
        case FILTER_OR: {
            out = type == FILTER_AND ? "(&" : "(|";
            DList* operands = static_cast<DList*>(value);
            for (DListItem* item = operands ? operands->getHead() : nullptr; item != nullptr;
                 item = item->getNextItem()) {
                auto* operand = static_cast<DFilter*>(item->getValue());
                if (operand != nullptr) appendOwned(operand->ToString());
            }
            break;
        }
        case FILTER_NOT:
            out = "(!";
            if (value != nullptr) appendOwned(static_cast<DFilter*>(value)->ToString());
            break;
        case FILTER_ITEM:
            out = "(";
            if (value != nullptr) appendOwned(static_cast<DFilterItem*>(value)->ToString());
            break;
        default:
            return strcopy("");
    }
    out += ')';
    return strcopy(out.c_str());
}

// ---- parser -----------------------------------------------------------------------------

namespace {

// Counts nesting for one component and refuses what is too deep.
class DepthGuard {
  public:
    explicit DepthGuard(int& depth) : depth_(depth) { ++depth_; }
    ~DepthGuard() { --depth_; }
    bool tooDeep() const { return depth_ > kMaxDepth; }

  private:
    int& depth_;
};

}  // namespace

void DFilter::ignoreSpaces() {
    if (m_pFilter != nullptr) {
        while (isBlank(m_pFilter[m_iBeginToken]))
            ++m_iBeginToken;
    }
    m_iEndToken = m_iBeginToken;
}

DFilter* DFilter::unparseFilter(const char* text) {
    if (text != nullptr) {
        if (std::strlen(text) > static_cast<std::size_t>(INT_MAX / 2)) return nullptr;
        m_pFilter = text;
        m_iBeginToken = m_iEndToken = 0;
        m_iDepth = 0;
        DFilter* filter = unparseFilter(nullptr);
        if (filter != nullptr) {
            ignoreSpaces();
            if (m_pFilter[m_iBeginToken] != '\0') {
                delete filter;
                filter = nullptr;
            }
        }
        // The caller's text may go away; a later continuation must not read it.
        m_pFilter = nullptr;
        m_iBeginToken = m_iEndToken = 0;
        return filter;
    }
    if (m_pFilter == nullptr) return nullptr;
    ignoreSpaces();
    if (m_pFilter[m_iBeginToken] != '(') return nullptr;
    ++m_iBeginToken;
    DFilter* component = unparseFilterComponent();
    if (component == nullptr) return nullptr;
    ignoreSpaces();
    if (m_pFilter[m_iBeginToken] != ')') {
        delete component;
        return nullptr;
    }
    m_iEndToken = ++m_iBeginToken;
    return component;
}

DFilter* DFilter::unparseFilterComponent() {
    if (m_pFilter == nullptr) return nullptr;
    DepthGuard guard(m_iDepth);
    if (guard.tooDeep()) return nullptr;
    ignoreSpaces();
    char c = m_pFilter[m_iBeginToken];
    if (c == '(') {
        ++m_iBeginToken;
        DFilter* inner = unparseFilterComponent();
        if (inner == nullptr) return nullptr;
        ignoreSpaces();
        if (m_pFilter[m_iBeginToken] != ')') {
            delete inner;
            return nullptr;
        }
        m_iEndToken = ++m_iBeginToken;
        return inner;
    }
    if (c == '!') {
        ++m_iBeginToken;
        DFilter* operand = unparseFilter(nullptr);
        return operand ? new DFilter(FILTER_NOT, operand) : nullptr;
    }
    if (c == '&' || c == '|') {
        ++m_iBeginToken;
        DList* operands = unparseFilterList();
        if (operands == nullptr) return nullptr;
        return new DFilter(c == '&' ? FILTER_AND : FILTER_OR, operands);
    }
    char* name = unparseAttributeName();
    if (name == nullptr) return nullptr;
    int op = unparseFilterType();
    if (op == 0) {
        check_free(name);
        return nullptr;
    }
    char* assertion = unparseAttributeValue();
    return new DFilter(FILTER_ITEM, new DFilterItem(static_cast<item_type>(op), name, assertion));
}

DList* DFilter::unparseFilterList() {
    DFilter* first = unparseFilter(nullptr);
    if (first == nullptr) return nullptr;
    DList* operands = new (HEAP) DList();
    operands->append(first, 0, false);
    for (;;) {
        int mark = m_iBeginToken;
        DFilter* next = unparseFilter(nullptr);
        if (next == nullptr) {
            m_iBeginToken = m_iEndToken = mark;
            break;
        }
        operands->append(next, 0, false);
    }
    return operands;
}

char* DFilter::unparseAttributeName() {
    if (m_pFilter == nullptr) return nullptr;
    ignoreSpaces();
    int start = m_iBeginToken;
    char c = m_pFilter[start];
    if (!isLetter(c) && c != '_') return nullptr;
    while (isLetter(c) || isDigit(c) || c == '_')
        c = m_pFilter[++m_iBeginToken];
    m_iEndToken = m_iBeginToken;
    return copyRange(m_pFilter + start, m_iBeginToken - start);
}

int DFilter::unparseFilterType() {
    if (m_pFilter == nullptr) return 0;
    ignoreSpaces();
    const char* at = m_pFilter + m_iBeginToken;
    int type = 0;
    int width = 2;
    if (at[0] == '=') {
        type = ITEM_EQUAL;
        width = 1;
    } else if (at[0] != '\0' && at[1] == '=') {
        if (at[0] == '~') type = ITEM_APPROX;
        if (at[0] == '>') type = ITEM_GREATER_OR_EQUAL;
        if (at[0] == '<') type = ITEM_LESS_OR_EQUAL;
    }
    if (type != 0) m_iEndToken = m_iBeginToken += width;
    return type;
}

char* DFilter::unparseAttributeValue() {
    if (m_pFilter == nullptr) return nullptr;
    int start = m_iBeginToken;
    // A backslash takes the next character with it, so "\)" stays in the value and "\\)"
    // is an escaped backslash followed by the closing parenthesis.
    for (char c = m_pFilter[m_iBeginToken]; c != '\0' && c != ')'; c = m_pFilter[m_iBeginToken]) {
        m_iBeginToken += (c == '\\' && m_pFilter[m_iBeginToken + 1] != '\0') ? 2 : 1;
    }
    m_iEndToken = m_iBeginToken;
    return copyRange(m_pFilter + start, m_iBeginToken - start);
}
