#ifndef DIRCLIENT_LDIF_CODEC_H
#define DIRCLIENT_LDIF_CODEC_H

#include "dirclient_export.h"

// Line syntax of LDIF text (RFC 2849): logical lines made of a line and its continuation
// lines, "type: value" lines and "type:: base64" lines. Reading works in place on the
// caller's writable text; writing goes into a caller-sized or a freshly allocated buffer.
// The codec keeps no state. Diagnostics go to standard error under ldap_debug bits only:
// 0x800 for lines without ':', any of 0xFFFF for invalid base64.

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Width of a formatted physical line, without its line end.
#define LDIF_LINE_WIDTH 76

// Returns the next logical line of the writable, NUL-terminated text at *next and advances
// *next past it. Continuation lines (lines that begin with a white-space character other
// than "\n") are joined: each fold's line end ("\n" or "\r\n") and the one white-space
// character after it are removed, the rest of the continuation line is kept. The line is
// NUL-terminated in place. Returns null, leaving *next unchanged, when *next is null or
// points at a blank line ("\n" or "\r\n") or at the end of the text. When the last line
// has no line end it is returned and *next becomes null.
DIRCLIENT_API char* str_getline(char** next);

// As str_getline; also stores in *physical_lines (unless null) how many input lines the
// logical line was made of, so that callers can keep input line numbers.
DIRCLIENT_API char* ldif_getline(char** next, int* physical_lines);

// Splits the writable logical line into *type and *value, in place; both point into the
// line afterwards and *length is the value's length in bytes. White space around the type
// and before the value is skipped; a plain value keeps its trailing white space; a value
// after "::" is base64 and is decoded in place (trailing white space ignored). An empty
// value is a value of length 0. Returns 0, or -1 when the line has no ':' or its base64 is
// invalid (a character outside the alphabet, or a group cut short by the end of the text);
// the line may then be partly modified.
DIRCLIENT_API int str_parse_line(char* line, char** type, char** value, int* length);

// Bytes that ldif_type_and_value allocates for a type and a value of these lengths: room
// for every output of put_type_and_value plus a closing NUL.
DIRCLIENT_API size_t ldif_size_needed(size_t type_length, size_t value_length);

// Writes "type: value" (or "type:: base64" where a plain value would not read back the
// same), folded at LDIF_LINE_WIDTH, ending with "\n", at *out and advances *out past it.
// Writes no NUL. The caller provides ldif_size_needed(strlen(type), length) bytes.
// A negative length counts as 0.
DIRCLIENT_API void put_type_and_value(char** out, const char* type, const char* value, int length);

// The lines of put_type_and_value in a new NUL-terminated buffer from malloc, which the
// caller releases with free (or ch_free); null when memory cannot be had.
DIRCLIENT_API char* ldif_type_and_value(const char* type, const char* value, int length);

// Length of the logical line at the start of text[0..length): its physical lines with their
// line ends, the extent that ldif_getline would take from the same text NUL-terminated at
// `length`.
DIRCLIENT_API size_t ldif_logical_line_length(const char* text, size_t length);

// Length of the logical line at the start of text[0..length) -- its physical lines, each
// with its "\n" -- when those bytes are exactly what put_type_and_value writes for the type
// and value that str_parse_line reads from them, so that a caller may copy the line instead
// of parsing and formatting it; 0 when they are not, or when telling would cost about as much
// as formatting (a value that decodes to plain text, a type of 73 characters or more).
// `length` bounds the text as its terminating NUL would. Never reads outside text[0..length).
DIRCLIENT_API size_t ldif_canonical_line(const char* text, size_t length);

#ifdef __cplusplus
}
#endif

#endif
