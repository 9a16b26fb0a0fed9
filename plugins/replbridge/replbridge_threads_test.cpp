// Several host threads on the one connection at once: every update arrives exactly once.

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/replbridge_host.h"

namespace {

constexpr int kSenders = 4;
constexpr int kUpdatesEach = 40;

std::string update_text(int sender, int number) {
    return "sender " + std::to_string(sender) + " update " + std::to_string(number) +
           std::string(static_cast<size_t>(number) * 17, '.');
}

class ReplBridgeThreads : public repltest::BridgeTest {};

TEST_F(ReplBridgeThreads, ConcurrentSendsAndFetchesLoseAndDuplicateNothing) {
    ASSERT_EQ(init_master("HUB", "R"), 0);
    std::atomic<int> failed_sends{0};
    std::atomic<int> received_count{0};
    const int total = kSenders * kUpdatesEach;
    std::vector<std::thread> threads;
    for (int sender = 0; sender < kSenders; ++sender) {
        threads.emplace_back([&, sender] {
            for (int number = 0; number < kUpdatesEach; ++number)
                if (send("HUB", update_text(sender, number)) != 1) ++failed_sends;
        });
    }
    std::mutex received_mutex;
    std::multiset<std::string> received;
    for (int fetcher = 0; fetcher < 2; ++fetcher) {
        threads.emplace_back([&] {
            while (received_count.load() < total && failed_sends.load() == 0) {
                std::string update = fetch();
                if (update == "<none>") {
                    std::this_thread::yield();
                    continue;
                }
                std::lock_guard lock(received_mutex);
                received.insert(update);
                ++received_count;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    ASSERT_EQ(failed_sends.load(), 0);
    std::multiset<std::string> expected;
    for (int sender = 0; sender < kSenders; ++sender)
        for (int number = 0; number < kUpdatesEach; ++number)
            expected.insert(update_text(sender, number));
    EXPECT_EQ(received, expected);
    EXPECT_EQ(fetch(), "<none>");
    EXPECT_EQ(logs().size(), static_cast<size_t>(total));  // one put line per send
}

TEST_F(ReplBridgeThreads, EachSenderSeesItsOwnFailureReport) {
    ASSERT_EQ(init_master("HUB", "R"), 0);
    std::vector<std::thread> threads;
    for (int sender = 0; sender < kSenders; ++sender) {
        threads.emplace_back([&, sender] {
            // Queues that cannot exist fail in the library with the name in the report.
            const std::string service = "bad/" + std::to_string(sender);
            for (int number = 0; number < 10; ++number)
                EXPECT_EQ(send(service.c_str(), "u"), -1);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    // Reports may interleave, but each names the queue of the send that failed.
    std::vector<int> reports(kSenders);
    for (const std::string& line : logs()) {
        const std::string location = "Location = rqcPutRequest: service name \"bad/";
        size_t at = line.find(location);
        if (at != std::string::npos) ++reports[line[at + location.size()] - '0'];
    }
    EXPECT_EQ(reports, std::vector<int>(kSenders, 10));
}

}  // namespace
