// Reports of selected figures, and the single figures they are made of.

#include <string>

#include "profile_report.h"
#include "profile_text.h"
#include "report_figures.h"

using namespace dirclient::profile;

namespace {

constexpr int kFigureBits[] = {
    QDX_REPORT_CPU_TOTAL,     QDX_REPORT_CPU_RELATIVE,     QDX_REPORT_CPU_UNIT,
    QDX_REPORT_ELAPSED_TOTAL, QDX_REPORT_ELAPSED_RELATIVE, QDX_REPORT_ELAPSED_UNIT,
    QDX_REPORT_COUNT,         QDX_REPORT_DESCRIPTION};

const char* label_of(int figure) {
    switch (figure) {
        case QDX_REPORT_CPU_TOTAL:
            return "\nCPU total time: ";
        case QDX_REPORT_CPU_RELATIVE:
            return "\nCPU relative time: ";
        case QDX_REPORT_CPU_UNIT:
            return "\nCPU time per unit: ";
        case QDX_REPORT_ELAPSED_TOTAL:
            return "\nelapsed time: ";
        case QDX_REPORT_ELAPSED_RELATIVE:
            return "\nelapsed relative time: ";
        case QDX_REPORT_ELAPSED_UNIT:
            return "\nelapsed time per unit: ";
        case QDX_REPORT_COUNT:
            return "\ncount: ";
        default:
            return "\ndescription: ";
    }
}

// Appends one figure after its label or a space; false (nothing appended) when the thread
// has no measurement of the activity. The description needs none.
bool append_figure(std::string& out, const qdx_activity& activity, int figure, bool labels,
                   uint32_t thread) {
    Measurement* m = nullptr;
    if (figure != QDX_REPORT_DESCRIPTION) {
        m = activity.measurements.find(thread);
        if (m == nullptr) return false;
    }
    out += labels ? label_of(figure) : " ";
    switch (figure) {
        case QDX_REPORT_CPU_TOTAL:
            appendf(out, "%7.3fs", load(m->elapsed_cpu) / kMicroseconds);
            break;
        case QDX_REPORT_CPU_RELATIVE:
            appendf(out, "%.2f%%", relative_figures(activity, *m, thread).cpu);
            break;
        case QDX_REPORT_CPU_UNIT:
            appendf(out, "%.3fs/unit min: %.3fs/op max: %.3fs/op", cpu_per_run(*m),
                    load(m->min_cpu) / kMicroseconds, load(m->max_cpu) / kMicroseconds);
            break;
        case QDX_REPORT_ELAPSED_TOTAL:
            appendf(out, "%llds", static_cast<long long>(load(m->elapsed_clock)));
            break;
        case QDX_REPORT_ELAPSED_RELATIVE:
            appendf(out, "%.2f%%", relative_figures(activity, *m, thread).clock);
            break;
        case QDX_REPORT_ELAPSED_UNIT:
            appendf(out, "%7.3fs/unit", clock_per_run(*m));
            break;
        case QDX_REPORT_COUNT:
            appendf(out, "%lld", static_cast<long long>(load(m->count)));
            break;
        default:
            out += activity.description;
    }
    return true;
}

void activity_only(std::string& out, const qdx_activity& activity, int selection, bool labels,
                   uint32_t thread) {
    for (int figure : kFigureBits) {
        if ((selection & figure) != 0) append_figure(out, activity, figure, labels, thread);
    }
}

void thread_report(std::string& out, const qdx_activity& activity, int selection,
                   int component_selection, bool labels, uint32_t thread);

// Every child with its own report, component selection applying all the way down.
void components(std::string& out, const qdx_activity& activity, int selection, uint32_t thread) {
    for (const qdx_activity* child = activity.first_child.load(std::memory_order_acquire);
         child != nullptr; child = child->next.load(std::memory_order_acquire)) {
        out += "\nactivity: ";
        out += child->name;
        thread_report(out, *child, selection, selection, true, thread);
    }
}

void thread_report(std::string& out, const qdx_activity& activity, int selection,
                   int component_selection, bool labels, uint32_t thread) {
    if (selection != 0) activity_only(out, activity, selection, labels, thread);
    if (component_selection != 0) components(out, activity, component_selection, thread);
}

// Runs `build` on a known activity under the mutex and hands its text out; null for an
// unknown activity.
template <class Build>
char* report_on(qdx_activity* activity, Build&& build) {
    return guarded([&]() -> char* {
        std::lock_guard lock(profile_mutex());
        if (known_activity(activity) == nullptr) return nullptr;
        std::string out;
        build(out, *activity, *profiler());
        return hand_out(out);
    });
}

char* single_figure(qdx_activity* activity, int figure, int labels, unsigned thread) {
    return guarded([&]() -> char* {
        std::lock_guard lock(profile_mutex());
        if (known_activity(activity) == nullptr) return nullptr;
        std::string out;
        if (!append_figure(out, *activity, figure, labels != 0, thread)) return nullptr;
        return hand_out(out);
    });
}

}  // namespace

