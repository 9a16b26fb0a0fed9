#include "idle_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace dirclient::ldapaccess {
namespace {

using namespace std::chrono_literals;

// The timer's protocol with a one-second minimum in place of the product's thirty.
class IdleTimerTest : public ::testing::Test {
  protected:
    std::mutex mutex;
    std::atomic<int> closes{0};
    std::atomic<bool> busy{false};
    IdleTimer timer{mutex, [this] { ++closes; }, [this] { return busy.load(); }, 1};

    void set(long seconds) {
        std::lock_guard<std::mutex> lock(mutex);
        timer.set_timeout(seconds);
    }
    void ping() {
        std::lock_guard<std::mutex> lock(mutex);
        timer.ping();
    }
    bool running() {
        std::lock_guard<std::mutex> lock(mutex);
        return timer.running();
    }
    void stop() {
        std::unique_lock<std::mutex> lock(mutex);
        timer.stop(lock);
    }
};

TEST_F(IdleTimerTest, ClosesOnceAfterAnIdlePeriodAndWaitsForActivity) {
    set(1);
    std::this_thread::sleep_for(2500ms);
    EXPECT_EQ(closes, 1) << "after closing, it waits for the next activity";
    ping();
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(closes, 2);
    stop();
    EXPECT_FALSE(running());
}

TEST_F(IdleTimerTest, PingsRestartTheCountdown) {
    set(1);
    for (int i = 0; i < 6; ++i) {
        std::this_thread::sleep_for(400ms);
        ping();
    }
    EXPECT_EQ(closes, 0);
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(closes, 1);
    stop();
}

TEST_F(IdleTimerTest, NeverClosesWhileAnswersAreOutstanding) {
    busy = true;
    set(1);
    std::this_thread::sleep_for(2200ms);
    EXPECT_EQ(closes, 0);
    busy = false;
    std::this_thread::sleep_for(1200ms);
    EXPECT_EQ(closes, 1);
    stop();
}

TEST_F(IdleTimerTest, ZeroCancelsAndALaterTimeoutStartsAgain) {
    set(0);
    EXPECT_FALSE(running());
    {
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_EQ(timer.idle_seconds(), 1) << "0 without a timer records the minimum";
    }
    set(1);
    EXPECT_TRUE(running());
    set(0);
    for (int i = 0; i < 100 && running(); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(running());
    set(3);
    EXPECT_TRUE(running());
    {
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_EQ(timer.idle_seconds(), 3);
    }
    // Cancelled and at once given a new time-out: the timer keeps running.
    {
        std::lock_guard<std::mutex> lock(mutex);
        timer.set_timeout(0);
        timer.set_timeout(2);
    }
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(running());
    stop();
    EXPECT_EQ(closes, 0);
}

TEST(IdleTimerMinimum, IsThirtySecondsInTheProduct) {
    std::mutex mutex;
    IdleTimer timer(
        mutex, [] {}, [] { return false; });
    std::unique_lock<std::mutex> lock(mutex);
    timer.set_timeout(10);
    EXPECT_EQ(timer.idle_seconds(), 30);
    timer.set_timeout(45);
    EXPECT_EQ(timer.idle_seconds(), 45);
    timer.stop(lock);
}

}  // namespace
}  // namespace dirclient::ldapaccess
