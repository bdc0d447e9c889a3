#include "MediaResult.h"

const char* MediaCodeName(MediaCode code) {
    switch (code) {
    case kMediaOk: return "ok";
    case kMediaCannotOpen: return "cannot open";
    case kMediaNotPng: return "not a PNG file";
    case kMediaBadData: return "damaged data";
    case kMediaUnsupported: return "unsupported";
    case kMediaCannotWrite: return "cannot write";
    case kMediaTooLarge: return "too large";
    case kMediaBadArgument: return "bad argument";
    case kMediaEncodeFailed: return "encoding failed";
    case kMediaFrameMissing: return "frame missing";
    case kMediaInterrupted: return "interrupted";
    default: return "unknown result";
    }
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }
