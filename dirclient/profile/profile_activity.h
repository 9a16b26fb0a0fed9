#ifndef DIRCLIENT_PROFILE_ACTIVITY_H
#define DIRCLIENT_PROFILE_ACTIVITY_H

#include "dirclient_export.h"

// Declaring the activities that the profiler measures. A hosting program declares a tree of
// named activities once, from one thread, before it measures: composite activities enclose
// the ones declared until their matching end, atomic ones have no children. Closing the
// outermost composite builds the tree and ends the declarations. The first declaration of a
// process reads the QDX_PROFILE* environment variables; with profiling off, later
// declarations are ignored. Names compare without regard to case.

#ifdef __cplusplus
extern "C" {
#endif

// A declared activity. Owned by the profiler; valid until qdx_free_profile.
typedef struct qdx_activity qdx_activity;

// Declares an activity enclosing the ones declared until the matching
// qdx_end_composite_activity. The profiler copies both texts; a null description is empty.
DIRCLIENT_API void qdx_create_composite_activity(const char* name, const char* description);

// Declares an activity without children.
DIRCLIENT_API void qdx_create_atomic_activity(const char* name, const char* description);

// Closes the innermost open composite; closing the outermost builds the tree and ends the
// declarations. Without an open composite it does nothing.
DIRCLIENT_API void qdx_end_composite_activity(void);

// Records an activity as a leaf at the current nesting, whatever the profiling switch says.
// Returns 1 when recorded, 0 when the name is null or known already, the name index is
// full, or declarations are closed.
DIRCLIENT_API int qdx_create_activity(const char* name, const char* description);

// The activity of that name (case ignored), or null when none was declared.
DIRCLIENT_API qdx_activity* qdx_activity_named(const char* name);

// The name and description of an activity; null for a null activity.
DIRCLIENT_API const char* qdx_activity_name(const qdx_activity* activity);
DIRCLIENT_API const char* qdx_activity_description(const qdx_activity* activity);

// 1 when the activity is measured (named in QDX_PROFILE_ACTIVITIES, or "all"), else 0.
DIRCLIENT_API int qdx_activity_profiled(const qdx_activity* activity);

#ifdef __cplusplus
}
#endif

#endif
