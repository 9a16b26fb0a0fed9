#ifndef DIRCLIENT_VERSION_H
#define DIRCLIENT_VERSION_H

#include "dirclient_export.h"

#define DIRCLIENT_VERSION_MAJOR 3
#define DIRCLIENT_VERSION_MINOR 2
#define DIRCLIENT_VERSION_PATCH 0

#ifdef __cplusplus
extern "C" {
#endif

// The release of the library actually loaded, for example "3.2.0"; a static text.
DIRCLIENT_API const char* dirclient_version(void);

#ifdef __cplusplus
}
#endif

#endif