extern "C" char* qdx_profile_report(const char* name, int selection, int component_selection,
                                    int labels) {
    qdx_activity* activity = qdx_activity_named(name);
    if (activity == nullptr) return nullptr;
    return report_on(activity, [&](std::string& out, const qdx_activity& a, const Profiler& p) {
        for (uint32_t thread = 0; thread < p.thread_count; ++thread) {
            appendf(out, "\n\tThread %u: ", thread);
            thread_report(out, a, selection, component_selection, labels != 0, thread);
        }
    });
}

extern "C" char* qdx_thread_report(qdx_activity* activity, int selection, int component_selection,
                                   int labels, unsigned thread) {
    return report_on(activity, [&](std::string& out, const qdx_activity& a, const Profiler&) {
        thread_report(out, a, selection, component_selection, labels != 0, thread);
    });
}

extern "C" char* qdx_profile_report_activity_only(qdx_activity* activity, int selection, int labels,
                                                  unsigned thread) {
    return report_on(activity, [&](std::string& out, const qdx_activity& a, const Profiler&) {
        activity_only(out, a, selection, labels != 0, thread);
    });
}

extern "C" char* qdx_components_only(qdx_activity* activity, int selection, unsigned thread) {
    return report_on(activity, [&](std::string& out, const qdx_activity& a, const Profiler&) {
        components(out, a, selection, thread);
    });
}

extern "C" char* qdx_profile_report_components_only(qdx_activity* activity, int selection) {
    return report_on(activity, [&](std::string& out, const qdx_activity& a, const Profiler& p) {
        for (uint32_t thread = 0; thread < p.thread_count; ++thread) {
            appendf(out, "Thread: %u\n", thread);
            components(out, a, selection, thread);
        }
    });
}

extern "C" char* qdx_profile_cpu_total_for(qdx_activity* activity, int labels, unsigned thread) {
    return single_figure(activity, QDX_REPORT_CPU_TOTAL, labels, thread);
}

extern "C" char* qdx_profile_cpu_relative_for(qdx_activity* activity, int labels, unsigned thread) {
    return single_figure(activity, QDX_REPORT_CPU_RELATIVE, labels, thread);
}

extern "C" char* qdx_profile_cpu_unit_for(qdx_activity* activity, int labels, unsigned thread) {
    return single_figure(activity, QDX_REPORT_CPU_UNIT, labels, thread);
}

extern "C" char* qdx_profile_elapsed_total_for(qdx_activity* activity, int labels,
                                               unsigned thread) {
    return single_figure(activity, QDX_REPORT_ELAPSED_TOTAL, labels, thread);
}

extern "C" char* qdx_profile_elapsed_relative_for(qdx_activity* activity, int labels,
                                                  unsigned thread) {
    return single_figure(activity, QDX_REPORT_ELAPSED_RELATIVE, labels, thread);
}

extern "C" char* qdx_profile_elapsed_unit_for(qdx_activity* activity, int labels, unsigned thread) {
    return single_figure(activity, QDX_REPORT_ELAPSED_UNIT, labels, thread);
}

extern "C" char* qdx_profile_count_for(qdx_activity* activity, int labels, unsigned thread) {
    return single_figure(activity, QDX_REPORT_COUNT, labels, thread);
}

extern "C" char* qdx_profile_description_for(qdx_activity* activity, int labels) {
    return single_figure(activity, QDX_REPORT_DESCRIPTION, labels, 0);
}
