// The stand-in's spool queues: order, atomic appearance, single delivery, failures.

#include "spool_queue.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

class SpoolQueue : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/rqc-spool-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        spool_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(spool_); }

    bool put(const char* queue, const std::string& data) {
        return rqcxQueuePut(spool_.c_str(), queue, data.data(), data.size(), &status_) == 1;
    }
    // The next message, "<empty>" or "<error>".
    std::string take(const char* queue) {
        void* data = nullptr;
        size_t length = 0;
        int found = rqcxQueueTake(spool_.c_str(), queue, &data, &length, &status_);
        if (found <= 0) return found == 0 ? "<empty>" : "<error>";
        std::string message(static_cast<char*>(data), length);
        std::free(data);
        return message;
    }

    std::string spool_;
    RqcxStatus status_{};
};

TEST_F(SpoolQueue, TakesTheOldestFirstFromEachQueue) {
    EXPECT_EQ(take("Q"), "<empty>");  // a queue that was never made is empty
    for (const char* message : {"1", "", "3"})
        ASSERT_TRUE(put("Q", message));
    ASSERT_TRUE(put("OTHER", "x"));
    EXPECT_EQ(take("Q"), "1");
    EXPECT_EQ(take("Q"), "");
    EXPECT_EQ(take("Q"), "3");
    EXPECT_EQ(take("Q"), "<empty>");
    EXPECT_EQ(take("OTHER"), "x");
}

TEST_F(SpoolQueue, IgnoresUnfinishedAndForeignFiles) {
    ASSERT_TRUE(rqcxQueueCreate(spool_.c_str(), "Q", &status_));
    for (const char* name : {".tmp-1-0", ".claim-1-0", "00000000000000000000-1.txt", "notes"})
        std::ofstream(spool_ + "/Q/" + name) << "not a message";
    EXPECT_EQ(take("Q"), "<empty>");
    ASSERT_TRUE(put("Q", "real"));
    EXPECT_EQ(take("Q"), "real");
}

TEST_F(SpoolQueue, AcceptsOnlyNamesThatStayInsideTheSpool) {
    struct Case {
        std::string name;
        bool valid;
    } cases[] = {
        {"SLAVE1", true}, {"a b.c", true}, {"..x", true},  {"", false},
        {".", false},     {"..", false},   {"a/b", false}, {std::string("a\0b", 3), false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(rqcxQueueNameValid(c.name.data(), c.name.size()), c.valid ? 1 : 0);
    }
}

TEST_F(SpoolQueue, ReportsTheFailingCallAndKeepsTheQueueIntact) {
    std::ofstream(spool_ + "/FILE") << "where a queue folder belongs";
    EXPECT_FALSE(put("FILE", "m"));
    EXPECT_EQ(status_.error, ENOTDIR);
    EXPECT_EQ(std::string(status_.detail).rfind("open " + spool_ + "/FILE/.tmp-", 0), 0U);

    ASSERT_TRUE(put("Q", "kept"));
    if (geteuid() != 0) {  // root reads anything
        ASSERT_EQ(chmod((spool_ + "/Q").c_str(), 0300), 0);
        EXPECT_EQ(take("Q"), "<error>");
        EXPECT_EQ(status_.error, EACCES);
        ASSERT_EQ(chmod((spool_ + "/Q").c_str(), 0700), 0);
    }
    EXPECT_EQ(take("Q"), "kept");

    EXPECT_EQ(rqcxQueueCreate((spool_ + "/no/such").c_str(), "Q", &status_), 0);
    EXPECT_EQ(status_.error, ENOENT);
}

TEST_F(SpoolQueue, ConcurrentTakersGetEachMessageOnce) {
    constexpr int kMessages = 300;
    std::vector<std::thread> threads;
    std::mutex taken_mutex;
    std::multiset<std::string> taken;
    std::atomic<bool> all_put{false};
    threads.emplace_back([&] {
        for (int i = 0; i < kMessages; ++i)
            EXPECT_TRUE(put("Q", std::to_string(i)));
        all_put = true;
    });
    for (int taker = 0; taker < 3; ++taker) {
        threads.emplace_back([&] {
            for (;;) {
                bool last_chance = all_put.load();
                std::string message = take("Q");
                if (message == "<empty>" && last_chance) break;
                if (message == "<empty>" || message == "<error>") {
                    std::this_thread::yield();
                    continue;
                }
                std::lock_guard lock(taken_mutex);
                taken.insert(message);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    std::multiset<std::string> expected;
    for (int i = 0; i < kMessages; ++i)
        expected.insert(std::to_string(i));
    EXPECT_EQ(taken, expected);
}

}  // namespace
