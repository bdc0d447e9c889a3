// fablix render [block options] [--time T] [--total N] [INPUT.png] OUTPUT.png
#include <cstdlib>
#include <memory>

#include "Commands.h"
#include "Png.h"
#include "Renderer.h"
#include "BuiltInMedia.h"
#include "MediaResult.h"

namespace {

struct RenderOptions {
    int32_t time = 0;
    int32_t total = 0;
    std::vector<std::string> paths;  // [input] output
};

bool ParseInt32(const std::string& text, int32_t* value) {
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || v < INT32_MIN || v > INT32_MAX) return false;
    *value = static_cast<int32_t>(v);
    return true;
}

int32_t TakeRenderOptions(Arguments& args, FilterParams* params, RenderOptions* options) {
    while (!args.Done()) {
        const int32_t status = TakeBlockOption(args, params);
        if (status == kExitOk) continue;
        if (status != -1) return status;
        const std::string argument = args.Take();
        if (argument == "--time" || argument == "--total") {
            int32_t* target = argument == "--time" ? &options->time : &options->total;
            if (args.Done() || !ParseInt32(args.Peek(), target))
                return UsageError(argument + " wants a whole number");
            args.Take();
        } else if (argument.size() > 1 && argument[0] == '-') {
            return UsageError("unknown option '" + argument + "'");
        } else {
            options->paths.push_back(argument);
        }
    }
    if (options->paths.empty() || options->paths.size() > 2)
        return UsageError("render wants [INPUT.png] OUTPUT.png");
    return kExitOk;
}

}  // namespace

int32_t RunRender(Arguments& args) {
    auto params = std::make_unique<FilterParams>();
    if (int32_t status = LoadDefaultBlock(params.get()); status != kExitOk) return status;
    RenderOptions options;
    if (int32_t status = TakeRenderOptions(args, params.get(), &options); status != kExitOk) return status;

    Frame source, destination;
    std::string message;
    if (options.paths.size() == 2) {
        if (ReadPng(options.paths[0].c_str(), source, message) != kMediaOk) {
            std::fprintf(stderr, "fablix: %s\n", message.c_str());
            return kExitFailed;
        }
    } else {
        MakeTestImage(source);
    }
    MakeFrame(destination, source.width, source.height);

    Renderer renderer;
    StartRenderer(renderer, *params);
    RenderOneFrame(renderer, source, destination, options.time, options.total);
    if (WritePng(options.paths.back().c_str(), destination, message) != kMediaOk) {
        std::fprintf(stderr, "fablix: %s\n", message.c_str());
        return kExitFailed;
    }
    return kExitOk;
}
