#ifndef TESTS_SUPPORT_REPLBRIDGE_HOST_H
#define TESTS_SUPPORT_REPLBRIDGE_HOST_H

// A directory-server stand-in for tests of the replication bridge: loads replbridge.so as a
// server does, records every line the bridge logs and every buffer it asks for, and gives
// each test its own spool folder and a closed connection at the end.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "replbridge.h"
#include "rqc_hooks.h"

namespace repltest {

// The loaded plug-in; stays loaded for the whole test program.
inline void* plugin() {
    static void* handle = [] {
        void* loaded = dlopen(REPLBRIDGE_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!loaded) {
            std::fprintf(stderr, "cannot load %s: %s\n", REPLBRIDGE_PATH, dlerror());
            std::abort();
        }
        return loaded;
    }();
    return handle;
}

// The entry points, found as a server finds them: through qdxDllEntry.
inline const ReplEntryTable& bridge() {
    static const ReplEntryTable* table = [] {
        auto entry =
            reinterpret_cast<int (*)(const ReplDescriptor**)>(dlsym(plugin(), "qdxDllEntry"));
        const ReplDescriptor* descriptor = nullptr;
        if (!entry || entry(&descriptor) != 1 || !descriptor) std::abort();
        return descriptor->entries;
    }();
    return *table;
}

// What the bridge did through the host record.
struct HostRecord {
    std::mutex mutex;
    std::vector<std::string> lines;  // formatted log lines; guarded by mutex
    bool all_levels_ffff = true;     // guarded by mutex
    int allocations = 0;             // guarded by mutex
    bool refuse_allocations = false;
};

inline HostRecord*& current_record() {
    static HostRecord* record = nullptr;
    return record;
}

inline void record_log(int level, const char* format, ...) {
    char line[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    HostRecord& record = *current_record();
    std::lock_guard lock(record.mutex);
    record.lines.emplace_back(line);
    record.all_levels_ffff = record.all_levels_ffff && level == 0xFFFF;
}

inline void record_allocate(void** data, int length) {
    HostRecord& record = *current_record();
    std::lock_guard lock(record.mutex);
    ++record.allocations;
    *data = record.refuse_allocations ? nullptr : std::malloc(static_cast<size_t>(length));
}

// Fixture: a host record, a fresh spool folder in RQC_SPOOL_DIR and clean test switches.
class BridgeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        current_record() = &record_;
        char pattern[] = "/tmp/replbridge-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        spool_ = pattern;
        setenv("RQC_SPOOL_DIR", spool_.c_str(), 1);
        rqcTestReset();
        ASSERT_NE(&bridge(), nullptr);
    }

    void TearDown() override {
        rqcTestReset();
        bridge().shutdown(&host_);  // fails harmlessly when nothing is open
        std::filesystem::remove_all(spool_);
        current_record() = nullptr;
    }

    int init_master(const char* name, const char* suffix) {
        return bridge().initialize(&host_, name, nullptr, suffix, nullptr);
    }
    int init_slave(const char* name, const char* text) {
        return bridge().initialize(&host_, nullptr, name, nullptr, text);
    }
    int send(const char* service, const std::string& data, const char* address = "") {
        return bridge().sendupdate(&host_, service, address, data.data(),
                                   static_cast<int>(data.size()));
    }
    // The next update, or "<none>" when the fetch returned 0 and left no buffer.
    std::string fetch() {
        void* data = &record_;  // must be overwritten
        int length = bridge().getupdate(&host_, nullptr, &data);
        if (length <= 0) return data ? "<stale pointer>" : "<none>";
        std::string update(static_cast<char*>(data), static_cast<size_t>(length));
        std::free(data);
        return update;
    }

    std::vector<std::string> logs() {
        std::lock_guard lock(record_.mutex);
        return record_.lines;
    }
    void forget_logs() {
        std::lock_guard lock(record_.mutex);
        record_.lines.clear();
    }

    static std::vector<unsigned char> last_record(int kind) {
        std::vector<unsigned char> bytes(rqcTestLastRecord(kind, nullptr, 0));
        rqcTestLastRecord(kind, bytes.data(), bytes.size());
        return bytes;
    }
    static std::string trace() {
        char text[1024];
        rqcTestCallTrace(text, sizeof text);
        return text;
    }

    HostRecord record_;
    ReplHost host_{record_allocate, record_log};
    std::string spool_;
};

}  // namespace repltest

#endif
