#ifndef DIRCLIENT_TEXT_DUMP_H
#define DIRCLIENT_TEXT_DUMP_H

#include "dirclient_export.h"

// Line builders of the text dumps that every model class produces with ToString, for
// classes outside the model that dump themselves in the same layout. Each returns a new
// check_malloc text that the caller releases with check_free; indent counts blanks at the
// start of the line (negative counts as 0); a null text value prints as "NULL".
//
// Labels ">" and "<" build the two halves of a compact item line "<type, value>":
// "<" gives indent blanks, "<", the value and ", "; ">" gives the value, ">" and the line
// end, without indent.

#include "dbinary.h"

// "<indent>name {\n"
DIRCLIENT_API char* gen_header_class(const char* name, int indent);
// "<indent>}\n"
DIRCLIENT_API char* gen_end_class(int indent);
// "<indent>label: value\n"
DIRCLIENT_API char* gen_string_instance(const char* label, const char* value, int indent);
// As gen_string_instance with the value's bytes copied as they are (no escaping).
DIRCLIENT_API char* gen_binary_instance(const char* label, const Dbinary* value, int indent);
// "<indent>label: \n" followed by text, or "<indent>label: NULL\n"; takes text over and
// releases it (check_free).
DIRCLIENT_API char* gen_object_instance(const char* label, char* text, int indent);
// "<indent>label: TRUE\n" or FALSE; label ">" gives "TRUE>\n".
DIRCLIENT_API char* gen_bool_instance(const char* label, bool value, int indent);
// "<indent>label: 42\n"; label ">" gives "42>\n".
DIRCLIENT_API char* gen_int_instance(const char* label, int value, int indent);
DIRCLIENT_API char* gen_long_instance(const char* label, long value, int indent);
// "<indent>label: 0x7f3a...\n": the pointer value in lower-case hexadecimal without
// leading zeros.
DIRCLIENT_API char* gen_hexa_instance(const char* label, const void* pointer, int indent);

#endif
