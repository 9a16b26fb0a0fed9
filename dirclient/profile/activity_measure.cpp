// Starting and stopping activities: the measuring path, run by any thread without a lock.

#include <cstdio>

#include "profile_clock.h"
#include "profile_environment.h"
#include "profile_measure.h"
#include "profiler_state.h"

using namespace dirclient::profile;

namespace {

// The clock readings of one start or stop, shared by every activity it touches and read
// only when one of them needs them.
class Stamp {
  public:
    int64_t cpu() {
        read();
        return cpu_;
    }
    int64_t wall() {
        read();
        return wall_;
    }

  private:
    void read() {
        if (read_) return;
        const ClockSource& clocks = clock_source();
        cpu_ = clocks.thread_cpu_us();
        wall_ = clocks.wall_seconds();
        read_ = true;
    }
    bool read_ = false;
    int64_t cpu_ = 0;
    int64_t wall_ = 0;
};

// Adds `change` to the running count of every activity above `activity`.
void count_running_above(const qdx_activity* activity, uint32_t thread, int64_t change) noexcept {
    for (const qdx_activity* above = activity->parent.load(std::memory_order_acquire);
         above != nullptr; above = above->parent.load(std::memory_order_acquire)) {
        if (Measurement* m = above->measurements.find(thread)) {
            const int64_t running = load(m->running_below) + change;
            store(m->running_below, running < 0 ? int64_t{0} : running);
        }
    }
}

// Stops every running activity below `activity`, then `activity` itself. Descends even
// where an activity is not running or not profiled: a stop of "ldap32" must end the run
// of a profiled call below it whether or not "ldap32" itself is profiled.
void stop_running(const qdx_activity* activity, uint32_t thread, Stamp& now) noexcept {
    Measurement* m = activity->measurements.find(thread);
    if (m == nullptr) return;
    if (load(m->running_below) > 0) {
        if (const ActivityGroup* children =
                activity->stoppable_children.load(std::memory_order_acquire)) {
            for (const qdx_activity* child : children->members) {
                stop_running(child, thread, now);
                if (load(m->running_below) == 0) break;
            }
        }
    }
    if (!m->running()) return;
    // A clock that was set back must not give negative runs.
    int64_t cpu = now.cpu() - load(m->begin_cpu);
    if (cpu < 0) cpu = 0;
    int64_t wall = now.wall() - load(m->begin_clock);
    if (wall < 0) wall = 0;
    store(m->elapsed_cpu, load(m->elapsed_cpu) + cpu);
    const int64_t runs = load(m->runs) + 1;
    store(m->runs, runs);
    // The first completed run sets both extremes, also for a composite whose runs were
    // started through its children and never counted.
    if (runs == 1 || cpu < load(m->min_cpu)) store(m->min_cpu, cpu);
    if (runs == 1 || cpu > load(m->max_cpu)) store(m->max_cpu, cpu);
    store(m->elapsed_clock, load(m->elapsed_clock) + wall);
    store(m->begin_cpu, int64_t{0});
    store(m->begin_clock, int64_t{0});
    count_running_above(activity, thread, -1);
}

// Whether siblings of a just-started activity may be running: the parent counts what
// runs below it, the activity and its own running descendants included.
bool siblings_may_run(const qdx_activity* parent, const Measurement& m, uint32_t thread) {
    if (parent == nullptr) return true;  // the top level keeps no count
    const Measurement* pm = parent->measurements.find(thread);
    return pm == nullptr || load(pm->running_below) > 1 + load(m.running_below);
}

void start_running(const qdx_activity* activity, Measurement& m, uint32_t thread, Stamp& now,
                   bool counted, bool stop_siblings) noexcept {
    if (m.running()) return;
    if (counted) store(m.count, load(m.count) + 1);
    store(m.begin_cpu, now.cpu());
    store(m.begin_clock, now.wall());
    count_running_above(activity, thread, +1);
    const qdx_activity* parent = activity->parent.load(std::memory_order_acquire);
    if (parent != nullptr && parent->profiled) {
        if (Measurement* pm = parent->measurements.find(thread)) {
            start_running(parent, *pm, thread, now, false, stop_siblings);
        }
    }
    if (!stop_siblings || !siblings_may_run(parent, m, thread)) return;
    if (const ActivityGroup* siblings =
            activity->stoppable_siblings.load(std::memory_order_acquire)) {
        for (const qdx_activity* sibling : siblings->members) {
            if (sibling != activity) stop_running(sibling, thread, now);
        }
    }
}

void start(const char* name, bool stop_siblings) noexcept {
    if (profiling_on.load(std::memory_order_relaxed) == 0 || name == nullptr) return;
    const qdx_activity* activity = name_index().find(name);
    if (activity == nullptr || !activity->profiled) return;
    int64_t thread = current_thread_number();
    if (thread < 0) {
        thread = guarded(register_current_thread);
        if (thread < 0) return;
    }
    Measurement* m = activity->measurements.find(static_cast<uint32_t>(thread));
    if (m == nullptr) {
        fputs("*** Can not create activity for thread\n", stderr);
        return;
    }
    Stamp now;
    start_running(activity, *m, static_cast<uint32_t>(thread), now, true, stop_siblings);
}

// Clears an activity before the ones below it: a start racing with the reset then leaves
// running counts too high, never too low.
int reset_subtree(qdx_activity* activity, uint32_t threads) noexcept {
    for (uint32_t thread = 0; thread < threads; ++thread) {
        Measurement* m = activity->measurements.find(thread);
        if (m == nullptr) return 1;
        m->clear();
    }
    int status = 0;
    for (qdx_activity* child = activity->first_child.load(std::memory_order_acquire);
         child != nullptr; child = child->next.load(std::memory_order_acquire)) {
        status |= reset_subtree(child, threads);
    }
    return status;
}

}  // namespace

