#include "FfmpegSupport.h"

#include <cstdarg>
#include <cstdint>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace {

// Enough steps from a codec's or muxer's own private record to its context.
constexpr int32_t kMostParentSteps = 4;

// Every record FFmpeg logs about starts with its class; the format and codec
// contexts carry the detail in `opaque`, and a child record names where its
// parent's address lies. Anything else has nobody to tell.
FfmpegDetail* DetailFor(void* context) {
    for (int32_t step = 0; context != nullptr && step < kMostParentSteps; ++step) {
        const AVClass* type = *static_cast<const AVClass* const*>(context);
        if (type == nullptr) return nullptr;
        if (type == avformat_get_class())
            return static_cast<FfmpegDetail*>(static_cast<AVFormatContext*>(context)->opaque);
        if (type == avcodec_get_class())
            return static_cast<FfmpegDetail*>(static_cast<AVCodecContext*>(context)->opaque);
        if (type->parent_log_context_offset == 0) return nullptr;
        context = *reinterpret_cast<void**>(static_cast<uint8_t*>(context) + type->parent_log_context_offset);
    }
    return nullptr;
}

void OnFfmpegLog(void* context, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_ERROR) return;
    FfmpegDetail* detail = DetailFor(context);
    if (detail == nullptr) return;
    char line[512];
    int printPrefix = 0;  // the "[libx264 @ 0x...]" prefix tells the user nothing
    va_list copy;
    va_copy(copy, arguments);
    av_log_format_line2(context, level, format, copy, line, sizeof line, &printPrefix);
    va_end(copy);
    size_t length = std::strlen(line);
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r' || line[length - 1] == ' '))
        line[--length] = '\0';
    if (length == 0) return;
    std::lock_guard<std::mutex> hold(detail->lock);
    detail->line.assign(line, length);
}

}  // namespace

void PrepareFfmpeg() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(OnFfmpegLog); });
}

void KeepFfmpegDetail(AVFormatContext* context, FfmpegDetail* detail) {
    if (context != nullptr) context->opaque = detail;
}

void KeepFfmpegDetail(AVCodecContext* context, FfmpegDetail* detail) {
    if (context != nullptr) context->opaque = detail;
}

void ForgetFfmpegDetail(FfmpegDetail& detail) {
    std::lock_guard<std::mutex> hold(detail.lock);
    detail.line.clear();
}

std::string FfmpegErrorText(int error, FfmpegDetail& detail) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    std::string result = text;
    std::lock_guard<std::mutex> hold(detail.lock);
    if (!detail.line.empty() && detail.line != result) result += " (" + detail.line + ")";
    return result;
}
