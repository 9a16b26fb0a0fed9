// The statistics trees, the process summary and the report stream.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "profile_clock.h"
#include "profile_report.h"
#include "profile_text.h"
#include "report_figures.h"

using namespace dirclient::profile;

namespace {

bool any_cpu_figure(const ReportSwitches& s) {
    return s.cpu_absolute || s.cpu_relative || s.cpu_unit;
}

bool any_elapsed_figure(const ReportSwitches& s) {
    return s.elapsed_absolute || s.elapsed_relative || s.elapsed_unit;
}

void own_line(std::string& out, const ReportSwitches& s, const qdx_activity& activity,
              const Measurement& m, const RelativeFigures& relative, int indent) {
    out += indentation(indent);
    out += activity.name;
    if (any_cpu_figure(s)) out += " CPU:";
    if (s.cpu_absolute) appendf(out, " %.3fs", load(m.elapsed_cpu) / kMicroseconds);
    if (s.cpu_relative) appendf(out, " (%.2f%%)", relative.cpu);
    if (s.cpu_unit) {
        appendf(out, " %.3fs/unit", cpu_per_run(m));
        appendf(out, " min: %.3fs/op", load(m.min_cpu) / kMicroseconds);
        appendf(out, " max: %.3fs/op", load(m.max_cpu) / kMicroseconds);
    }
    if (any_elapsed_figure(s)) out += " elapsed:";
    if (s.elapsed_absolute) appendf(out, " %llds", static_cast<long long>(load(m.elapsed_clock)));
    if (s.elapsed_relative) appendf(out, " (%.2f%%)", relative.clock);
    if (s.elapsed_unit) appendf(out, " %.3fs/unit", clock_per_run(m));
    if (s.count) appendf(out, " count: %lld", static_cast<long long>(load(m.count)));
    if (s.description) {
        out += "\n\t\t\t";
        out += activity.description;
    }
    out += "\n";
}

void statistics_tree(std::string& out, const Profiler& p, const qdx_activity& activity, bool force,
                     int indent, uint32_t thread) {
    Measurement* m = activity.measurements.find(thread);
    if (m == nullptr) {
        out += indentation(indent);
        out += activity.name;
        out += ": no activity\n";
        return;
    }
    const RelativeFigures relative = relative_figures(activity, *m, thread);
    if (activity.profiled || force) {
        own_line(out, p.report, activity, *m, relative, indent);
    } else {
        out += "\n";
    }
    for (const qdx_activity* child = activity.first_child.load(std::memory_order_acquire);
         child != nullptr; child = child->next.load(std::memory_order_acquire)) {
        statistics_tree(out, p, *child, child->profiled || force, indent + 2, thread);
    }
}

// The named activity for the statistics reports, or null after the message.
const qdx_activity* statistics_activity(const char* name) {
    const qdx_activity* activity = name != nullptr ? name_index().find(name) : nullptr;
    if (activity == nullptr) {
        fprintf(stderr, "*** invalid activity name \"%s\" in activity_statistics macro\n",
                name != nullptr ? name : "(null)");
    }
    return activity;
}

struct ActivityTotals {
    int64_t count = 0;
    int threads = 0;
    int64_t cpu = 0;
    int64_t elapsed = 0;
    int64_t min_cpu = 0;
    int64_t max_cpu = 0;
};

ActivityTotals totals_of(const qdx_activity& activity, uint32_t threads) {
    ActivityTotals totals;
    for (uint32_t thread = 0; thread < threads; ++thread) {
        const Measurement* m = activity.measurements.find(thread);
        if (m == nullptr) continue;
        const int64_t count = load(m->count);
        totals.count += count;
        totals.cpu += load(m->elapsed_cpu);
        totals.elapsed += load(m->elapsed_clock);
        if (count == 0) continue;
        const bool first = totals.threads++ == 0;
        if (first || load(m->min_cpu) < totals.min_cpu) totals.min_cpu = load(m->min_cpu);
        if (first || load(m->max_cpu) > totals.max_cpu) totals.max_cpu = load(m->max_cpu);
    }
    return totals;
}

std::string process_summary() {
    std::string out = "Total threads:\n";
    const Profiler* p = profiler();
    int64_t all_counts = 0;
    if (p != nullptr) {
        for (const auto& activity : p->table) {
            const ActivityTotals t = totals_of(*activity, p->thread_count);
            all_counts += t.count;
            const double cpu = t.cpu / kMicroseconds;
            const double unit = t.count == 0 ? 0.0 : cpu / static_cast<double>(t.count);
            appendf(out,
                    "  %s:\n\tcount: %lld\n\tthreads: %i\n\tCPU: %.3fs\n\telapsed: %llds\n"
                    "\tmin time: %.3f s/op\n\tunit time: %.3f s/unit\n\tmax time: %.3f s/op\n"
                    "\toperations: %.2f op/s\n",
                    activity->name.c_str(), static_cast<long long>(t.count), t.threads, cpu,
                    static_cast<long long>(t.elapsed), t.min_cpu / kMicroseconds, unit,
                    t.max_cpu / kMicroseconds, unit == 0.0 ? 0.0 : 1.0 / unit);
        }
    }
    const int64_t begin = process_cpu_begin.load(std::memory_order_relaxed);
    int64_t end = process_cpu_end.load(std::memory_order_relaxed);
    if (begin != 0 || end != 0) {
        // A clock started but not stopped (yet) runs until now, not to a negative total.
        if (end < begin || end == 0) end = clock_source().process_cpu_us();
        const double total = (end - begin) / kMicroseconds;
        appendf(out, "\nTotal CPU process time: %7.3fs, average unit time: %7.3fs/unit\n\n", total,
                all_counts == 0 ? 0.0 : total / static_cast<double>(all_counts));
    }
    return out;
}

}  // namespace

