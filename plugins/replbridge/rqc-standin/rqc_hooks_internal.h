#ifndef RQC_HOOKS_INTERNAL_H
#define RQC_HOOKS_INTERNAL_H

// What the messaging calls of the stand-in tell its test switches.

#include <cstddef>

#include "rqc_hooks.h"

namespace rqc {

// Notes the call in the trace and says whether it is to fail on demand.
bool begin_call(RqcOperation operation) noexcept;

// Keeps a copy of a record as the call received it; a null record leaves none.
void keep_record(RqcTestRecord kind, const void* record, std::size_t size) noexcept;

// The operation's name in the trace and in RQC_TEST_FAIL, for example "put".
const char* operation_name(RqcOperation operation);

}  // namespace rqc

#endif
