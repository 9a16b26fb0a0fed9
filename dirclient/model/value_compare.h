#ifndef DIRCLIENT_VALUE_COMPARE_H
#define DIRCLIENT_VALUE_COMPARE_H

// Internal: the value comparison behind Attribute::attrcmp and the keyed entry sort.

// A list item's value with its type code.
struct TypedValue {
    int type;
    const void* value;
};

// Compares two non-null values of types 2 to 5: numbers numerically (-1, 0, 1); a text
// against a text or a number as text ignoring case (strcasecmp's result); anything against
// a binary value byte for byte (bincmp), numbers as their decimal text. 0 for other types.
int compare_values(const TypedValue& a, const TypedValue& b);

#endif
