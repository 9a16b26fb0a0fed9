#ifndef DIRCLIENT_LIST_CURSOR_H
#define DIRCLIENT_LIST_CURSOR_H

// The cursor moves the set classes (attribute, attribute set, entry, modification set,
// search results) hand on to the DList they hold, which may not exist yet: every move on a
// missing list yields null (or false). Internal.

#include "dlist.h"

enum class ListStep { Here, First, Next, Previous, Last };

// The item reached by the move; Here is the cursor item.
inline DListItem* list_item(DList* list, ListStep step) {
    if (list == nullptr) return nullptr;
    switch (step) {
        case ListStep::Here:
            return list->getCursor();
        case ListStep::First:
            return list->getFirstItem();
        case ListStep::Next:
            return list->getNextItem();
        case ListStep::Previous:
            return list->getPreviousItem();
        case ListStep::Last:
            return list->getLastItem();
    }
    return nullptr;
}

// The value of the item reached by the move, as T.
template <typename T = void>
T* list_value(DList* list, ListStep step) {
    if (list == nullptr) return nullptr;
    switch (step) {
        case ListStep::Here:
            return static_cast<T*>(list->getValue());
        case ListStep::First:
            return static_cast<T*>(list->getFirstValue());
        case ListStep::Next:
            return static_cast<T*>(list->getNextValue());
        case ListStep::Previous:
            return static_cast<T*>(list->getPreviousValue());
        case ListStep::Last:
            return static_cast<T*>(list->getLastValue());
    }
    return nullptr;
}

// Cursor to the head (or the tail); false without a list.
inline bool list_reset(DList* list, bool toEnd) {
    if (list == nullptr) return false;
    return toEnd ? list->resetToEnd() : list->resetToBegin();
}

#endif
