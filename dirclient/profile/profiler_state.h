#ifndef DIRCLIENT_PROFILER_STATE_H
#define DIRCLIENT_PROFILER_STATE_H

// The profiler's process-wide state. Internal.
//
// Lock discipline: profile_mutex() guards everything in Profiler and every write to the
// name index and to the activities' trees and measurement lists. Start and stop run
// without it: they read the profiling flag, the name index, the published tree (atomics)
// and the calling thread's own measurements. profile_mutex() takes no other lock.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "activity_name_index.h"
#include "measurement_list.h"
#include "profile_activity.h"

namespace dirclient::profile {

// Children that a stop must visit: the profiled ones and those with profiled activities
// below them (the others never run). Immutable once published.
struct ActivityGroup {
    std::vector<qdx_activity*> members;
};

}  // namespace dirclient::profile

struct qdx_activity {
    std::string name;
    std::string description;
    uint32_t fingerprint = 0;
    bool profiled = false;
    size_t position = 0;  // in the activity table

    // Where the declarations placed it; published into the links below when the outermost
    // composite closes. Guarded by the profile mutex.
    qdx_activity* declared_parent = nullptr;
    qdx_activity* declared_previous = nullptr;

    // The tree, published once (release) for lock-free readers.
    std::atomic<qdx_activity*> parent{nullptr};
    std::atomic<qdx_activity*> previous{nullptr};
    std::atomic<qdx_activity*> next{nullptr};
    std::atomic<qdx_activity*> first_child{nullptr};
    std::atomic<const dirclient::profile::ActivityGroup*> stoppable_children{nullptr};
    // The parent's stoppable children (or the top level's): the siblings a start stops.
    std::atomic<const dirclient::profile::ActivityGroup*> stoppable_siblings{nullptr};

    dirclient::profile::MeasurementList measurements;
};

namespace dirclient::profile {

constexpr size_t kMaxProfiledNames = 1000;

struct ReportSwitches {
    bool cpu_absolute = false;
    bool cpu_relative = false;
    bool cpu_unit = false;
    bool elapsed_absolute = false;
    bool elapsed_relative = false;
    bool elapsed_unit = false;
    bool count = false;
    bool description = false;
};

// The names of QDX_PROFILE_ACTIVITIES.
class ProfiledNames {
  public:
    enum class Add { added, all, ignored_after_all, too_many };
    Add add(std::string_view name);
    bool all() const noexcept { return all_; }
    bool contains(std::string_view name) const noexcept;
    size_t size() const noexcept { return names_.size(); }

  private:
    std::vector<std::string> names_;
    bool all_ = false;
};

// An open composite of the declarations; `activity` is null when its declaration was
// refused, so that its children go to the enclosing one.
struct OpenComposite {
    qdx_activity* activity = nullptr;
    qdx_activity* last_child = nullptr;
};

// Everything from the first declaration to the release.
struct Profiler {
    std::vector<std::unique_ptr<qdx_activity>> table;  // declaration order
    std::vector<std::unique_ptr<ActivityGroup>> groups;
    ProfiledNames profiled_names;
    ReportSwitches report;

    std::vector<OpenComposite> open;
    qdx_activity* last_top_level = nullptr;
    bool declarations_closed = false;

    uint32_t thread_count = 0;        // numbers given so far
    std::set<uint32_t> free_threads;  // numbers of exited threads, reused lowest first

    bool contains(const qdx_activity* activity) const noexcept;
};

// Where qdx_display_activity_statistics writes. It may be set before the first
// declaration, so it lives beside the profiler; the release closes it.
struct ReportStream {
    FILE* stream = nullptr;  // null until set: reports then go to standard output
    std::string path;        // the file it was opened from, for qdx_flush_statistics

    FILE* get() const noexcept { return stream != nullptr ? stream : stdout; }
};

std::mutex& profile_mutex() noexcept;

// Under the mutex.
ReportStream& report_stream() noexcept;

// The profiler, or null before the first declaration and after the release. Changed only
// under the mutex; lock-free readers must not keep what they read past a release.
Profiler* profiler() noexcept;

// Creates the profiler for the first declaration: registers the calling thread as thread
// 0, registers the release at exit and reads the environment. Under the mutex.
Profiler& create_profiler();

// Releases the profiler and closes the report file. Under the mutex.
void destroy_profiler() noexcept;

ActivityNameIndex& name_index() noexcept;

// The switch of qdx_set_profile_flag, read first by every start and stop.
extern std::atomic<int> profiling_on;

// Process clock readings for the summary's total line.
extern std::atomic<int64_t> process_cpu_begin;
extern std::atomic<int64_t> process_cpu_end;

// The calling thread's number, or -1 when it has not measured under this profiler.
int64_t current_thread_number() noexcept;

// The calling thread's number, registering the thread on its first measurement: it gets a
// measurement in every activity. -1 when there is no profiler. Takes the mutex when new.
int64_t register_current_thread();

// Gives every known thread a measurement of a new activity. Under the mutex.
void add_thread_measurements(Profiler& p, qdx_activity& activity);

// Runs `body` and ends the process with status 1 when memory runs out: exported functions
// never let an exception out.
template <class Body>
auto guarded(Body&& body) noexcept -> decltype(body()) {
    try {
        return body();
    } catch (...) {
        std::exit(1);
    }
}

}  // namespace dirclient::profile

#endif