extern "C" void qdx_display_activity_statistics(const char* name) {
    guarded([&] {
        std::lock_guard lock(profile_mutex());
        if (profiling_on.load(std::memory_order_relaxed) == 0) return;
        const qdx_activity* activity = statistics_activity(name);
        if (activity == nullptr) return;
        const Profiler* p = profiler();  // present: it holds the activity
        FILE* out = report_stream().get();
        for (uint32_t thread = 0; thread < p->thread_count; ++thread) {
            std::string tree;
            statistics_tree(tree, *p, *activity, p->profiled_names.all(), 0, thread);
            fprintf(out, "Thread %u\n", thread);
            fputs(tree.c_str(), out);
            fputs("\n", out);
        }
        fputs(process_summary().c_str(), out);
        fputs("\n", out);
        fflush(out);
    });
}

extern "C" char* qdx_get_statistics_report_for(const char* name) {
    return guarded([&]() -> char* {
        std::lock_guard lock(profile_mutex());
        if (profiling_on.load(std::memory_order_relaxed) == 0) return nullptr;
        const qdx_activity* activity = statistics_activity(name);
        if (activity == nullptr) return nullptr;
        const Profiler* p = profiler();
        std::string out;
        for (uint32_t thread = 0; thread < p->thread_count; ++thread) {
            appendf(out, "Thread %u\n", thread);
            statistics_tree(out, *p, *activity, p->profiled_names.all(), 0, thread);
        }
        return hand_out(out);
    });
}

extern "C" char* qdx_get_statistics_string(qdx_activity* activity, int force, int indent,
                                           unsigned thread) {
    return guarded([&]() -> char* {
        std::lock_guard lock(profile_mutex());
        if (known_activity(activity) == nullptr) return nullptr;
        std::string out;
        statistics_tree(out, *profiler(), *activity, force != 0, caller_indent(indent), thread);
        return hand_out(out);
    });
}

extern "C" char* global_thread_report(void) {
    return guarded([] {
        std::lock_guard lock(profile_mutex());
        return hand_out(process_summary());
    });
}

extern "C" void qdx_flush_statistics(void) {
    guarded([] {
        std::lock_guard lock(profile_mutex());
        ReportStream& report = report_stream();
        // Standard output is flushed, never closed: later reports still go there.
        if (report.stream != nullptr && report.stream != stdout) {
            fclose(report.stream);
        } else {
            fflush(stdout);
        }
        report.stream = nullptr;
        if (report.path.empty()) {
            if (const char* path = getenv("QDX_PROFILE_FILE")) report.path = path;
        }
        if (!report.path.empty()) report.stream = fopen(report.path.c_str(), "a");
        if (report.stream == nullptr) report.stream = stdout;
    });
}

extern "C" void qdx_profile_memfree(char* text) {
    free(text);
}
