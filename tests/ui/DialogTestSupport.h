// A settings dialog as setup opens it, without a window: the host's record
// with a real source and destination frame, the InstanceState with its
// tables, the DialogContext in a handle, and the headless controls.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CompileDriver.h"
#include "DefaultParams.h"
#include "DialogContext.h"
#include "HeadlessControls.h"
#include "RESOURCE.h"
#include "Render.h"
#include "TableResources.h"

namespace ui_test {

constexpr int32_t kFrameWidth = 24, kFrameHeight = 18;

inline uint8_t SourceByte(int32_t x, int32_t row, int32_t p) {
    return static_cast<uint8_t>(x * 37 + row * 53 + p * 71 + 11);
}

struct Frame {
    std::vector<uint8_t> pixels;
    PixelMap map{};
    PixelMap* address = &map;
    explicit Frame(uint8_t fill) {
        map.bounds = {0, 0, kFrameWidth, kFrameHeight};
        map.rowBytes = kFrameWidth * 4;
        pixels.assign(static_cast<size_t>(map.rowBytes) * kFrameHeight, fill);
        map.baseAddress = pixels.data();
    }
};

// The host's frame loader: records the times asked for.
inline std::vector<int32_t>& LoadedTimes() {
    static thread_local std::vector<int32_t> times;
    return times;
}
inline void FABLIX_STDCALL LoadSourceFrame(int32_t time, PixelMap**, PixelMap*, intptr_t) {
    LoadedTimes().push_back(time);
}

inline void SetFormulas(FilterParams& params, const char* f0, const char* f1, const char* f2, const char* f3) {
    const char* formulas[kFormulaCount] = {f0, f1, f2, f3};
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        std::memset(params.formula[i], 0, kFormulaSlotSize);
        std::strcpy(params.formula[i], formulas[i]);
    }
}

inline FilterParams EditorBlock() {
    FilterParams params;
    std::memset(&params, 0, sizeof params);
    LoadDefaultParams(&params);
    return params;
}

// A built block that shows the given maps and sliders.
inline FilterParams BuiltBlock(std::vector<int32_t> maps, std::vector<int32_t> sliders) {
    FilterParams params = EditorBlock();
    params.built = 1;
    std::memset(params.mapEnabled, 0, sizeof params.mapEnabled);
    std::memset(params.sliderEnabled, 0, sizeof params.sliderEnabled);
    for (int32_t i : maps) params.mapEnabled[i] = 1;
    for (int32_t k : sliders) params.sliderEnabled[k] = 1;
    params.hasControls = maps.empty() && sliders.empty() ? 0 : 1;
    for (int32_t i = 0; i < kMapCount; ++i) std::snprintf(params.mapName[i], kTextSlotSize, "Tone %d", i);
    for (int32_t k = 0; k < kSliderCount; ++k) std::snprintf(params.sliderName[k], kTextSlotSize, "Knob %d", k);
    std::strcpy(params.author, "Ada's filters");
    return params;
}

class Session {
public:
    explicit Session(const FilterParams& params, bool compact = false, int32_t total = 9)
        : source(0), destination(0x5A), dialog(compact) {
        for (int32_t row = 0; row < kFrameHeight; ++row)
            for (int32_t x = 0; x < kFrameWidth; ++x)
                for (int32_t p = 0; p < 4; ++p)
                    source.pixels[static_cast<size_t>(row * source.map.rowBytes + x * 4 + p)] = SourceByte(x, row, p);
        state.reset(new InstanceState);
        std::memset(state.get(), 0, sizeof(InstanceState));
        state->params = params;
        LoadLookupTables(state.get());
        record.sourceMap = &source.address;
        record.destinationMap = &destination.address;
        record.total = total;
        record.sourceFrameCallback = LoadSourceFrame;
        context.compact = compact ? 1 : 0;
        context.filterRecord = &record;
        context.instanceState = state.get();
        context.params = &state->params;
        LoadedTimes().clear();
    }
    void Open() { dialog.Init(&contextAddress); }

    FilterParams& Params() { return state->params; }
    InstanceState* State() { return state.get(); }
    const Control& Field(int32_t i) { return dialog.At(IDC_FORMULA_0 + i); }

    // The destination frame rendered directly from the block as it stands.
    std::vector<uint8_t> ExpectedFrame(int32_t time) {
        auto copy = std::make_unique<InstanceState>();
        std::memcpy(copy.get(), state.get(), sizeof(InstanceState));
        Frame target(0x5A);
        FilterRecord r = record;
        r.destinationMap = &target.address;
        r.time = time;
        r.sourceFrameCallback = nullptr;
        CompileFormulas(copy.get(), &copy->params);
        auto workspace = std::make_unique<RenderWorkspace>();
        DecodeFormulas(copy.get(), &workspace->programs);
        RenderFilterFrame(&r, copy.get(), &copy->params, workspace.get(), nullptr, kSourceByCallback);
        return target.pixels;
    }

    Frame source;
    Frame destination;
    FilterRecord record{};
    std::unique_ptr<InstanceState> state;
    DialogContext context{};
    void* contextAddress = &context;  // the host handle: a variable that holds the block's address
    HeadlessDialog dialog;
};

}  // namespace ui_test
