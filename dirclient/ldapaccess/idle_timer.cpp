#include "idle_timer.h"

#include <pthread.h>

#include <chrono>
#include <system_error>

#include "ldap_trace.h"

namespace dirclient::ldapaccess {

IdleTimer::IdleTimer(std::mutex& mutex, std::function<void()> close_idle,
                     std::function<bool()> busy, int minimum)
    : mutex_(mutex),
      close_idle_(std::move(close_idle)),
      busy_(std::move(busy)),
      minimum_(minimum) {}

IdleTimer::~IdleTimer() {
    // stop() has joined a running thread; a thread that ended by itself is joined here.
    if (thread_.joinable()) thread_.join();
}

unsigned IdleTimer::thread_trace_id() {
    return trace_id(reinterpret_cast<const void*>(thread_.native_handle()));
}

void IdleTimer::set_timeout(long seconds) {
    if (!running_ && seconds >= 1) {
        idle_seconds_ = seconds < minimum_ ? minimum_ : static_cast<int>(seconds);
        // A thread cancelled earlier has left its loop and released the mutex.
        if (thread_.joinable()) thread_.join();
        cancel_ = false;
        running_ = true;
        try {
            thread_ = std::thread(&IdleTimer::run, this);
            trace(kTraceSession, "Started timer (%x)\n", thread_trace_id());
        } catch (const std::system_error&) {
            running_ = false;
            trace(kTraceSession, "Error creating timer thread\n");
        }
    } else if (running_ && seconds == 0) {
        trace(kTraceSession, "Cancelling timer (%x)\n", thread_trace_id());
        cancel_ = true;
        cond_.notify_all();
    } else {
        idle_seconds_ = seconds < minimum_ ? minimum_ : static_cast<int>(seconds);
        // A new positive time-out withdraws a cancellation the thread has not seen yet.
        if (running_ && seconds > 0) cancel_ = false;
    }
}

void IdleTimer::ping() {
    if (!running_) return;
    trace(kTraceSession, "Pinging timer (%x)\n", thread_trace_id());
    ++pings_;
    cond_.notify_all();
}

void IdleTimer::stop(std::unique_lock<std::mutex>& held) {
    if (running_) {
        trace(kTraceSession, "Unbind - cancelling timer (%x)\n", thread_trace_id());
        cancel_ = true;
        cond_.notify_all();
    }
    if (!thread_.joinable()) return;
    std::thread finishing = std::move(thread_);
    held.unlock();
    finishing.join();
    held.lock();
}

void IdleTimer::run() {
    unsigned id = trace_id(reinterpret_cast<const void*>(pthread_self()));
    std::unique_lock<std::mutex> lock(mutex_);
    trace(kTraceSession, "Starting %i second idle timer %x\n", idle_seconds_, id);
    while (!cancel_) {
        auto deadline = std::chrono::system_clock::now() + std::chrono::seconds(idle_seconds_);
        trace(kTraceSession, "Timer (%x) waiting for %i seconds\n", id, idle_seconds_);
        unsigned long seen = pings_;
        bool woken = cond_.wait_until(lock, deadline, [&] { return cancel_ || pings_ != seen; });
        if (cancel_) break;
        if (woken) {
            trace(kTraceSession, "Timer (%x) signalled\n", id);
            continue;
        }
        if (busy_()) continue;  // answers are still to come: the connection is in use
        trace(kTraceSession, "Timer (%x) has expired, closing idle connection\n", id);
        close_idle_();
        seen = pings_;
        cond_.wait(lock, [&] { return cancel_ || pings_ != seen; });
    }
    trace(kTraceSession, "Timer (%x) cancelled ...\n", id);
    running_ = false;
}

}  // namespace dirclient::ldapaccess
