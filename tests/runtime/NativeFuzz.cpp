// libFuzzer target: the input is up to four formulas, one a line, rendered
// on a small frame by the interpreter and by native code at every
// instruction set this processor has; any difference traps, and the address
// sanitizer watches every read the driver makes of the frame. Run it with a
// scratch corpus first, so that the compiler's corpus stays as it is:
//   native_fuzz -max_len=4096 -max_total_time=60 /tmp/corpus tests/compiler/corpus
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "RuntimeSupport.h"

namespace {

struct Target {
    TestClip clip{13, 5};
    FilterParams params{};
    std::unique_ptr<InstanceState> state = NewState();
    std::unique_ptr<RenderWorkspace> workspace = std::make_unique<RenderWorkspace>();

    Target() {
        for (size_t i = 0; i < clip.source.pixels.size(); ++i) clip.source.pixels[i] = uint8_t(i * 37 + 11);
        for (int32_t k = 0; k < kSliderCount; ++k) params.sliderValue[k] = 31 * k;
        clip.record.time = 3;
        clip.record.total = 9;
    }
    std::vector<uint8_t> Render(ExecutorChoice executor) {
        workspace->programs.executor = executor;
        RenderFilterFrame(&clip.record, state.get(), &params, workspace.get(), nullptr, kSourceHoldsFrame);
        return clip.destination.pixels;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Target* target = new Target;
    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t at = 0;
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const std::string formula = at < text.size() ? text.substr(at, end - at) : "a";
        std::snprintf(target->params.formula[i], kFormulaSlotSize, "%s", formula.c_str());
        at = end + 1;
    }
    for (int32_t single = 0; single < 2; ++single) {
        target->params.singleExpression = single;
        CompileFormulas(target->state.get(), &target->params);
        DecodeFormulas(target->state.get(), &target->workspace->programs);
        const std::vector<uint8_t> expected = target->Render(kInterpreterOnly);
        for (ExecutorChoice executor : {kNativeAvx512Only, kNativeAvx2Only, kBestExecutor})
            if (target->Render(executor) != expected) __builtin_trap();
    }
    return 0;
}
