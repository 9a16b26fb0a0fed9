#ifndef DIRCLIENT_PROFILE_CLOCK_H
#define DIRCLIENT_PROFILE_CLOCK_H

// The clocks the profiler reads. Internal; tests replace them to get exact figures.

#include <cstdint>

namespace dirclient::profile {

struct ClockSource {
    int64_t (*thread_cpu_us)();   // processor time of the calling thread, microseconds
    int64_t (*process_cpu_us)();  // processor time of the whole process, microseconds
    int64_t (*wall_seconds)();    // wall-clock time, whole seconds since the epoch
};

const ClockSource& clock_source() noexcept;

// Replaces the clocks; null restores the system clocks. `source` must outlive its use.
void set_clock_source_for_testing(const ClockSource* source) noexcept;

}  // namespace dirclient::profile

#endif
