#ifndef DIRCLIENT_PROFILE_REPORT_H
#define DIRCLIENT_PROFILE_REPORT_H

#include "dirclient_export.h"

// Reports over the profiler's figures. Functions that return text return a new
// NUL-terminated text that the caller releases with qdx_profile_memfree, or null as stated.
// Threads are given by their number (0 to qdx_profile_thread_count() - 1). Processor time
// is shown in seconds, wall-clock time in whole seconds. Reports store the relative figures
// they compute in the measurements.

#include "profile_activity.h"

#ifdef __cplusplus
extern "C" {
#endif

// The figures of a report selection word, in the order they are written.
enum {
    QDX_REPORT_CPU_TOTAL = 1,
    QDX_REPORT_CPU_RELATIVE = 2,
    QDX_REPORT_CPU_UNIT = 4,
    QDX_REPORT_ELAPSED_TOTAL = 8,
    QDX_REPORT_ELAPSED_RELATIVE = 16,
    QDX_REPORT_ELAPSED_UNIT = 32,
    QDX_REPORT_COUNT = 64,
    QDX_REPORT_DESCRIPTION = 128
};

// Writes the statistics tree of the named activity for every thread, then the process
// summary, to the report stream. Does nothing with profiling off.
DIRCLIENT_API void qdx_display_activity_statistics(const char* name);

// The statistics trees of every thread as one text; null with profiling off or for an
// unknown name.
DIRCLIENT_API char* qdx_get_statistics_report_for(const char* name);

// The statistics tree of one activity for one thread, indented by `indent` spaces (0 to
// 1024, nesting adding 2 per level); `force`
// shows activities that are not profiled. Null for a null or unknown activity.
DIRCLIENT_API char* qdx_get_statistics_string(qdx_activity* activity, int force, int indent,
                                              unsigned thread);

// The summary of every activity over all threads.
DIRCLIENT_API char* global_thread_report(void);

// The figures chosen by `selection` for the named activity, and by `component_selection`
// for everything below it, for every thread; `labels` non-zero names each figure. Null for
// an unknown name.
DIRCLIENT_API char* qdx_profile_report(const char* name, int selection, int component_selection,
                                       int labels);

// The parts of qdx_profile_report for one thread. Null for a null or unknown activity.
DIRCLIENT_API char* qdx_thread_report(qdx_activity* activity, int selection,
                                      int component_selection, int labels, unsigned thread);
DIRCLIENT_API char* qdx_profile_report_activity_only(qdx_activity* activity, int selection,
                                                     int labels, unsigned thread);
DIRCLIENT_API char* qdx_components_only(qdx_activity* activity, int selection, unsigned thread);
DIRCLIENT_API char* qdx_profile_report_components_only(qdx_activity* activity, int selection);

// One figure each, after its label (labels non-zero) or a single space. Null for a null or
// unknown activity, or when the thread has no measurement of it.
DIRCLIENT_API char* qdx_profile_cpu_total_for(qdx_activity* activity, int labels, unsigned thread);
DIRCLIENT_API char* qdx_profile_cpu_relative_for(qdx_activity* activity, int labels,
                                                 unsigned thread);
DIRCLIENT_API char* qdx_profile_cpu_unit_for(qdx_activity* activity, int labels, unsigned thread);
DIRCLIENT_API char* qdx_profile_elapsed_total_for(qdx_activity* activity, int labels,
                                                  unsigned thread);
DIRCLIENT_API char* qdx_profile_elapsed_relative_for(qdx_activity* activity, int labels,
                                                     unsigned thread);
DIRCLIENT_API char* qdx_profile_elapsed_unit_for(qdx_activity* activity, int labels,
                                                 unsigned thread);
DIRCLIENT_API char* qdx_profile_count_for(qdx_activity* activity, int labels, unsigned thread);
DIRCLIENT_API char* qdx_profile_description_for(qdx_activity* activity, int labels);

// Flushes the report file to disk by closing it and opening it again for appending;
// standard output is flushed, never closed.
DIRCLIENT_API void qdx_flush_statistics(void);

// Writes a dump of the activity and everything below it, for one thread, to standard
// output, indented like qdx_get_statistics_string.
DIRCLIENT_API void qdx_trace_activity_structure(qdx_activity* activity, int indent,
                                                unsigned thread);

// Releases a text returned by the functions above; null is ignored.
DIRCLIENT_API void qdx_profile_memfree(char* text);

#ifdef __cplusplus
}
#endif

#endif
