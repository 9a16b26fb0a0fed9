#ifndef DIRCLIENT_DEBUG_MASK_H
#define DIRCLIENT_DEBUG_MASK_H

#include "dirclient_export.h"

#ifdef __cplusplus
extern "C" {
#endif

// Process-wide debug bit mask of the LDAP layer; zero unless QDX_DEBUG sets it.
// The codec, the allocator and the server-list layer trace to standard error only under
// the bits they name.
extern DIRCLIENT_API int ldap_debug;

#ifdef __cplusplus
}
#endif

#endif
