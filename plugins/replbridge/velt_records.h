#ifndef REPLBRIDGE_VELT_RECORDS_H
#define REPLBRIDGE_VELT_RECORDS_H

// Constant templates of the records the bridge hands to the messaging library. Every call
// starts from fresh copies, so nothing that an earlier call or the library left in a record
// can leak into the next one.

#include <cstddef>
#include <cstring>

#include "rqc.h"

namespace replbridge {

constexpr int32_t kLibraryDefault = -2;

constexpr void set_eye_catcher(char (&field)[4], const char (&text)[5]) {
    for (int i = 0; i < 4; ++i)
        field[i] = text[i];
}

constexpr RqcAppDef kAppDefTemplate = [] {
    RqcAppDef record{};
    set_eye_catcher(record.eyeCatcher, "BXAD");
    record.version = 3;
    return record;
}();

constexpr RqcInitDtl kInitDtlTemplate = [] {
    RqcInitDtl record{};
    record.kind = 5;
    return record;
}();

constexpr RqcMessage kGetMessageTemplate = [] {
    RqcMessage record{};
    set_eye_catcher(record.eyeCatcher, "BXMD");
    record.version = 3;
    for (int32_t& selector : record.selectors)
        selector = kLibraryDefault;
    record.word124 = -1;
    return record;
}();

constexpr RqcMessage kSendMessageTemplate = [] {
    RqcMessage record = kGetMessageTemplate;
    record.selectors[1] = 1;
    return record;
}();

constexpr RqcGetOptions kGetOptionsTemplate = [] {
    RqcGetOptions record{};
    set_eye_catcher(record.eyeCatcher, "BXGO");
    record.version = 3;
    record.options = 0x100;
    record.selector = kLibraryDefault;
    return record;
}();

constexpr RqcPutOptions kPutOptionsTemplate = [] {
    RqcPutOptions record{};
    set_eye_catcher(record.eyeCatcher, "BXPO");
    record.version = 3;
    record.options = 0x200;
    record.word368 = 0x00200000;
    return record;
}();

constexpr RqcService kServiceTemplate = [] {
    RqcService record{};
    set_eye_catcher(record.eyeCatcher, "BXSV");
    record.version = 1;
    return record;
}();

// Longest service name that fits its record.
constexpr std::size_t kServiceNameRoom = sizeof(RqcService::name);
// Room, with the terminating NUL, for "REPLY" and the reply suffix of a master.
constexpr std::size_t kReplyTextRoom = 512;
// Room, with the terminating NUL, for the text of a slave.
constexpr std::size_t kSlaveTextRoom = sizeof(RqcInitDtl::text);

// Copies up to N bytes of "text" into a zero-filled field: NUL-padded, unterminated when
// the text fills it.
template <std::size_t N>
void copy_padded(char (&field)[N], const char* text) {
    std::memcpy(field, text, strnlen(text, N));
}

}  // namespace replbridge

#endif
