#include "profiler_state.h"

#include <algorithm>

#include "profile_activity.h"
#include "profile_environment.h"
#include "profile_measure.h"

namespace dirclient::profile {

std::atomic<int> profiling_on{0};
std::atomic<int64_t> process_cpu_begin{0};
std::atomic<int64_t> process_cpu_end{0};

namespace {

std::mutex mutex;
std::atomic<Profiler*> current{nullptr};
ReportStream report;
ActivityNameIndex index;

// Bumped by every release, so that threads numbered by an earlier profiler register again.
std::atomic<uint32_t> generation{1};

// The calling thread's number under `generation`; trivially destructible so that the
// measuring path reads it without a thread-exit check.
struct ThreadNumber {
    uint32_t generation = 0;
    uint32_t number = 0;
};
thread_local ThreadNumber this_thread;

// Hands the number back when the thread exits, so that a process that keeps starting
// short-lived threads does not grow every measurement list without bound.
struct ThreadExit {
    uint32_t generation = 0;
    uint32_t number = 0;
    ~ThreadExit();
};
thread_local ThreadExit this_thread_exit;

void release_thread_number(Profiler& p, uint32_t number) {
    for (const auto& activity : p.table) {
        // A run cut short by the thread's end must not look running to its successor.
        if (Measurement* m = activity->measurements.find(number)) {
            store(m->begin_cpu, int64_t{0});
            store(m->begin_clock, int64_t{0});
            store(m->running_below, int64_t{0});
        }
    }
    p.free_threads.insert(number);
}

ThreadExit::~ThreadExit() {
    if (generation == 0) return;
    guarded([this] {
        std::lock_guard lock(mutex);
        Profiler* p = current.load(std::memory_order_relaxed);
        if (p != nullptr && generation == dirclient::profile::generation.load()) {
            release_thread_number(*p, number);
        }
    });
}

// Under the mutex.
uint32_t assign_thread_number(Profiler& p) {
    uint32_t number;
    if (!p.free_threads.empty()) {
        number = *p.free_threads.begin();
    } else {
        if (p.thread_count >= MeasurementList::kMaxThreads) throw std::bad_alloc();
        number = p.thread_count;
        for (const auto& activity : p.table)
            activity->measurements.grow_to(number + 1);
        ++p.thread_count;
    }
    p.free_threads.erase(number);
    const uint32_t gen = generation.load(std::memory_order_relaxed);
    this_thread = {gen, number};
    this_thread_exit.generation = gen;
    this_thread_exit.number = number;
    return number;
}

void release_at_exit() {
    qdx_free_profile();
}

}  // namespace

std::mutex& profile_mutex() noexcept {
    return mutex;
}

ReportStream& report_stream() noexcept {
    return report;
}

Profiler* profiler() noexcept {
    return current.load(std::memory_order_acquire);
}

ActivityNameIndex& name_index() noexcept {
    return index;
}

Profiler& create_profiler() {
    static std::once_flag at_exit;
    std::call_once(at_exit, [] { atexit(release_at_exit); });
    auto p = std::make_unique<Profiler>();
    p->table.reserve(100);
    index.clear();
    read_profile_environment(*p);
    assign_thread_number(*p);
    current.store(p.get(), std::memory_order_release);
    return *p.release();
}

void destroy_profiler() noexcept {
    if (report.stream != nullptr && report.stream != stdout) fclose(report.stream);
    report.stream = nullptr;
    report.path.clear();
    Profiler* p = current.load(std::memory_order_relaxed);
    if (p == nullptr) return;
    profiling_on.store(0, std::memory_order_relaxed);
    current.store(nullptr, std::memory_order_release);
    index.clear();
    generation.fetch_add(1, std::memory_order_relaxed);
    process_cpu_begin.store(0, std::memory_order_relaxed);
    process_cpu_end.store(0, std::memory_order_relaxed);
    delete p;
}

int64_t current_thread_number() noexcept {
    const ThreadNumber mine = this_thread;
    if (mine.generation != generation.load(std::memory_order_relaxed)) return -1;
    return mine.number;
}

int64_t register_current_thread() {
    std::lock_guard lock(mutex);
    Profiler* p = current.load(std::memory_order_relaxed);
    if (p == nullptr) return -1;
    const int64_t known = current_thread_number();
    return known >= 0 ? known : assign_thread_number(*p);
}

void add_thread_measurements(Profiler& p, qdx_activity& activity) {
    activity.measurements.grow_to(p.thread_count);
}

bool Profiler::contains(const qdx_activity* activity) const noexcept {
    // Compares addresses only: the caller's pointer may be anything.
    return std::any_of(table.begin(), table.end(),
                       [&](const auto& known) { return known.get() == activity; });
}

ProfiledNames::Add ProfiledNames::add(std::string_view name) {
    if (all_) return Add::ignored_after_all;
    if (same_name(name, "all")) {
        all_ = true;
        return Add::all;
    }
    if (names_.size() >= kMaxProfiledNames) return Add::too_many;
    names_.emplace_back(name);
    return Add::added;
}

bool ProfiledNames::contains(std::string_view name) const noexcept {
    return all_ || std::any_of(names_.begin(), names_.end(),
                               [&](const std::string& n) { return same_name(n, name); });
}

}  // namespace dirclient::profile
