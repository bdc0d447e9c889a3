#include "EncoderArguments.h"

#include "Messages.h"

namespace {

OptionTake Refused(const std::string& message) {
    UsageError(message);
    return kOptionBad;
}

// "KEY=VALUE", both parts not empty.
OptionTake TakeEncoderSetting(const std::string& value, EncoderSettings* settings) {
    const size_t equals = value.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == value.size())
        return Refused("--encoder-option wants KEY=VALUE, an option of the encoder: '" + value + "'");
    settings->options.emplace_back(value.substr(0, equals), value.substr(equals + 1));
    return kOptionTaken;
}

}  // namespace

OptionTake TakeEncoderOption(Arguments& args, EncoderOptions* options) {
    const std::string option = args.Peek();
    EncoderSettings& video = options->video;
    struct Field {
        const char* name;
        std::string* value;
    };
    const Field fields[] = {
        {"-c:v", &video.videoCodec},    {"-vcodec", &video.videoCodec},    {"-crf", &video.crf},
        {"-preset", &video.preset},     {"-pix_fmt", &video.pixelFormat},  {"-b:v", &video.bitRate},
        {"-c:a", &options->audioCodec}, {"-acodec", &options->audioCodec}, {"-b:a", &options->audioBitRate},
        {"-f", &options->format},
    };
    std::string* target = nullptr;
    for (const Field& field : fields)
        if (option == field.name) target = field.value;
    if (target == nullptr && option != "--encoder-option") return kNotThisOption;
    args.Take();
    if (args.Done()) return Refused(option + " wants a value");
    const std::string value = args.Take();
    if (target == nullptr) return TakeEncoderSetting(value, &video);
    if (value.empty()) return Refused(option + " wants a value");
    *target = value;
    return kOptionTaken;
}
