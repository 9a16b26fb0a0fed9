#ifndef DIRCLIENT_STRING_TRANSLATORS_H
#define DIRCLIENT_STRING_TRANSLATORS_H

#include "dirclient_export.h"

// Character translation hooks of an LDAP session: the incoming one turns the ISO 8859
// next-line byte 0x85 into "\n"; the outgoing one leaves the text as it is.

#ifdef __cplusplus
extern "C" {
#endif

// Translate the *length bytes at *buffer. With free_input non-zero they work in place;
// with free_input zero the result goes to a new buffer from ch_malloc (length bytes and a
// NUL), stored in *buffer and owned by the caller, and the input stays the caller's.
// Return 0, or 1 when the new buffer cannot be had.
DIRCLIENT_API int iso8859_to_ascii(char** buffer, unsigned long* length, int free_input);
DIRCLIENT_API int ascii_to_iso8859(char** buffer, unsigned long* length, int free_input);

#ifdef __cplusplus
}
#endif

#endif
