#include "FfmpegSupport.h"

#include <cstdarg>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace {

std::mutex detailLock;   // decoder and encoder threads log too
std::string lastDetail;

void OnFfmpegLog(void* context, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_ERROR) return;
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
    std::lock_guard<std::mutex> hold(detailLock);
    lastDetail.assign(line, length);
}

}  // namespace

void PrepareFfmpeg() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(OnFfmpegLog); });
}

void ForgetFfmpegDetail() {
    std::lock_guard<std::mutex> hold(detailLock);
    lastDetail.clear();
}

std::string FfmpegErrorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    std::string result = text;
    std::lock_guard<std::mutex> hold(detailLock);
    if (!lastDetail.empty() && lastDetail != result) result += " (" + lastDetail + ")";
    return result;
}
