#include "version.h"

#define DIRCLIENT_STR2(x) #x
#define DIRCLIENT_STR(x) DIRCLIENT_STR2(x)

extern "C" const char* dirclient_version(void) {
    return DIRCLIENT_STR(DIRCLIENT_VERSION_MAJOR) "." DIRCLIENT_STR(
        DIRCLIENT_VERSION_MINOR) "." DIRCLIENT_STR(DIRCLIENT_VERSION_PATCH);
}