extern "C" void qdx_start_activity(const char* name) {
    start(name, true);
}

extern "C" void qdx_begin_activity(const char* name) {
    start(name, false);
}

extern "C" void qdx_stop_activity(const char* name) {
    if (profiling_on.load(std::memory_order_relaxed) == 0 || name == nullptr) return;
    const qdx_activity* activity = name_index().find(name);
    if (activity == nullptr) return;
    if (!activity->profiled &&
        activity->stoppable_children.load(std::memory_order_relaxed) == nullptr) {
        return;
    }
    const int64_t thread = current_thread_number();
    if (thread < 0) return;
    Stamp now;
    stop_running(activity, static_cast<uint32_t>(thread), now);
}

extern "C" void qdx_start_process_clock(void) {
    process_cpu_begin.store(clock_source().process_cpu_us(), std::memory_order_relaxed);
}

extern "C" void qdx_stop_process_clock(void) {
    process_cpu_end.store(clock_source().process_cpu_us(), std::memory_order_relaxed);
}

extern "C" void qdx_profile_initial_activities(void) {
    guarded([] {
        std::lock_guard lock(profile_mutex());
        Profiler* p = profiler();
        if (p == nullptr) return;
        // Every activity lies below some top-level one, so this covers them all; the table
        // holds parents before their children.
        for (const auto& activity : p->table) {
            for (uint32_t thread = 0; thread < p->thread_count; ++thread) {
                if (Measurement* m = activity->measurements.find(thread)) m->clear();
            }
        }
    });
}

extern "C" int qdx_profile_initial_sub_activities(qdx_activity* activity) {
    return guarded([&] {
        std::lock_guard lock(profile_mutex());
        Profiler* p = profiler();
        if (p == nullptr || !p->contains(activity)) return 1;
        return reset_subtree(activity, p->thread_count);
    });
}

extern "C" void qdx_set_profile_flag(int flag) {
    profiling_on.store(flag != 0 ? 1 : 0, std::memory_order_relaxed);
}

extern "C" int qdx_profile_enabled(void) {
    return profiling_on.load(std::memory_order_relaxed);
}

extern "C" void qdx_set_profile_file(const char* path) {
    guarded([&] {
        std::lock_guard lock(profile_mutex());
        open_report_file(path);
    });
}

extern "C" unsigned qdx_profile_thread_count(void) {
    return guarded([] {
        std::lock_guard lock(profile_mutex());
        const Profiler* p = profiler();
        return p != nullptr ? p->thread_count : 0u;
    });
}

extern "C" int qdx_profile_current_thread(void) {
    return static_cast<int>(current_thread_number());
}

extern "C" void qdx_free_profile(void) {
    guarded([] {
        std::lock_guard lock(profile_mutex());
        destroy_profiler();
    });
}
