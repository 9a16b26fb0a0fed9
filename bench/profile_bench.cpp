// Cost of a start/stop pair as the LDAP wrappers make it: start the call's activity, stop
// "ldap32". Profiling off; on with nothing profiled; on with everything profiled (system
// clocks, and a free clock that leaves only the profiler's own work); on with only the
// call profiled. The clock floor is what the two clock readings of a profiled pair cost
// by themselves.
//
//   build/release/bin/profile_bench --benchmark_min_time=0.2

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

#include <dirclient/ldap_call_activities.h>
#include <dirclient/profile_activity.h>
#include <dirclient/profile_measure.h>
#include "profile_clock.h"

namespace {

namespace profile = dirclient::profile;

thread_local int64_t free_ticks = 1;
int64_t free_clock() {
    return ++free_ticks;
}
const profile::ClockSource kFreeClocks{free_clock, free_clock, free_clock};

// A fresh profiler over the LDAP tree, profiling `activities`.
void declare(const char* activities, bool on, const profile::ClockSource* clocks) {
    qdx_free_profile();
    setenv("QDX_PROFILE", "on", 1);
    setenv("QDX_PROFILE_ACTIVITIES", activities, 1);
    qdx_create_composite_activity("application", nullptr);
    qdx_create_composite_activity("ldap32", nullptr);
    for (const char* call : qdx_ldap_call_activities)
        qdx_create_atomic_activity(call, nullptr);
    qdx_end_composite_activity();
    qdx_end_composite_activity();
    qdx_set_profile_flag(on ? 1 : 0);
    profile::set_clock_source_for_testing(clocks);
}

void off(const benchmark::State&) {
    declare("all", false, nullptr);
}
void not_profiled(const benchmark::State&) {
    declare("nothing_here", true, nullptr);
}
void profiled(const benchmark::State&) {
    declare("all", true, nullptr);
}
void profiled_free_clock(const benchmark::State&) {
    declare("all", true, &kFreeClocks);
}
void call_only(const benchmark::State&) {
    declare("ldap_search_s", true, nullptr);
}

void pair(benchmark::State& state) {
    for (auto _ : state) {
        qdx_start_activity("ldap_search_s");
        qdx_stop_activity("ldap32");
    }
}

void clock_floor(benchmark::State& state) {
    timespec cpu{};
    for (auto _ : state) {
        for (int i = 0; i < 2; ++i) {
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
            benchmark::DoNotOptimize(cpu);
            benchmark::DoNotOptimize(time(nullptr));
        }
    }
}

#define PAIR(label, setup) \
    BENCHMARK(pair)->Name(label)->Setup(setup)->Threads(1)->Threads(2)->UseRealTime()

PAIR("pair/off", off);
PAIR("pair/on_not_profiled", not_profiled);
PAIR("pair/on_profiled", profiled);
PAIR("pair/on_profiled_free_clock", profiled_free_clock);
PAIR("pair/on_call_only_profiled", call_only);
BENCHMARK(clock_floor)->Name("clock_floor")->Threads(1)->Threads(2)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
