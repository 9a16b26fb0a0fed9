#ifndef DIRCLIENT_PROFILE_MEASURE_H
#define DIRCLIENT_PROFILE_MEASURE_H

#include "dirclient_export.h"

// Measuring declared activities, per thread. Any thread may start and stop activities;
// each thread accumulates its own figures (runs, processor time of the thread, wall-clock
// seconds). With profiling off, a start or a stop costs one flag test; names that were not
// declared or are not profiled cost a name lookup and change nothing.
//
// Threads are numbered in the order of their first measurement (the declaring thread is
// thread 0); reports take these numbers. The number of a thread that has exited is given
// to the next new thread, whose figures add to the ones already there.

#include "profile_activity.h"

#ifdef __cplusplus
extern "C" {
#endif

// Starts the activity for the calling thread and counts a run; starts its profiled parents
// (without counting them) and stops its running siblings and theirs. An activity that is
// running already is left as it is.
DIRCLIENT_API void qdx_start_activity(const char* name);

// Like qdx_start_activity, but leaves running siblings alone.
DIRCLIENT_API void qdx_begin_activity(const char* name);

// Stops, for the calling thread, every running activity below the named one and then the
// activity itself. Stopping an activity that is not running changes nothing.
DIRCLIENT_API void qdx_stop_activity(const char* name);

// Record the process's processor time for the total line of global_thread_report.
DIRCLIENT_API void qdx_start_process_clock(void);
DIRCLIENT_API void qdx_stop_process_clock(void);

// Zero the figures of every thread for every activity.
DIRCLIENT_API void qdx_profile_initial_activities(void);

// Zero the figures of every thread for the activity and all below it. Returns 0, or 1 when
// the activity is null or unknown.
DIRCLIENT_API int qdx_profile_initial_sub_activities(qdx_activity* activity);

// Switches profiling on (non-zero) or off.
DIRCLIENT_API void qdx_set_profile_flag(int flag);

// 1 when profiling is on, else 0.
DIRCLIENT_API int qdx_profile_enabled(void);

// Opens the report file (mode "w") unless a report stream is set already; a null path
// changes nothing. When the file does not open, reports go to standard output.
DIRCLIENT_API void qdx_set_profile_file(const char* path);

// Number of threads that have measured (thread numbers are 0 to count - 1).
DIRCLIENT_API unsigned qdx_profile_thread_count(void);

// The calling thread's number, or -1 when it has not measured yet.
DIRCLIENT_API int qdx_profile_current_thread(void);

// Releases every activity, figure and the report file, and switches profiling off. Runs by
// itself at process exit; no other thread may measure while it runs. A later declaration
// starts afresh and reads the environment again.
DIRCLIENT_API void qdx_free_profile(void);

#ifdef __cplusplus
}
#endif

#endif
