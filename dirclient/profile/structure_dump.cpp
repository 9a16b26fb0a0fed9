// The debugging dump of the activity tree.

#include <cinttypes>
#include <cstdio>
#include <string>

#include "profile_report.h"
#include "profile_text.h"
#include "report_figures.h"

using namespace dirclient::profile;

namespace {

intmax_t address_of(const qdx_activity* activity) {
    return static_cast<intmax_t>(reinterpret_cast<intptr_t>(activity));
}

// Whole-number percentage; 0 where the parent's figure is 0 rather than a division by it.
int64_t whole_percentage(int64_t part, int64_t whole) {
    return whole == 0 ? 0 : part * 100 / whole;
}

void dump(const qdx_activity& activity, int indent, uint32_t thread) {
    const std::string pad = indentation(indent);
    const char* in = pad.c_str();
    if (Measurement* m = activity.measurements.find(thread)) {
        const qdx_activity* parent = activity.parent.load(std::memory_order_acquire);
        const Measurement* pm = parent != nullptr ? parent->measurements.find(thread) : nullptr;
        const auto relative_cpu = static_cast<double>(
            pm != nullptr ? whole_percentage(load(m->elapsed_cpu), load(pm->elapsed_cpu)) : 0);
        const auto relative_clock = static_cast<double>(
            pm != nullptr ? whole_percentage(load(m->elapsed_clock), load(pm->elapsed_clock)) : 0);
        store(m->relative_cpu, relative_cpu);
        store(m->relative_clock, relative_clock);
        printf("%s=== name: %s\n", in, activity.name.c_str());
        printf("%s=== address:\t%jd\n", in, address_of(&activity));
        printf("%s=== previous: %jd\n", in,
               address_of(activity.previous.load(std::memory_order_acquire)));
        printf("%s=== next: %jd\n", in, address_of(activity.next.load(std::memory_order_acquire)));
        printf("%s=== parent:\t%jd\n", in, address_of(parent));
        printf("%s=== count:\t%lld\n", in, static_cast<long long>(load(m->count)));
        printf("%s=== begin_CPU:\t%lld\n", in, static_cast<long long>(load(m->begin_cpu)));
        printf("%s=== end_CPU:\t%lld\n", in, static_cast<long long>(load(m->end_cpu)));
        printf("%s=== elapsed_CPU:\t%f seconds\n", in, load(m->elapsed_cpu) / kMicroseconds);
        printf("%s=== min_CPU:\t%f seconds\n", in, load(m->min_cpu) / kMicroseconds);
        printf("%s=== max_CPU:\t%f seconds\n", in, load(m->max_cpu) / kMicroseconds);
        printf("%s=== relative_CPU: %2.2f%%\n", in, relative_cpu);
        printf("%s=== begin_clock:\t%lld\n", in, static_cast<long long>(load(m->begin_clock)));
        printf("%s=== end_clock:\t%lld\n", in, static_cast<long long>(load(m->end_clock)));
        printf("%s=== elapsed_clock:\t%f seconds\n", in,
               static_cast<double>(load(m->elapsed_clock)));
        printf("%s=== relative_clock:\t%2.2f%%\n", in, relative_clock);
        printf("%s=== description: %s\n", in, activity.description.c_str());
    }
    for (const qdx_activity* child = activity.first_child.load(std::memory_order_acquire);
         child != nullptr; child = child->next.load(std::memory_order_acquire)) {
        dump(*child, indent + 2, thread);
    }
}

}  // namespace

extern "C" void qdx_trace_activity_structure(qdx_activity* activity, int indent, unsigned thread) {
    guarded([&] {
        std::lock_guard lock(profile_mutex());
        if (known_activity(activity) == nullptr) {
            fprintf(stderr, "*** incorrect activity structure address %jd\n", address_of(activity));
            return;
        }
        dump(*activity, caller_indent(indent), thread);
        fflush(stdout);
    });
}
