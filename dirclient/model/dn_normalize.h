#ifndef DIRCLIENT_DN_NORMALIZE_H
#define DIRCLIENT_DN_NORMALIZE_H

#include "dirclient_export.h"

// Distinguished names in a canonical text form for comparison (RFC 4514 syntax): blanks
// around types, '=' and separators dropped, ';' between RDNs written ',', unneeded escapes
// removed, hex pairs ("\2C") written as the byte they stand for (escaped where the byte
// needs it), quoted values kept with their quotes, case unchanged. Blanks at the very end of
// the DN stay. The result is never longer than dn, and normalising it again changes
// nothing. Returns a new check_malloc text (release with check_free), null for null.
DIRCLIENT_API char* dn_normalize(const char* dn);

// dn_normalize, then every byte upper-cased (toupper).
DIRCLIENT_API char* dn_normalize_case(const char* dn);

// The byte that the two hex digits at text stand for (a hex pair after a DN's backslash),
// or -1 when text does not start with two hex digits.
DIRCLIENT_API int dn_hex_pair(const char* text);

#endif
