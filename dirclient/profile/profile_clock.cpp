#include "profile_clock.h"

#include <atomic>
#include <ctime>

namespace dirclient::profile {
namespace {

int64_t read_cpu_clock(clockid_t id) {
    timespec now{};
    if (clock_gettime(id, &now) != 0) return 0;
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// Per-thread processor time: the process clock would charge a thread's activity with the
// work of every other thread running meanwhile.
int64_t system_thread_cpu() {
    return read_cpu_clock(CLOCK_THREAD_CPUTIME_ID);
}
int64_t system_process_cpu() {
    return read_cpu_clock(CLOCK_PROCESS_CPUTIME_ID);
}
int64_t system_wall() {
    return static_cast<int64_t>(time(nullptr));
}

constexpr ClockSource kSystemClocks{system_thread_cpu, system_process_cpu, system_wall};

std::atomic<const ClockSource*> current{&kSystemClocks};

}  // namespace

const ClockSource& clock_source() noexcept {
    return *current.load(std::memory_order_acquire);
}

void set_clock_source_for_testing(const ClockSource* source) noexcept {
    current.store(source ? source : &kSystemClocks, std::memory_order_release);
}

}  // namespace dirclient::profile
