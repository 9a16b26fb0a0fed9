#ifndef DIRCLIENT_ERROR_LOG_H
#define DIRCLIENT_ERROR_LOG_H

#include "dirclient_export.h"

// The runtime's error log: time-stamped messages ("20240131235959Z  text") written to
// "qdxserv.log" in the current directory, or to a rotation of files the hosting program
// names, or to standard error when no file can be opened. Every log file is opened with
// mode "w" (created or truncated). With the default settings each message reopens
// "qdxserv.log", so the file holds the last message only. Thread-safe.

#ifdef __cplusplus
extern "C" {
#endif

// Writes one message (printf format; the runtime's own messages pass integers only),
// then flushes. Never fails visibly: without a file the message goes to standard error.
DIRCLIENT_API void ErrorLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Sets the rotation: `files` is a null-terminated list of file names (copied; null means
// "qdxserv.log" only) and `per_file` the number of messages written to one file before it
// is closed and the next name of the list is opened (after the last, the first again,
// truncated). `per_file` 0 or 1 closes the file after every message. A log already open on
// "qdxserv.log" or standard error is left, with a note, for the list's current file at the
// next message. Defaults: no list, 0.
DIRCLIENT_API void errlog_set_rotation(const char* const* files, int per_file);

// Closes the open log file, if any, and restarts the rotation at the list's first name.
DIRCLIENT_API void errlog_close(void);

#ifdef __cplusplus
}
#endif

#endif
