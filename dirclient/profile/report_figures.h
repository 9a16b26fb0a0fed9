#ifndef DIRCLIENT_REPORT_FIGURES_H
#define DIRCLIENT_REPORT_FIGURES_H

// Figures derived for reports. Internal; callers hold the profile mutex.

#include <cstdint>

#include "profiler_state.h"

namespace dirclient::profile {

constexpr double kMicroseconds = 1000000.0;

// Percentages of the parent's elapsed figures for the same thread (0.0 without a parent,
// without its measurement, or when its figure is 0); stored into `m` as well.
struct RelativeFigures {
    double cpu = 0.0;
    double clock = 0.0;
};
RelativeFigures relative_figures(const qdx_activity& activity, Measurement& m,
                                 uint32_t thread) noexcept;

// Per-run figures: processor seconds and wall-clock seconds, 0.0 before the first run.
double cpu_per_run(const Measurement& m) noexcept;
double clock_per_run(const Measurement& m) noexcept;

// The activity when it belongs to the current profiler, else null.
qdx_activity* known_activity(qdx_activity* activity) noexcept;

}  // namespace dirclient::profile

#endif
