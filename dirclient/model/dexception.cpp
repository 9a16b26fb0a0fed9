#include "dexception.h"

#include "model_dump.h"

const char* const DEXC_ASYNCHRONOUS_ERROR = "ERROR: asynchronous operation error";

const char* dexception_info_message(int errorCode) {
    switch (errorCode) {
        case DEXC_ADD:
            return "ERROR: can not add entry";
        case DEXC_AUTHENTICATE:
            return "ERROR: can not authenticate";
        case DEXC_COMPARE:
            return "ERROR: can not compare";
        case DEXC_CONNECT:
            return "ERROR: can not connect";
        case DEXC_REMOVE:
        case DEXC_REMOVE_NOT_LEAF:
            return "ERROR: can not remove";
        case DEXC_DISCONNECT:
            return "ERROR: can not disconnect";
        case DEXC_MODIFY:
            return "ERROR: can not modify";
        case DEXC_RENAME:
            return "ERROR: can not rename";
        case DEXC_SEARCH:
            return "ERROR: can not search";
        case DEXC_READ:
            return "ERROR: can not read";
        case DEXC_MOVE:
            return "ERROR: can not move entry";
        case DEXC_COMPARE_ATTR_NAMES:
            return "ERROR: can not construct a CompareAttrNames object";
        case DEXC_GET_RESULT:
            return "ERROR: can not get result";
        case DEXC_ENABLE_CACHE:
        case DEXC_SET_TIMEOUT:
            return "ERROR: can not enable the cache";
        default:
            return nullptr;
    }
}

bool DException::setInfoMsg(const char* info) {
    infoMsg_ = info;
    return true;
}

bool DException::setInfoSMsg(const char* sinfo) {
    infoSMsg_ = sinfo;
    return true;
}

bool DException::setErrorCode(int code) {
    errorCode_ = code;
    return true;
}

char* DException::ToString() {
    return ToString(0, true);
}

char* DException::ToString(int indent, bool compact) {
    DumpBuffer out;
    dump(out, this, indent, compact);
    return out.release();
}
