#ifndef DIRCLIENT_MODERN_H
#define DIRCLIENT_MODERN_H

// The modern C++ interface of dirclient: RAII connections and entries, ranges instead of
// cursors, one exception type. See docs/modern_api.md.

#include "modern_connection.h"
#include "modern_entry.h"
#include "modern_error.h"
#include "modern_modify.h"
#include "modern_search.h"

#endif
