#include "velt_report.h"

#include <cstring>

namespace replbridge {

namespace {

void log_result(const ReplHost& host, const RqcResult& result, const char* const (&lines)[3]) {
    // The library's text may fill its field without a terminator.
    char location[sizeof result.location + 1] = {};
    std::memcpy(location, result.location, sizeof result.location);
    log(host, lines[0], result.compCode, result.rtnType, result.opType);
    log(host, lines[1], result.reason, result.position, result.errType);
    log(host, lines[2], static_cast<const char*>(location));
}

constexpr const char* kResultLines[3] = {
    "Error - Result CompCode = %d, RtnType = %d, OpType = %d\n",
    "Error - Result Reason = %d, Position = %d, ErrType = %d\n", "Error - Result Location = %s\n"};

constexpr const char* kSubResultLines[3] = {
    "Error - SubResult CompCode = %d, RtnType = %d, OpType = %d\n",
    "Error - SubResult Reason = %d, Position = %d, ErrType = %d\n",
    "Error - SubResult Location = %s\n"};

}  // namespace

LastError fetch_last_error() {
    LastError error;
    error.known = rqcGetLastError(&error.record) == 1;
    if (!error.known) error.record = RqcError{};  // whatever a failed call left is no report
    return error;
}

void log_last_error(const ReplHost& host, const LastError& error) {
    if (!error.known) log(host, "Unknown RQC error\n");
    log_result(host, error.record.result, kResultLines);
    log_result(host, error.record.subResult, kSubResultLines);
}

}  // namespace replbridge
