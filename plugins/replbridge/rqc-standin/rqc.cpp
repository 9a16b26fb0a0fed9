// The messaging calls of the stand-in: argument and record checks, the connection table
// and the per-thread last error; the queues themselves are spool_queue's.

#include "rqc.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "rqc_amqp.h"
#include "rqc_hooks_internal.h"
#include "spool_queue.h"

namespace {

struct FreeDeleter {
    void operator()(void* block) const { std::free(block); }
};

struct Connection {
    std::string app;                         // the application's own queue
    std::string spool;                       // RQC_SPOOL_DIR when the connection was opened
    std::shared_ptr<rqc_amqp::Link> broker;  // when RQC_AMQP_URL chose the broker
    std::map<uint32_t, std::unique_ptr<char, FreeDeleter>> buffers;  // by buffer marker
};

struct Registry {
    std::mutex mutex;
    std::map<RqcHandle, Connection> connections;  // guarded by mutex
    RqcHandle next_handle = 1;                    // guarded by mutex
    uint32_t next_marker = 1;                     // guarded by mutex
};

Registry& registry() {
    static Registry* connections = new Registry;  // never destroyed: calls may come during exit
    return *connections;
}

thread_local RqcError last_error;
thread_local bool has_last_error = false;

constexpr const char* kCallNames[] = {"",
                                      "rqcSPIInitialize",
                                      "rqcSPISetLdapService",
                                      "rqcPutRequest",
                                      "rqcGetRequest",
                                      "rqcFreeBuffer",
                                      "rqcGetLastError",
                                      "rqcTerminate"};

void describe(RqcResult& result, RqcOperation op, int32_t layer, int32_t reason, int32_t position,
              int32_t kind, const char* format, va_list args) {
    result = RqcResult{};
    result.compCode = RQC_CC_FAILED;
    result.rtnType = layer;
    result.opType = op;
    result.reason = reason;
    result.position = position;
    result.errType = kind;
    int used = std::snprintf(result.location, sizeof result.location, "%s: ", kCallNames[op]);
    std::vsnprintf(result.location + used, sizeof result.location - used, format, args);
}

// An environment failure's block, its location left to the caller.
void describe_cause(RqcResult& result, RqcOperation op, int32_t layer, int32_t reason) {
    result = RqcResult{};
    result.compCode = RQC_CC_FAILED;
    result.rtnType = layer;
    result.opType = op;
    result.reason = reason;
    result.errType = RQC_ERR_ENVIRONMENT;
}

// Records the failure as this thread's last error and returns 0, the calls' failure value.
__attribute__((format(printf, 5, 6))) int fail(RqcOperation op, int32_t reason, int32_t position,
                                               int32_t kind, const char* format, ...) {
    last_error = RqcError{};
    last_error.version = 1;
    va_list args;
    va_start(args, format);
    describe(last_error.result, op, kind == RQC_ERR_TEST ? RQC_LAYER_TEST : RQC_LAYER_API, reason,
             position, kind, format, args);
    va_end(args);
    has_last_error = true;
    return 0;
}

// As fail, with the system call behind it as the SubResult.
__attribute__((format(printf, 3, 4))) int fail_spool(RqcOperation op, const RqcxStatus& status,
                                                     const char* format, ...) {
    last_error = RqcError{};
    last_error.version = 1;
    va_list args;
    va_start(args, format);
    describe(last_error.result, op, RQC_LAYER_SPOOL, RQC_REASON_IO_ERROR, 0, RQC_ERR_ENVIRONMENT,
             format, args);
    va_end(args);
    RqcResult& sub = last_error.subResult;
    describe_cause(sub, op, RQC_LAYER_SYSTEM, status.error);
    // A long path cuts the system's text short; the path is the more useful half.
    if (std::snprintf(sub.location, sizeof sub.location, "%s: %s", status.detail,
                      std::strerror(status.error)) >= static_cast<int>(sizeof sub.location))
        sub.location[sizeof sub.location - 1] = '\0';
    has_last_error = true;
    return 0;
}

// As fail_spool for the broker: its own words and reply code go to the SubResult.
int fail_broker(RqcOperation op, const rqc_amqp::Failure& failure) {
    last_error = RqcError{};
    last_error.version = 1;
    RqcResult& result = last_error.result;
    describe_cause(result, op, RQC_LAYER_BROKER, RQC_REASON_BROKER);
    std::snprintf(result.location, sizeof result.location, "%s: %s", kCallNames[op],
                  failure.what.c_str());
    RqcResult& sub = last_error.subResult;
    describe_cause(sub, op, RQC_LAYER_BROKER, failure.code);
    std::snprintf(sub.location, sizeof sub.location, "%s", failure.cause.c_str());
    has_last_error = true;
    return 0;
}

int fail_injected(RqcOperation op) {
    return fail(op, RQC_REASON_INJECTED, 0, RQC_ERR_TEST, "failure injected by the test switch");
}

template <typename Record>
bool has_header(const Record* record, const char (&eye)[5], int32_t version) {
    return record && std::memcmp(record->eyeCatcher, eye, 4) == 0 && record->version == version;
}

int fail_record(RqcOperation op, int32_t position, const char* what, const char* eye,
                int32_t version) {
    return fail(op, RQC_REASON_BAD_RECORD, position, RQC_ERR_USAGE,
                "%s is not a \"%s\" record of version %d", what, eye, version);
}

int fail_handle(RqcOperation op, RqcHandle handle) {
    return fail(op, RQC_REASON_BAD_HANDLE, 1, RQC_ERR_USAGE, "no connection has handle %d", handle);
}

// Copies what a call needs of a connection, so that the spool is used outside the lock.
bool find_connection(RqcHandle handle, std::string* app, std::string* spool,
                     std::shared_ptr<rqc_amqp::Link>* broker = nullptr) {
    Registry& table = registry();
    std::lock_guard lock(table.mutex);
    auto found = table.connections.find(handle);
    if (found == table.connections.end()) return false;
    if (app) *app = found->second.app;
    if (spool) *spool = found->second.spool;
    if (broker) *broker = found->second.broker;
    return true;
}

// Where a new connection's messages go: the broker RQC_AMQP_URL names, or else the spool
// folder. 1, or the failure recorded.
int open_transport(RqcOperation op, const std::string& name, Connection* connection) {
    if (const char* url = std::getenv("RQC_AMQP_URL"); url && *url) {
        rqc_amqp::Failure failure;
        connection->broker = rqc_amqp::Link::open(url, name, &failure);
        return connection->broker ? 1 : fail_broker(op, failure);
    }
    const char* spool = std::getenv("RQC_SPOOL_DIR");
    if (!spool || !*spool)
        return fail(op, RQC_REASON_NO_SPOOL, 0, RQC_ERR_ENVIRONMENT, "RQC_SPOOL_DIR is not set");
    RqcxStatus status{};
    if (!rqcxQueueCreate(spool, name.c_str(), &status))
        return fail_spool(op, status, "cannot create the queue of \"%s\"", name.c_str());
    connection->spool = spool;
    return 1;
}

int initialize(RqcAppDef* app, int32_t mode, RqcHandle* handle, void* reserved,
               RqcInitDtl* details) {
    constexpr RqcOperation op = RQC_OP_INITIALIZE;
    if (!has_header(app, "BXAD", 3)) return fail_record(op, 1, "application definition", "BXAD", 3);
    if (mode != RQC_MODE_MASTER && mode != RQC_MODE_SLAVE)
        return fail(op, RQC_REASON_BAD_RECORD, 2, RQC_ERR_USAGE,
                    "mode 0x%x is neither master (0x10003) nor slave (0x10001)", mode);
    if (!handle) return fail(op, RQC_REASON_BAD_HANDLE, 3, RQC_ERR_USAGE, "no handle to fill");
    if (reserved) return fail(op, RQC_REASON_BAD_RECORD, 4, RQC_ERR_USAGE, "reserved is not null");
    if (!details || details->kind != 5 || !std::memchr(details->text, 0, sizeof details->text))
        return fail(op, RQC_REASON_BAD_RECORD, 5, RQC_ERR_USAGE,
                    "initialisation details lack kind 5 or a terminated text");
    size_t name_length = strnlen(app->appName, sizeof app->appName);
    std::string name(app->appName, name_length);
    if (!rqcxQueueNameValid(name.data(), name.size()))
        return fail(op, RQC_REASON_BAD_NAME, 1, RQC_ERR_USAGE,
                    "application name \"%s\" cannot name a queue", name.c_str());
    Connection connection;
    if (!open_transport(op, name, &connection)) return 0;
    connection.app = std::move(name);
    Registry& table = registry();
    std::lock_guard lock(table.mutex);
    RqcHandle fresh = table.next_handle++;
    if (table.next_handle <= 0) table.next_handle = 1;
    table.connections[fresh] = std::move(connection);
    *handle = fresh;
    return 1;
}

int set_service(RqcHandle handle, RqcService* service) {
    constexpr RqcOperation op = RQC_OP_SET_SERVICE;
    if (!has_header(service, "BXSV", 1)) return fail_record(op, 2, "service record", "BXSV", 1);
    if (!find_connection(handle, nullptr, nullptr)) return fail_handle(op, handle);
    return 1;
}

int put(RqcHandle handle, RqcService* service, RqcMessage* message, RqcPutOptions* options,
        void* reserved) {
    constexpr RqcOperation op = RQC_OP_PUT;
    std::string spool;
    std::shared_ptr<rqc_amqp::Link> broker;
    if (!find_connection(handle, nullptr, &spool, &broker)) return fail_handle(op, handle);
    if (!has_header(service, "BXSV", 1)) return fail_record(op, 2, "service record", "BXSV", 1);
    if (!has_header(message, "BXMD", 3)) return fail_record(op, 3, "message record", "BXMD", 3);
    if (!has_header(options, "BXPO", 3)) return fail_record(op, 4, "put options", "BXPO", 3);
    if (reserved) return fail(op, RQC_REASON_BAD_RECORD, 5, RQC_ERR_USAGE, "reserved is not null");
    if (message->dataLength != message->sendLength || message->bufferMarker != 0)
        return fail(op, RQC_REASON_BAD_RECORD, 3, RQC_ERR_USAGE,
                    "message lengths %u and %u differ or its buffer marker %u is not 0",
                    message->dataLength, message->sendLength, message->bufferMarker);
    if (message->dataLength > 0 && !message->data)
        return fail(op, RQC_REASON_BAD_RECORD, 3, RQC_ERR_USAGE,
                    "message of %u bytes has no data address", message->dataLength);
    std::string queue(service->name, strnlen(service->name, sizeof service->name));
    if (!rqcxQueueNameValid(queue.data(), queue.size()))
        return fail(op, RQC_REASON_BAD_NAME, 2, RQC_ERR_USAGE,
                    "service name \"%s\" cannot name a queue", queue.c_str());
    if (broker) {
        rqc_amqp::Failure failure;
        if (!broker->put(queue, message->data, message->dataLength, &failure))
            return fail_broker(op, failure);
        return 1;
    }
    RqcxStatus status{};
    if (!rqcxQueuePut(spool.c_str(), queue.c_str(), message->data, message->dataLength, &status))
        return fail_spool(op, status, "cannot put to the queue of \"%s\"", queue.c_str());
    return 1;
}

int get(RqcHandle handle, RqcMessage* message, RqcGetOptions* options, void* reserved) {
    constexpr RqcOperation op = RQC_OP_GET;
    std::string app, spool;
    std::shared_ptr<rqc_amqp::Link> broker;
    if (!find_connection(handle, &app, &spool, &broker)) return fail_handle(op, handle);
    if (!has_header(message, "BXMD", 3)) return fail_record(op, 2, "message record", "BXMD", 3);
    if (!has_header(options, "BXGO", 3)) return fail_record(op, 3, "get options", "BXGO", 3);
    if (reserved) return fail(op, RQC_REASON_BAD_RECORD, 4, RQC_ERR_USAGE, "reserved is not null");
    void* data = nullptr;
    size_t length = 0;
    RqcxStatus status{};
    rqc_amqp::Failure failure;
    int taken = broker ? broker->take(&data, &length, &failure)
                       : rqcxQueueTake(spool.c_str(), app.c_str(), &data, &length, &status);
    if (taken < 0 && broker) return fail_broker(op, failure);
    if (taken < 0)
        return fail_spool(op, status, "cannot take from the queue of \"%s\"", app.c_str());
    if (taken == 0)
        return fail(op, RQC_REASON_NO_MESSAGE, 0, RQC_ERR_NO_DATA, "queue \"%s\" is empty",
                    app.c_str());
    std::unique_ptr<char, FreeDeleter> buffer(static_cast<char*>(data));
    if (length > UINT32_MAX)
        return fail(op, RQC_REASON_TOO_LARGE, 0, RQC_ERR_ENVIRONMENT,
                    "a message of %zu bytes in queue \"%s\" was dropped", length, app.c_str());
    message->dataLength = static_cast<uint32_t>(length);
    message->bufferMarker = 0;
    message->data = nullptr;
    if (length == 0) return 1;

    Registry& table = registry();
    std::lock_guard lock(table.mutex);
    auto found = table.connections.find(handle);
    if (found == table.connections.end()) return fail_handle(op, handle);  // closed meanwhile
    uint32_t marker = table.next_marker++;
    if (table.next_marker == 0) table.next_marker = 1;
    message->bufferMarker = marker;
    message->data = buffer.get();
    found->second.buffers[marker] = std::move(buffer);
    return 1;
}

int free_buffer(RqcHandle handle, uint32_t* marker) {
    constexpr RqcOperation op = RQC_OP_FREE_BUFFER;
    Registry& table = registry();
    std::lock_guard lock(table.mutex);
    auto found = table.connections.find(handle);
    if (found == table.connections.end()) return fail_handle(op, handle);
    if (!marker || found->second.buffers.erase(*marker) == 0)
        return fail(op, RQC_REASON_BAD_BUFFER, 2, RQC_ERR_USAGE, "no buffer has marker %u",
                    marker ? *marker : 0U);
    *marker = 0;
    return 1;
}

int terminate(RqcHandle* handle) {
    constexpr RqcOperation op = RQC_OP_TERMINATE;
    if (!handle) return fail(op, RQC_REASON_BAD_HANDLE, 1, RQC_ERR_USAGE, "no handle given");
    Registry& table = registry();
    std::lock_guard lock(table.mutex);
    if (table.connections.erase(*handle) == 0) return fail_handle(op, *handle);
    *handle = 0;
    return 1;
}

// Runs a call: traces it, fails it on demand, and turns an exception into a failure.
template <typename Call>
int run(RqcOperation op, Call&& call) noexcept {
    try {
        if (rqc::begin_call(op)) return fail_injected(op);
        return call();
    } catch (...) {
        return fail(op, RQC_REASON_IO_ERROR, 0, RQC_ERR_ENVIRONMENT, "out of memory");
    }
}

void set_reason(int32_t* reason, int succeeded) {
    if (reason) *reason = succeeded ? RQC_REASON_NONE : last_error.result.reason;
}

}  // namespace

