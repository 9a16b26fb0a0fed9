// The allocator's pools and the error log under concurrent callers (also run under
// ThreadSanitizer).
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ch_malloc.h"
#include "error_log.h"
#include "test_dir.h"

namespace {

TEST(ConcurrentPools, BlocksAreNeverHandedOutTwice) {
    ch_alloc_init(0, 32, 64);
    ch_alloc_init(1, 64, 64);
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            for (int round = 0; round < 2000; ++round) {
                std::vector<unsigned char*> held;
                for (int k = 0; k < 24; ++k) {
                    auto* p = static_cast<unsigned char*>(
                        ch_malloc(static_cast<size_t>(k % 2 ? 40 : 20)));
                    memset(p, t + 1, 20);
                    held.push_back(p);
                }
                for (unsigned char* p : held) {
                    for (int i = 0; i < 20; ++i)
                        failures[static_cast<size_t>(t)] += p[i] != t + 1;
                    ch_free(p);
                }
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
    ch_pool_stats stats{};
    ch_get_pool_stats(0, &stats);
    EXPECT_EQ(stats.free_blocks, 64);
    ch_free_memory(0);
    ch_free_memory(1);
}

TEST(ConcurrentErrorLog, LinesNeverInterleave) {
    ScopedTestDir dir;
    const char* files[] = {"threads.log", nullptr};
    errlog_set_rotation(files, 100000);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i)
                ErrorLog("thread %d message %d\n", t, i);
        });
    for (auto& th : threads)
        th.join();
    errlog_set_rotation(nullptr, 0);
    errlog_close();
    std::istringstream lines(ScopedTestDir::read("threads.log"));
    const std::regex line_form("[0-9]{14}Z  thread [0-3] message [0-9]+");
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count)
        ASSERT_TRUE(std::regex_match(line, line_form)) << line;
    EXPECT_EQ(count, 800);
}

}  // namespace
