#include "report_figures.h"

namespace dirclient::profile {
namespace {

double percentage(int64_t part, int64_t whole) noexcept {
    return whole == 0 ? 0.0 : static_cast<double>(part) * 100.0 / static_cast<double>(whole);
}

}  // namespace

RelativeFigures relative_figures(const qdx_activity& activity, Measurement& m,
                                 uint32_t thread) noexcept {
    RelativeFigures figures;
    if (const qdx_activity* parent = activity.parent.load(std::memory_order_acquire)) {
        if (const Measurement* pm = parent->measurements.find(thread)) {
            figures.cpu = percentage(load(m.elapsed_cpu), load(pm->elapsed_cpu));
            figures.clock = percentage(load(m.elapsed_clock), load(pm->elapsed_clock));
        }
    }
    store(m.relative_cpu, figures.cpu);
    store(m.relative_clock, figures.clock);
    return figures;
}

double cpu_per_run(const Measurement& m) noexcept {
    const int64_t count = load(m.count);
    return count == 0 ? 0.0 : static_cast<double>(load(m.elapsed_cpu)) / kMicroseconds / count;
}

double clock_per_run(const Measurement& m) noexcept {
    const int64_t count = load(m.count);
    return count == 0 ? 0.0 : static_cast<double>(load(m.elapsed_clock)) / count;
}

qdx_activity* known_activity(qdx_activity* activity) noexcept {
    const Profiler* p = profiler();
    return p != nullptr && p->contains(activity) ? activity : nullptr;
}

}  // namespace dirclient::profile
