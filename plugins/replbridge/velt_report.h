#ifndef REPLBRIDGE_VELT_REPORT_H
#define REPLBRIDGE_VELT_REPORT_H

// Messages to the host's log and the report of a messaging library failure.

#include "replbridge.h"
#include "rqc.h"

namespace replbridge {

// The host's log function always gets three arguments after the format, 0 for the unused.
inline void log(const ReplHost& host, const char* format) {
    host.log(REPL_LOG_LEVEL, format, 0, 0, 0);
}
template <typename A>
void log(const ReplHost& host, const char* format, A a) {
    host.log(REPL_LOG_LEVEL, format, a, 0, 0);
}
template <typename A, typename B>
void log(const ReplHost& host, const char* format, A a, B b) {
    host.log(REPL_LOG_LEVEL, format, a, b, 0);
}
template <typename A, typename B, typename C>
void log(const ReplHost& host, const char* format, A a, B b, C c) {
    host.log(REPL_LOG_LEVEL, format, a, b, c);
}

// The library's details of its last failure; "known" is false when it had none to give.
struct LastError {
    bool known = false;
    RqcError record{};
};

// Asks the library for its last failure. Called while velt_mutex is still held, so that the
// details are those of this caller's failure and not of another thread's later call.
LastError fetch_last_error();

// Logs "Unknown RQC error" when the details are unknown, then the six lines of the record.
void log_last_error(const ReplHost& host, const LastError& error);

}  // namespace replbridge

#endif
