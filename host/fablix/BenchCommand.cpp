// fablix bench [block options] [--size WxH] [--frames N] [--threads N] [--json]
// Renders the block on a built-in frame, without any file, and says how
// fast: frames are shared among the threads as a clip's are, each worker
// rendering whole frames with an instance of its own.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "BuiltInMedia.h"
#include "Commands.h"
#include "FormulaCheck.h"
#include "MediaResult.h"
#include "Renderer.h"
#include "VectorExecutor.h"

namespace {

struct BenchOptions {
    BlockOptions block;
    int32_t width = 1920, height = 1080;
    int32_t frames = 20;
    int32_t threads = 0;  // 0: every core
    bool json = false;
};

bool ParseSize(const std::string& text, int32_t* width, int32_t* height) {
    const size_t x = text.find('x');
    return x != std::string::npos && ParseNumber(text.substr(0, x), 1, 65536, width) &&
           ParseNumber(text.substr(x + 1), 1, 65536, height) && FrameSizeFits(*width, *height);
}

ExitCode TakeBenchOptions(Arguments& args, BenchOptions* options) {
    while (!args.Done()) {
        if (args.TakeOptionsEnd()) continue;
        if (args.optionsEnded) return UsageError("bench takes no files: '" + args.Peek() + "'");
        const OptionTake taken = TakeBlockOption(args, &options->block);
        if (taken == kOptionTaken) continue;
        if (taken == kOptionBad) return kExitUsage;
        const std::string argument = args.Take();
        if (argument == "--json") {
            options->json = true;
            continue;
        }
        if (argument != "--size" && argument != "--frames" && argument != "--threads")
            return UsageError(argument.size() > 1 && argument[0] == '-' ? "unknown option '" + argument + "'"
                                                                        : "bench takes no files: '" + argument + "'");
        if (args.Done()) return UsageError(argument + " wants a value");
        const std::string value = args.Take();
        if (argument == "--size" && !ParseSize(value, &options->width, &options->height))
            return UsageError("--size wants WxH, each from 1, within 1 GiB of pixels: '" + value + "'");
        if (argument == "--frames" && !ParseNumber(value, 1, 1000000, &options->frames))
            return UsageError("--frames wants a whole number from 1 to 1000000: '" + value + "'");
        if (argument == "--threads" && !ParseThreads(value, &options->threads)) return kExitUsage;
    }
    return kExitOk;
}

// A hue wheel across, darker downwards: every byte value occurs.
void FillBenchFrame(Frame& frame) {
    for (int32_t y = 0; y < frame.height; ++y)
        for (int32_t x = 0; x < frame.width; ++x)
            HuePixel(int32_t(int64_t{x} * 1536 / frame.width), 255 - int32_t(int64_t{y} * 255 / frame.height),
                     FramePixel(frame, x, y));
}

// What runs the formulas: native code or the vector executor, at its
// instruction set, or the interpreter for formulas that need it.
std::string ExecutorName(const Renderer& renderer) {
    const FramePlan& plan = renderer.workers[0].workspace->programs.plan;
    if (plan.native != kNoNativeIsa) return std::string("native ") + NativeIsaName(plan.native);
    if (!plan.vector) return "interpreter";
    int64_t targets[8];
    return VectorTargets(targets, 8) > 0 ? std::string("vector ") + VectorTargetName(targets[0]) : "vector";
}

}  // namespace

ExitCode RunBench(Arguments& args) {
    BenchOptions options;
    if (ExitCode status = TakeBenchOptions(args, &options); status != kExitOk) return status;
    auto params = std::make_unique<FilterParams>();
    if (BlockStatus status = BuildBlock(options.block, params.get()); status != kBlockOk) return BlockExitCode(status);
    CheckBlockFormulas(*params, true, FormulaCheckWords{"bench", "benchmarking", "", ""});
    const int32_t threads = options.threads > 0 ? options.threads : DefaultThreadCount();

    Renderer renderer;
    StartRenderer(renderer, *params, threads);
    Frame source;
    if (MakeFrame(source, options.width, options.height) != kMediaOk) return Failure("cannot make the frame");
    FillBenchFrame(source);
    std::vector<Frame> destinations(static_cast<size_t>(threads));
    for (Frame& frame : destinations) MakeFrame(frame, options.width, options.height);
    const int32_t total = options.frames - 1;
    // One frame per worker first, untimed: tables, pages and caches warm.
    for (int32_t k = 0; k < threads; ++k)
        RenderWithWorker(renderer, k, source, destinations[size_t(k)], 0, total, nullptr);

    std::atomic<int32_t> next{0};
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (int32_t k = 0; k < threads; ++k)
        workers.emplace_back([&, k] {
            for (int32_t time; (time = next++) < options.frames;)
                RenderWithWorker(renderer, k, source, destinations[size_t(k)], time, total, nullptr);
        });
    for (std::thread& worker : workers) worker.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const double msPerFrame = seconds * 1000 / options.frames;
    const double mpixels = double(options.width) * options.height * options.frames / seconds / 1e6;
    const std::string executor = ExecutorName(renderer);
    if (options.json) {
        std::printf(
            "{\"width\": %d, \"height\": %d, \"frames\": %d, \"threads\": %d, \"executor\": \"%s\", "
            "\"msPerFrame\": %.3f, \"mpixelsPerSecond\": %.1f}\n",
            options.width, options.height, options.frames, threads, executor.c_str(), msPerFrame, mpixels);
    } else {
        std::printf("%dx%d, %d frames, %d thread%s, %s: %.2f ms per frame, %.1f Mpixel/s\n", options.width,
                    options.height, options.frames, threads, threads == 1 ? "" : "s", executor.c_str(), msPerFrame,
                    mpixels);
    }
    return kExitOk;
}
