#ifndef REPLBRIDGE_H
#define REPLBRIDGE_H

// The replication bridge plug-in (replbridge.so) as its host, a directory server, sees it.
// The host loads the plug-in, calls qdxDllEntry to find the descriptor ReplDllDef, checks
// its eye-catcher and words, and reaches the four entry points through ReplFuncs. Words of
// the descriptor are big-endian (read them with ntohl); addresses are native.

#include <stdint.h>

#define REPLBRIDGE_EXPORT __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

// Stores in *data the address of a new buffer of "length" bytes, or null when there is
// none to be had; the buffer belongs to the host.
typedef void (*ReplAllocateFunc)(void** data, int length);

// Writes one formatted message. The bridge always passes the level REPL_LOG_LEVEL and
// exactly three arguments after the format, 0 for those the format does not use.
typedef void (*ReplLogFunc)(int level, const char* format, ...);

enum { REPL_LOG_LEVEL = 0xFFFF };

// The host record given as the first argument of the entry points.
typedef struct ReplHost {
    ReplAllocateFunc allocate;
    ReplLogFunc log;
} ReplHost;

typedef int (*ReplInitializeFunc)(ReplHost* host, const char* master_name, const char* slave_name,
                                  const char* reply_suffix, const char* slave_text);
typedef int (*ReplGetUpdateFunc)(ReplHost* host, void* ignored, void** data);
typedef int (*ReplSendUpdateFunc)(ReplHost* host, const char* service_name,
                                  const char* service_address, const void* data, int length);
typedef int (*ReplShutdownFunc)(ReplHost* host);

// The entry table ReplFuncs: 4 addresses (32 bytes on a 64-bit host).
typedef struct ReplEntryTable {
    ReplInitializeFunc initialize;
    ReplGetUpdateFunc getupdate;
    ReplSendUpdateFunc sendupdate;
    ReplShutdownFunc shutdown;
} ReplEntryTable;

// The descriptor ReplDllDef (24 bytes on a 64-bit host).
typedef struct ReplDescriptor {
    char eyeCatcher[4];   // "XSLD"
    uint32_t version;     // 1, big-endian
    uint32_t release;     // 1, big-endian
    uint32_t entryCount;  // 4, big-endian
    const ReplEntryTable* entries;
} ReplDescriptor;

REPLBRIDGE_EXPORT extern const ReplDescriptor ReplDllDef;
REPLBRIDGE_EXPORT extern const ReplEntryTable ReplFuncs;

// Stores the address of ReplDllDef in *descriptor and returns 1; returns 0 when
// "descriptor" is null.
REPLBRIDGE_EXPORT int qdxDllEntry(const ReplDescriptor** descriptor);

// Opens the process's one messaging connection: as the master "master_name", whose reply
// destination is "REPLY" followed by "reply_suffix", when a master name is given, else as
// the slave "slave_name" with "slave_text". Names longer than 132 bytes are cut to 132.
// Returns 0, or -1 (logged through the host) on failure, on a missing or incomplete host
// record, on a text too long for its room and when the connection is open already.
REPLBRIDGE_EXPORT int velt_initialize(ReplHost* host, const char* master_name,
                                      const char* slave_name, const char* reply_suffix,
                                      const char* slave_text);

// Fetches the oldest update of the application's queue into a buffer from the host's
// allocate function, stored in *data. Returns its length; 0 with *data null when there is
// none, when the fetch failed, or when the update has 0 bytes.
REPLBRIDGE_EXPORT int velt_repl_getupdate(ReplHost* host, void* ignored, void** data);

// Sends "length" bytes at "data" (still the caller's afterwards) to the queue of the
// service "service_name" (null means ""), published at "service_address" (may be null).
// Returns 1, or -1 (logged through the host) on failure.
REPLBRIDGE_EXPORT int velt_repl_sendupdate(ReplHost* host, const char* service_name,
                                           const char* service_address, const void* data,
                                           int length);

// Closes the connection. Returns 0, or -1 (logged through the host) on failure.
REPLBRIDGE_EXPORT int velt_shutdown_interface(ReplHost* host);

#ifdef __cplusplus
}
#endif

#endif
