#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "rqc_hooks_internal.h"

namespace {

constexpr const char* kOperationNames[] = {"",    "initialize", "setservice", "put",
                                           "get", "freebuffer", "lasterror",  "terminate"};
constexpr int kOperationCount = sizeof kOperationNames / sizeof kOperationNames[0];

struct HookState {
    std::mutex mutex;
    bool failures_read = false;                        // RQC_TEST_FAIL seen; guarded by mutex
    unsigned failing = 0;                              // bit per RqcOperation; guarded by mutex
    std::string trace;                                 // guarded by mutex
    std::vector<char> records[RQC_TEST_RECORD_KINDS];  // guarded by mutex
};

HookState& state() {
    static HookState* hooks = new HookState;  // never destroyed: calls may come during exit
    return *hooks;
}

// Bit mask of the listed operations, or -1 for an unknown name.
long parse_operations(const char* list) {
    long mask = 0;
    if (!list) return 0;
    for (const char* start = list; *start;) {
        const char* end = std::strchr(start, ',');
        size_t length = end ? static_cast<size_t>(end - start) : std::strlen(start);
        int op = 1;
        while (op < kOperationCount && (std::strlen(kOperationNames[op]) != length ||
                                        std::strncmp(kOperationNames[op], start, length) != 0))
            ++op;
        if (length > 0 && op == kOperationCount) return -1;
        if (length > 0) mask |= 1L << op;
        start = end ? end + 1 : start + length;
    }
    return mask;
}

void read_environment(HookState& hooks) {
    if (hooks.failures_read) return;
    hooks.failures_read = true;
    long mask = parse_operations(std::getenv("RQC_TEST_FAIL"));
    hooks.failing = mask > 0 ? static_cast<unsigned>(mask) : 0;
}

}  // namespace

namespace rqc {

const char* operation_name(RqcOperation operation) {
    const int index = static_cast<int>(operation);
    return index > 0 && index < kOperationCount ? kOperationNames[index] : "?";
}

bool begin_call(RqcOperation operation) noexcept {
    try {
        HookState& hooks = state();
        std::lock_guard lock(hooks.mutex);
        read_environment(hooks);
        if (!hooks.trace.empty()) hooks.trace += ',';
        hooks.trace += operation_name(operation);
        return (hooks.failing >> operation) & 1U;
    } catch (...) {
        return false;  // the switches are a test aid; a call never fails for them
    }
}

void keep_record(RqcTestRecord kind, const void* record, std::size_t size) noexcept {
    if (kind <= 0 || kind >= RQC_TEST_RECORD_KINDS) return;
    try {
        HookState& hooks = state();
        std::lock_guard lock(hooks.mutex);
        const char* bytes = static_cast<const char*>(record);
        if (bytes)
            hooks.records[kind].assign(bytes, bytes + size);
        else
            hooks.records[kind].clear();  // a null record leaves none to show
    } catch (...) {
        // as above
    }
}

}  // namespace rqc

extern "C" {

RQC_API void rqcTestReset(void) {
    HookState& hooks = state();
    std::lock_guard lock(hooks.mutex);
    hooks.failures_read = true;
    hooks.failing = 0;
    hooks.trace.clear();
    for (auto& record : hooks.records)
        record.clear();
}

RQC_API int rqcTestFailOn(const char* operations) {
    long mask = parse_operations(operations);
    if (mask < 0) return 0;
    HookState& hooks = state();
    std::lock_guard lock(hooks.mutex);
    hooks.failures_read = true;
    hooks.failing = static_cast<unsigned>(mask);
    return 1;
}

RQC_API size_t rqcTestLastRecord(int kind, void* copy, size_t size) {
    if (kind <= 0 || kind >= RQC_TEST_RECORD_KINDS) return 0;
    HookState& hooks = state();
    std::lock_guard lock(hooks.mutex);
    const std::vector<char>& record = hooks.records[kind];
    size_t length = record.size() < size ? record.size() : size;
    if (copy && length > 0) std::memcpy(copy, record.data(), length);
    return record.size();
}

RQC_API size_t rqcTestCallTrace(char* text, size_t size) {
    HookState& hooks = state();
    std::lock_guard lock(hooks.mutex);
    if (text && size > 0) {
        size_t length = hooks.trace.size() < size - 1 ? hooks.trace.size() : size - 1;
        std::memcpy(text, hooks.trace.data(), length);
        text[length] = '\0';
    }
    return hooks.trace.size();
}

}  // extern "C"
