#ifndef DIRCLIENT_RUNTIME_UTIL_H
#define DIRCLIENT_RUNTIME_UTIL_H

#include "dirclient_export.h"

// Small routines of the runtime: process exit wrappers, integer texts and key builders.

#ifdef __cplusplus
extern "C" {
#endif

// Ends the process with `status` (exit, so buffered output is flushed).
DIRCLIENT_API void slapd_exit(int status) __attribute__((noreturn));

// Ends the process with abort.
DIRCLIENT_API void slapd_abort(void) __attribute__((noreturn));

// Size of a buffer that holds any qdxitoa text: sign, 10 digits and the NUL.
#define QDX_ITOA_SIZE 12

// Writes the decimal text of n ("-" first when negative) and a NUL into `buffer`, which
// has room for QDX_ITOA_SIZE bytes; returns `buffer`.
DIRCLIENT_API char* qdxitoa(int n, char* buffer);

// Writes the byte `code` then the qdxitoa text of n into `buffer` (room: 1 +
// QDX_ITOA_SIZE); returns `buffer`.
DIRCLIENT_API char* qdxgenCD(char* buffer, int code, int n);

// Writes the byte `code`, the text, then the qdxitoa text of n into `buffer` (room:
// 1 + strlen(text) + QDX_ITOA_SIZE); returns `buffer`.
DIRCLIENT_API char* qdxgenCSD(char* buffer, int code, const char* text, int n);

#ifdef __cplusplus
}
#endif

#endif
