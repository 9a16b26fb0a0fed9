#ifndef B64VALUE_H
#define B64VALUE_H

// libb64value: base64 (RFC 2045) for attribute values, loaded by the directory server.
// The encoder folds its text like LDIF continuation lines: "\n" and one space start a new
// line; the first line holds up to 77 characters, each later one a space and up to 76.

#include <stddef.h>

#if defined(B64VALUE_BUILDING)
#define B64VALUE_EXPORT __attribute__((visibility("default")))
#else
#define B64VALUE_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Bytes the encoder writes for `length` bytes of data, the closing NUL included.
B64VALUE_EXPORT size_t qdx_b64_value_size(size_t length);

// Writes the folded base64 text of the `length` bytes at `data`, then a NUL, into `out`,
// which has room for qdx_b64_value_size(length) bytes. Returns the address of the NUL.
// A negative length counts as 0.
B64VALUE_EXPORT char* qdx_enc_b64_value(char* out, const char* data, int length);

// Decodes the NUL-terminated base64 `text` in place (folded text must be unfolded first),
// stores the byte count in *length and a NUL after the bytes. Returns 0, or -1 for a
// character outside the alphabet, "=" where data must stand, or a group of fewer than four
// characters at the end; *length is then unchanged.
B64VALUE_EXPORT int qdx_dec_b64_value(char* text, int* length);

#ifdef __cplusplus
}
#endif

#endif
