#ifndef DIRCLIENT_DIRCLIENT_H
#define DIRCLIENT_DIRCLIENT_H

// Umbrella header of the directory client library: one include for the whole API.
#include "version.h"

#endif
