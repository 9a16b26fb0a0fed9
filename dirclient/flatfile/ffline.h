#ifndef DIRCLIENT_FFLINE_H
#define DIRCLIENT_FFLINE_H

#include "dirclient_export.h"

// Text helpers of the flat-file directory: the line reader that loads LDIF files (RFC 2849
// line folding) and two small exported utilities.

#include <cstdio>

// Reads one physical line into *buf, a check_malloc block of *size bytes that grows as
// needed, doubling (start with *buf null and *size 0; release with check_free). The line end ("\n"
// or "\r\n") is removed. A last line without a line end is still a line. Returns false at
// the end of the stream, on a read error or when a line would exceed 2 GiB; *buf then
// holds the text "++EOF++".
DIRCLIENT_API bool getline(FILE* file, char** buf, int* size);

// Reads one logical line (a line and its continuation lines, each of which begins with a
// white-space character that is dropped) into *line, using *next as a one-line look-ahead.
// Trailing blanks are removed. Start with all four buffers null/0 and release *line and
// *next with check_free. Returns false when no line is left; after that *next is null and
// *nextSize is -1, and every further call returns false.
DIRCLIENT_API bool readline(FILE* file, char** line, int* lineSize, char** next, int* nextSize);

// Where the logical lines of one stream stand, for messages that name a line. Keep one per
// stream, starting zeroed, and pass it to every readline call on that stream.
struct LineCount {
    long number = 0;      // first physical line (from 1) of the logical line just read
    bool hasNul = false;  // the logical line just read holds a NUL byte: its text is cut
    long read = 0;        // physical lines read so far, the look-ahead included
    bool nextHasNul = false;
};

// readline, counting lines in *count.
DIRCLIENT_API bool readline(FILE* file, char** line, int* lineSize, char** next, int* nextSize,
                            LineCount* count);

// Writes text, continuing the column count in *column: once 80 characters stand on the
// current line, "\n " starts a continuation line (count 1). *column holds the final count.
DIRCLIENT_API void putline(FILE* file, const char* text, int* column);

// Edits a command line in place: every '/' becomes a backslash; the word after the last
// blank names a file, which is deleted when it exists; then that word loses its directory
// part. A text without a blank (or null) is left alone.
DIRCLIENT_API void normalize_path(char* cmd);

#endif
