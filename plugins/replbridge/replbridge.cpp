// The replication bridge: the host's four replication entry points over one connection of
// the Velt messaging library per process.

#include "replbridge.h"

#include <bit>
#include <climits>
#include <cstring>
#include <mutex>

#include "rqc.h"
#include "velt_records.h"
#include "velt_report.h"

namespace {

using replbridge::log;

constexpr uint32_t big_endian(uint32_t value) {
    if constexpr (std::endian::native == std::endian::little) return __builtin_bswap32(value);
    return value;
}

// The one connection of the process and the records it was opened with.
std::mutex velt_mutex;
RqcHandle hRqc = 0;  // guarded by velt_mutex; 0 while closed
RqcAppDef appDef;    // guarded by velt_mutex
RqcInitDtl initDtl;  // guarded by velt_mutex

// A host record the bridge can report through: the entry points refuse anything less.
bool can_log(const ReplHost* host) {
    return host && host->log;
}

// Entry points return a failure value rather than let an exception reach the host.
template <typename Body>
int guarded(int failure, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

// Writes the initialisation text of a master ("REPLY" and the suffix) or of a slave into
// "text". When it does not fit its room, returns false with its length and the most allowed.
bool fill_init_text(bool master, const char* reply_suffix, const char* slave_text,
                    char (&text)[sizeof(RqcInitDtl::text)], size_t& length, size_t& most) {
    static constexpr char kReply[] = "REPLY";
    const char* part = master ? reply_suffix : slave_text;
    if (!part) part = "";
    const size_t prefix = master ? sizeof kReply - 1 : 0;
    const size_t room = master ? replbridge::kReplyTextRoom : replbridge::kSlaveTextRoom;
    length = std::strlen(part);
    most = room - 1 - prefix;
    if (length > most) return false;
    std::memcpy(text, kReply, prefix);
    std::memcpy(text + prefix, part, length + 1);
    return true;
}

int clip(size_t length) {
    return length > INT_MAX ? INT_MAX : static_cast<int>(length);
}

int initialize(ReplHost* host, const char* master_name, const char* slave_name,
               const char* reply_suffix, const char* slave_text) {
    if (!can_log(host)) return -1;
    const bool master = master_name && *master_name;
    const char* name = master ? master_name : slave_name;
    const char* failed =
        master ? "Velt FAILED to initialize MASTER: %s\n" : "Velt FAILED to initialize SLAVE: %s\n";
    if (!host->allocate) {
        log(*host, failed, name ? name : "");
        log(*host, "Velt host record has no allocate function\n");
        return -1;
    }
    if (!name || !*name) {
        log(*host, failed, "no application name given");
        return -1;
    }
    RqcInitDtl details = replbridge::kInitDtlTemplate;
    size_t length = 0, most = 0;
    if (!fill_init_text(master, reply_suffix, slave_text, details.text, length, most)) {
        log(*host, failed, name);
        log(*host,
            master ? "Velt reply suffix of %d bytes is too long (at most %d)\n"
                   : "Velt slave text of %d bytes is too long (at most %d)\n",
            clip(length), clip(most));
        return -1;
    }

    bool open_already = false;
    bool opened = false;
    replbridge::LastError error;
    {
        std::lock_guard lock(velt_mutex);
        open_already = hRqc != 0;
        if (!open_already) {
            appDef = replbridge::kAppDefTemplate;
            replbridge::copy_padded(appDef.appName, name);
            initDtl = details;
            const int32_t mode = master ? RQC_MODE_MASTER : RQC_MODE_SLAVE;
            opened = rqcSPIInitialize(&appDef, mode, &hRqc, nullptr, &initDtl) != 0;
            if (!opened) {
                hRqc = 0;  // whatever a failed call stored there is no connection
                error = replbridge::fetch_last_error();
            }
        }
    }
    if (opened) return 0;
    log(*host, failed, name);
    if (open_already) {
        log(*host, "Velt is initialized already; shut it down first\n");
    } else {
        replbridge::log_last_error(*host, error);
    }
    return -1;
}

int get_update(ReplHost* host, void** data) {
    if (!can_log(host)) return 0;
    if (!host->allocate || !data) {
        log(*host, host->allocate ? "Velt FAILED to get an update: no data pointer given\n"
                                  : "Velt host record has no allocate function\n");
        return 0;
    }
    *data = nullptr;
    RqcMessage message = replbridge::kGetMessageTemplate;
    RqcGetOptions options = replbridge::kGetOptionsTemplate;
    uint32_t length = 0;
    const char* problem = nullptr;
    {
        std::lock_guard lock(velt_mutex);
        int32_t reason = 0;
        if (!rqcGetRequest(hRqc, &message, &options, nullptr, &reason)) return 0;
        length = message.dataLength;
        if (length == 0) return 0;
        if (length > INT_MAX) {
            problem = "Velt FAILED to get an update: it is longer than %d bytes; it is lost\n";
        } else if (!message.data) {
            problem = "Velt FAILED to get an update of %d bytes: the library gave no data\n";
        } else {
            host->allocate(data, static_cast<int>(length));
            if (*data) {
                std::memcpy(*data, message.data, length);
            } else {
                problem = "Velt FAILED to get an update of %d bytes: no buffer; it is lost\n";
            }
        }
        rqcFreeBuffer(hRqc, &message.bufferMarker);
    }
    if (!problem) return static_cast<int>(length);
    log(*host, problem, clip(length));
    return 0;
}

int send_update(ReplHost* host, const char* service_name, const char* service_address,
                const void* data, int length) {
    if (!can_log(host)) return -1;
    const char* name = service_name ? service_name : "";
    const char* address = service_address ? service_address : "";
    auto refuse = [&](const char* why, int value) {
        log(*host, "Velt FAILED to PUTMSG to: %s\n", name);
        log(*host, why, value);
        return -1;
    };
    constexpr size_t room = replbridge::kServiceNameRoom;
    if (strnlen(name, room + 1) > room)
        return refuse("Velt service name is longer than %d bytes\n", static_cast<int>(room));
    if (length < 0) return refuse("Velt update length %d is negative\n", length);
    if (!data && length > 0) return refuse("Velt update of %d bytes has no data\n", length);

    RqcMessage message = replbridge::kSendMessageTemplate;
    RqcPutOptions options = replbridge::kPutOptionsTemplate;
    RqcService service = replbridge::kServiceTemplate;
    bool sent = false;
    replbridge::LastError error;
    {
        std::lock_guard lock(velt_mutex);
        replbridge::copy_padded(service.name, name);
        rqcSPISetLdapService(hRqc, &service, address);
        log(*host, "Velt PutRequest to: %s (%s)\n", name, address);
        message.dataLength = static_cast<uint32_t>(length);
        message.sendLength = static_cast<uint32_t>(length);
        message.bufferMarker = 0;
        message.data = const_cast<void*>(data);
        int32_t reason = 0;
        sent = rqcPutRequest(hRqc, &service, &message, &options, nullptr, &reason) != 0;
        if (!sent) error = replbridge::fetch_last_error();
    }
    if (sent) return 1;
    log(*host, "Velt FAILED to PUTMSG to: %s\n", name);
    replbridge::log_last_error(*host, error);
    return -1;
}

int close_connection(ReplHost* host) {
    if (!can_log(host)) return -1;
    bool closed = false;
    {
        // Taken although hosts are to shut down only when idle: a late send must not race.
        std::lock_guard lock(velt_mutex);
        closed = rqcTerminate(&hRqc) != 0;
    }
    if (closed) return 0;
    log(*host, "Velt FAILED to shutdown properly\n");
    return -1;
}

}  // namespace

extern "C" {

const ReplEntryTable ReplFuncs = {velt_initialize, velt_repl_getupdate, velt_repl_sendupdate,
                                  velt_shutdown_interface};

const ReplDescriptor ReplDllDef = {
    {'X', 'S', 'L', 'D'}, big_endian(1), big_endian(1), big_endian(4), &ReplFuncs};

REPLBRIDGE_EXPORT int qdxDllEntry(const ReplDescriptor** descriptor) {
    if (!descriptor) return 0;
    *descriptor = &ReplDllDef;
    return 1;
}

REPLBRIDGE_EXPORT int velt_initialize(ReplHost* host, const char* master_name,
                                      const char* slave_name, const char* reply_suffix,
                                      const char* slave_text) {
    return guarded(
        -1, [&] { return initialize(host, master_name, slave_name, reply_suffix, slave_text); });
}

REPLBRIDGE_EXPORT int velt_repl_getupdate(ReplHost* host, void* /*ignored*/, void** data) {
    return guarded(0, [&] { return get_update(host, data); });
}

REPLBRIDGE_EXPORT int velt_repl_sendupdate(ReplHost* host, const char* service_name,
                                           const char* service_address, const void* data,
                                           int length) {
    return guarded(-1,
                   [&] { return send_update(host, service_name, service_address, data, length); });
}

REPLBRIDGE_EXPORT int velt_shutdown_interface(ReplHost* host) {
    return guarded(-1, [&] { return close_connection(host); });
}

}  // extern "C"