extern "C" {

RQC_API int rqcSPIInitialize(RqcAppDef* app, int32_t mode, RqcHandle* handle, void* reserved,
                             RqcInitDtl* details) {
    rqc::keep_record(RQC_TEST_APPDEF, app, sizeof *app);
    rqc::keep_record(RQC_TEST_INITDTL, details, sizeof *details);
    rqc::keep_record(RQC_TEST_MODE, &mode, sizeof mode);
    return run(RQC_OP_INITIALIZE, [&] { return initialize(app, mode, handle, reserved, details); });
}

RQC_API int rqcSPISetLdapService(RqcHandle handle, RqcService* service, const char* address) {
    rqc::keep_record(RQC_TEST_LDAP_SERVICE, service, sizeof *service);
    rqc::keep_record(RQC_TEST_LDAP_ADDRESS, address, address ? std::strlen(address) + 1 : 0);
    return run(RQC_OP_SET_SERVICE, [&] { return set_service(handle, service); });
}

RQC_API int rqcPutRequest(RqcHandle handle, RqcService* service, RqcMessage* message,
                          RqcPutOptions* options, void* reserved, int32_t* reason) {
    rqc::keep_record(RQC_TEST_PUT_SERVICE, service, sizeof *service);
    rqc::keep_record(RQC_TEST_PUT_MESSAGE, message, sizeof *message);
    rqc::keep_record(RQC_TEST_PUT_OPTIONS, options, sizeof *options);
    int done = run(RQC_OP_PUT, [&] { return put(handle, service, message, options, reserved); });
    set_reason(reason, done);
    return done;
}

RQC_API int rqcGetRequest(RqcHandle handle, RqcMessage* message, RqcGetOptions* options,
                          void* reserved, int32_t* reason) {
    rqc::keep_record(RQC_TEST_GET_MESSAGE, message, sizeof *message);
    rqc::keep_record(RQC_TEST_GET_OPTIONS, options, sizeof *options);
    int done = run(RQC_OP_GET, [&] { return get(handle, message, options, reserved); });
    set_reason(reason, done);
    return done;
}

RQC_API int rqcFreeBuffer(RqcHandle handle, uint32_t* bufferMarker) {
    return run(RQC_OP_FREE_BUFFER, [&] { return free_buffer(handle, bufferMarker); });
}

RQC_API int rqcGetLastError(RqcError* error) {
    if (rqc::begin_call(RQC_OP_LAST_ERROR) || !error || !has_last_error) return 0;
    *error = last_error;
    return 1;
}

RQC_API int rqcTerminate(RqcHandle* handle) {
    return run(RQC_OP_TERMINATE, [&] { return terminate(handle); });
}

}  // extern "C"
