#ifndef RQC_SPOOL_QUEUE_H
#define RQC_SPOOL_QUEUE_H

// Spool-folder message queues of the stand-in messaging library (librqcxtra). A queue is a
// folder of the spool folder named after its service; each message is one file whose name
// orders it by the time it was put. Several processes may put and take at once: a message
// appears by rename, so it is never seen half-written, and a taker claims it by rename, so
// no message is taken twice. Files beginning with "." are work in progress and ignored.

#include <stddef.h>

#include "rqc.h"

#ifdef __cplusplus
extern "C" {
#endif

// What went wrong in a failed call: the system error and the call with its path.
typedef struct RqcxStatus {
    int error;         // errno of the failed system call, 0 when none
    char detail[200];  // NUL-terminated, for example "rename /spool/Q/.tmp-1 /spool/Q/1.msg"
} RqcxStatus;

// 1 when the "length" bytes at "name" can name a queue: not empty, not "." or "..", no "/"
// and no NUL.
RQC_API int rqcxQueueNameValid(const char* name, size_t length);

// Creates the spool folder (not its parents) and the queue's folder when missing.
// Returns 1, or 0 with *status filled.
RQC_API int rqcxQueueCreate(const char* spool, const char* queue, RqcxStatus* status);

// Adds one message of "length" bytes to the queue, creating its folder when missing.
// Returns 1, or 0 with *status filled and the queue unchanged.
RQC_API int rqcxQueuePut(const char* spool, const char* queue, const void* data, size_t length,
                         RqcxStatus* status);

// Takes the oldest message: returns 1 with *length and *data (a malloc'd buffer the caller
// frees; null for a message of 0 bytes), 0 when the queue is empty or missing, and -1 with
// *status filled when the spool cannot be read (the message then stays queued).
RQC_API int rqcxQueueTake(const char* spool, const char* queue, void** data, size_t* length,
                          RqcxStatus* status);

#ifdef __cplusplus
}
#endif

#endif
