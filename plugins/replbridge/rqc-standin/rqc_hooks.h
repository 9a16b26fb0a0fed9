#ifndef RQC_HOOKS_H
#define RQC_HOOKS_H

// Test switches of the stand-in messaging library; not part of the messaging interface.
// They let a test make any call fail on demand and read back the records the library
// was last given, exactly as the caller built them.

#include "rqc.h"

#ifdef __cplusplus
extern "C" {
#endif

// Records kept by rqcTestLastRecord, each as received when the call began.
enum RqcTestRecord {
    RQC_TEST_APPDEF = 1,    // RqcAppDef of rqcSPIInitialize
    RQC_TEST_INITDTL,       // RqcInitDtl of rqcSPIInitialize
    RQC_TEST_MODE,          // int32_t mode of rqcSPIInitialize
    RQC_TEST_LDAP_SERVICE,  // RqcService of rqcSPISetLdapService
    RQC_TEST_LDAP_ADDRESS,  // address text of rqcSPISetLdapService, with its NUL
    RQC_TEST_PUT_SERVICE,   // RqcService of rqcPutRequest
    RQC_TEST_PUT_MESSAGE,   // RqcMessage of rqcPutRequest
    RQC_TEST_PUT_OPTIONS,   // RqcPutOptions of rqcPutRequest
    RQC_TEST_GET_MESSAGE,   // RqcMessage of rqcGetRequest
    RQC_TEST_GET_OPTIONS,   // RqcGetOptions of rqcGetRequest
    RQC_TEST_RECORD_KINDS
};

// Forgets the kept records and the call trace and makes no call fail, overriding
// RQC_TEST_FAIL.
RQC_API void rqcTestReset(void);

// Makes every later call of the listed operations fail with RQC_REASON_INJECTED until
// changed. "operations" is a comma-separated list of initialize, setservice, put, get,
// freebuffer, lasterror, terminate; null or "" fails none. Returns 0 (changing nothing) on
// an unknown name. The variable RQC_TEST_FAIL gives the list a process starts with.
RQC_API int rqcTestFailOn(const char* operations);

// Copies up to "size" bytes of the last record of that kind into "copy" and returns the
// record's full size, or 0 when none was received since the last reset.
RQC_API size_t rqcTestLastRecord(int kind, void* copy, size_t size);

// Writes the operations called since the last reset, comma-separated, as a NUL-terminated
// text cut to fit "size"; returns the length of the whole trace.
RQC_API size_t rqcTestCallTrace(char* text, size_t size);

#ifdef __cplusplus
}
#endif

#endif
