#ifndef DIRCLIENT_PROFILE_TEST_SUPPORT_H
#define DIRCLIENT_PROFILE_TEST_SUPPORT_H

// Shared by the profiler's tests: a fresh profiler per test, clocks that move only when a
// test says so, and helpers for the texts the profiler hands out.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "profile_activity.h"
#include "profile_clock.h"
#include "profile_measure.h"
#include "profile_report.h"
#include "profiler_state.h"

namespace profile_test {

// Each thread has its own processor clock, as with the system clocks. The wall clock
// starts far from 0: a measurement whose begin readings are both 0 is not running.
struct FakeClocks {
    static inline thread_local int64_t thread_cpu = 1000;
    static inline std::atomic<int64_t> process_cpu{500};
    static inline std::atomic<int64_t> wall{100000};

    static int64_t read_thread_cpu() { return thread_cpu; }
    static int64_t read_process_cpu() { return process_cpu.load(); }
    static int64_t read_wall() { return wall.load(); }

    // Moves the calling thread's processor clock and the wall clock forward.
    static void advance(int64_t cpu_us, int64_t wall_s = 0) {
        thread_cpu += cpu_us;
        wall += wall_s;
    }
};

inline const dirclient::profile::ClockSource kFakeClocks{
    FakeClocks::read_thread_cpu, FakeClocks::read_process_cpu, FakeClocks::read_wall};

inline void clear_profile_environment() {
    for (const char* name : {"QDX_PROFILE", "QDX_PROFILE_ACTIVITIES", "QDX_PROFILE_REPORT_CPU",
                             "QDX_PROFILE_REPORT_ELAPSED", "QDX_PROFILE_REPORT_COUNT",
                             "QDX_PROFILE_REPORT_DESCRIPTION", "QDX_PROFILE_FILE"}) {
        unsetenv(name);
    }
}

// Copies a handed-out text and releases it; null reads "<null>".
inline std::string take(char* text) {
    if (text == nullptr) return "<null>";
    std::string copy(text);
    qdx_profile_memfree(text);
    return copy;
}

// The calling thread's figures of an activity, or null.
inline dirclient::profile::Measurement* measurement(const char* name, int thread = 0) {
    qdx_activity* activity = qdx_activity_named(name);
    return activity == nullptr ? nullptr
                               : activity->measurements.find(static_cast<uint32_t>(thread));
}

inline int64_t count_of(const char* name, int thread = 0) {
    auto* m = measurement(name, thread);
    return m == nullptr ? -1 : dirclient::profile::load(m->count);
}

inline bool is_running(const char* name, int thread = 0) {
    auto* m = measurement(name, thread);
    return m != nullptr && m->running();
}

class ProfilerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qdx_free_profile();
        clear_profile_environment();
        FakeClocks::thread_cpu = 1000;
        FakeClocks::process_cpu = 500;
        FakeClocks::wall = 100000;
        dirclient::profile::set_clock_source_for_testing(&kFakeClocks);
    }
    void TearDown() override {
        qdx_free_profile();
        clear_profile_environment();
        dirclient::profile::set_clock_source_for_testing(nullptr);
    }

    // Switches profiling on for the next first declaration, profiling `activities`.
    static void profile(const char* activities) {
        setenv("QDX_PROFILE", "on", 1);
        setenv("QDX_PROFILE_ACTIVITIES", activities, 1);
    }

    // Every figure of the statistics trees.
    static void report_everything() {
        setenv("QDX_PROFILE_REPORT_CPU", "all", 1);
        setenv("QDX_PROFILE_REPORT_ELAPSED", "absolute,relative,unit", 1);
        setenv("QDX_PROFILE_REPORT_COUNT", "", 1);
        setenv("QDX_PROFILE_REPORT_DESCRIPTION", "yes", 1);
    }

    // "app" { "ldap32" { "ldap_add", "ldap_search" }, "parse" }
    static void declare_small_tree() {
        qdx_create_composite_activity("app", "the application");
        qdx_create_composite_activity("ldap32", "LDAP calls");
        qdx_create_atomic_activity("ldap_add", "add an entry");
        qdx_create_atomic_activity("ldap_search", "search entries");
        qdx_end_composite_activity();
        qdx_create_atomic_activity("parse", "parse input");
        qdx_end_composite_activity();
    }

    // The small tree with every activity profiled.
    static void profile_small_tree() {
        profile("all");
        declare_small_tree();
    }
};

}  // namespace profile_test

#endif
