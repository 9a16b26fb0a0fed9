#ifndef DIRCLIENT_IDLE_TIMER_H
#define DIRCLIENT_IDLE_TIMER_H

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// The idle timer of a server-list session: a thread that closes the session's server
// connection after a whole period without activity. It shares the session mutex, holding it
// except while it waits, so that the close never overlaps a request; activity restarts the
// countdown through ping(). The timer never outlives its session: stop() joins the thread.

namespace dirclient::ldapaccess {

class IdleTimer {
  public:
    static constexpr int kMinimumSeconds = 30;

    // "mutex" is the session mutex. "close_idle" closes the connection and "busy" tells
    // whether answers are still outstanding (a connection with answers to come is never
    // idle); both run with the mutex held. "minimum" is the shortest idle period.
    IdleTimer(std::mutex& mutex, std::function<void()> close_idle, std::function<bool()> busy,
              int minimum = kMinimumSeconds);
    ~IdleTimer();
    IdleTimer(const IdleTimer&) = delete;
    IdleTimer& operator=(const IdleTimer&) = delete;

    // With the session mutex held. Seconds >= 1 start the thread when none runs (the period
    // is at least the minimum); 0 cancels a running thread; otherwise the period changes
    // (0 with no thread records the minimum) from the thread's next wait on.
    void set_timeout(long seconds);

    // With the session mutex held: restarts the countdown of a running timer.
    void ping();

    // Ends the timer for good: "held" owns the session mutex and is released while the
    // thread is joined; it is locked again on return.
    void stop(std::unique_lock<std::mutex>& held);

    // With the session mutex held.
    bool running() const { return running_; }
    int idle_seconds() const { return idle_seconds_; }

  private:
    void run();
    unsigned thread_trace_id();

    std::mutex& mutex_;
    std::function<void()> close_idle_;
    std::function<bool()> busy_;
    const int minimum_;
    std::condition_variable cond_;  // used only with mutex_
    std::thread thread_;            // joined before a new one starts and in stop()
    bool running_ = false;          // guarded by mutex_: the thread is in its loop
    bool cancel_ = false;           // guarded by mutex_
    int idle_seconds_ = 0;          // guarded by mutex_
    unsigned long pings_ = 0;       // guarded by mutex_
};

}  // namespace dirclient::ldapaccess

#endif
