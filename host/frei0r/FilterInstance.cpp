#include "FilterInstance.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "BlockOptions.h"
#include "Diagnostics.h"
#include "HostRecords.h"
#include "TableResources.h"
#include "Threads.h"

namespace {

constexpr int32_t kPixelBytes = 4;

template <class T>
std::unique_ptr<T> Allocate() {
    return std::unique_ptr<T>(new (std::nothrow) T());
}

// The editor's default block with the settings file's formulas and sliders,
// as the tool makes it; a file that cannot be read is reported (once per
// path the host sets) and left out.
void ReadSettings(FilterInstance& instance) {
    BlockOptions options;
    options.settingsPath = instance.values.settingsPath;
    std::memset(instance.base.get(), 0, sizeof(FilterParams));
    if (BuildBlock(options, instance.base.get()) != kBlockOk) LoadDefaultBlock(instance.base.get());
}

void MakeWantedBlock(FilterInstance& instance) {
    FilterParams& block = *instance.wanted;
    block = *instance.base;
    const ParamValues& values = instance.values;
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        if (!values.formula[i].empty() && !instance.formulaRefused[i]) StoreFormula(&block, i, values.formula[i]);
    }
    for (int32_t k = 0; k < kSliderCount; ++k)
        if (!SliderIsKept(values.slider[k])) block.sliderValue[k] = SliderPosition(values.slider[k]);
    block.singleExpression = values.single >= 0.5 ? 1 : 0;  // frei0r's bool threshold
}

void Compile(FilterInstance& instance) {
    CompileReportDecode(instance.state.get(), &instance.workspace->programs, "error");
    instance.compiled = true;
    ++instance.compileCount;
}

void UpdateBlock(FilterInstance& instance) {
    if (instance.settingsChanged) ReadSettings(instance);
    instance.settingsChanged = false;
    MakeWantedBlock(instance);
    FilterParams& current = instance.state->params;
    const bool formulasChanged = std::memcmp(instance.wanted->formula, current.formula, sizeof current.formula) != 0;
    current = *instance.wanted;
    if (formulasChanged || !instance.compiled) Compile(instance);
    instance.blockChanged = false;
}

void SetFormulaText(FilterInstance& instance, int32_t index, const char* text) {
    std::string& formula = instance.values.formula[index];
    if (formula == text) return;
    formula = text;
    const std::string origin = std::string("parameter ") + FindParamInfo(kParamFormula0 + index)->name;
    instance.formulaRefused[index] = CheckFormula(formula, origin) != kBlockOk;
    instance.blockChanged = true;
}

void SetDouble(FilterInstance& instance, double* field, double value) {
    // Bit-for-bit, so that NaN set twice is no change either.
    if (std::memcmp(field, &value, sizeof value) == 0) return;
    *field = value;
    instance.blockChanged = true;
}

// A built instance's block is fixed: no settings file, no formulas; its
// single-expression mode is the block's.
void StartBuilt(FilterInstance& instance, const FilterParams& embedded, int32_t framesPerSecond) {
    instance.built = true;
    instance.values.unsetFramesPerSecond = framesPerSecond;
    *instance.base = embedded;
    instance.settingsChanged = false;
    instance.values.single = embedded.singleExpression != 0 ? 1.0 : 0.0;
    ListBuiltParams(*instance.base, &instance.builtParams);
}

const BuiltParam* FindBuiltParam(const FilterInstance& instance, int32_t index) {
    return index >= 0 && index < instance.builtParams.count ? &instance.builtParams.param[index] : nullptr;
}

void SetBuiltParam(FilterInstance& instance, int32_t index, const void* value) {
    if (const BuiltParam* param = FindBuiltParam(instance, index))
        SetDouble(instance, &instance.values.slider[param->slider], *static_cast<const double*>(value));
}

void GetBuiltParam(const FilterInstance& instance, int32_t index, void* value) {
    const BuiltParam* param = FindBuiltParam(instance, index);
    if (param == nullptr) return;
    const double set = instance.values.slider[param->slider];
    *static_cast<double*>(value) = SliderIsKept(set) ? instance.base->sliderValue[param->slider] / 255.0 : set;
}

}  // namespace

std::unique_ptr<FilterInstance> MakeFilterInstance(uint32_t width, uint32_t height, const FilterParams* embedded,
                                                   int32_t builtFramesPerSecond) {
    // A size beyond int32_t turns negative and is refused with the rest.
    if (!FrameSizeFits(static_cast<int32_t>(width), static_cast<int32_t>(height))) return nullptr;
    auto instance = Allocate<FilterInstance>();
    if (!instance) return nullptr;
    instance->width = static_cast<int32_t>(width);
    instance->height = static_cast<int32_t>(height);
    instance->base = Allocate<FilterParams>();
    instance->wanted = Allocate<FilterParams>();
    instance->state = Allocate<InstanceState>();
    instance->workspace = Allocate<RenderWorkspace>();
    if (!instance->base || !instance->wanted || !instance->state || !instance->workspace) return nullptr;
    LoadLookupTables(instance->state.get());
    const int32_t cores = UsableProcessors();
    if (!SetFrameThreads(*instance, cores > kMaxFrameThreads ? kMaxFrameThreads : cores)) return nullptr;
    if (embedded != nullptr && embedded->built != 0) StartBuilt(*instance, *embedded, builtFramesPerSecond);
    return instance;
}

bool SetFrameThreads(FilterInstance& instance, int32_t threads) {
    if (threads < 1 || threads > kMaxFrameThreads) return false;
    while (static_cast<int32_t>(instance.helperStates.size()) < threads - 1) {
        auto state = Allocate<InstanceState>();
        auto rows = Allocate<RowWorkspace>();
        if (!state || !rows) return false;
        instance.helperStates.push_back(std::move(state));
        instance.helperRows.push_back(std::move(rows));
    }
    if (!instance.pool) instance.pool = Allocate<BandPool>();
    if (!instance.pool) return false;
    if (threads != instance.threads || static_cast<int32_t>(instance.pool->threads.size()) != threads - 1)
        RestartBandPool(*instance.pool, threads - 1);
    instance.threads = threads;
    return true;
}

void SetParamValue(FilterInstance& instance, int32_t index, const void* value) {
    if (instance.built) return SetBuiltParam(instance, index, value);
    ParamValues& values = instance.values;
    if (index == kParamSettings) {
        const char* path = *static_cast<const char* const*>(value);
        if (values.settingsPath == (path ? path : "")) return;
        values.settingsPath = path ? path : "";
        instance.settingsChanged = instance.blockChanged = true;
    } else if (index >= kParamFormula0 && index < kParamFormula0 + kFormulaCount) {
        const char* text = *static_cast<const char* const*>(value);
        SetFormulaText(instance, index - kParamFormula0, text ? text : "");
    } else if (index >= kParamSlider0 && index < kParamSlider0 + kSliderCount) {
        SetDouble(instance, &values.slider[index - kParamSlider0], *static_cast<const double*>(value));
    } else if (index == kParamSingle) {
        SetDouble(instance, &values.single, *static_cast<const double*>(value));
    } else if (index == kParamFrameRate) {
        values.frameRate = *static_cast<const double*>(value);  // read per frame
        values.frameRateSet = true;
    } else if (index == kParamClipLength) {
        values.clipLength = *static_cast<const double*>(value);
    }
}

void GetParamValue(const FilterInstance& instance, int32_t index, void* value) {
    if (instance.built) return GetBuiltParam(instance, index, value);
    const ParamValues& values = instance.values;
    const char** text = static_cast<const char**>(value);
    double* number = static_cast<double*>(value);
    if (index == kParamSettings) {
        *text = values.settingsPath.c_str();
    } else if (index >= kParamFormula0 && index < kParamFormula0 + kFormulaCount) {
        *text = values.formula[index - kParamFormula0].c_str();
    } else if (index >= kParamSlider0 && index < kParamSlider0 + kSliderCount) {
        *number = values.slider[index - kParamSlider0];
    } else if (index == kParamSingle) {
        *number = values.single;
    } else if (index == kParamFrameRate) {
        *number = values.frameRate;
    } else if (index == kParamClipLength) {
        *number = values.clipLength;
    }
}

void RenderInstanceFrame(FilterInstance& instance, double hostTime, const uint32_t* in, uint32_t* out) {
    const int64_t packed = int64_t{instance.width} * kPixelBytes;
    RenderInstanceRows(instance, hostTime, in, out, FrameRows{packed, packed});
}

void RenderInstanceRows(FilterInstance& instance, double hostTime, const uint32_t* in, uint32_t* out,
                        const FrameRows& rows) {
    if (in == nullptr || out == nullptr) return;
    if (instance.blockChanged) UpdateBlock(instance);
    const int64_t rowBytes = int64_t{instance.width} * kPixelBytes;
    const uint8_t* source = reinterpret_cast<const uint8_t*>(in);
    int64_t sourcePitch = rows.inPitch;
    // Neighbourhood functions read pixels the loop has already written; and
    // the vector executor reads rows top to bottom.
    if (static_cast<const void*>(in) == out || sourcePitch < 0) {
        instance.sourceCopy.resize(size_t(rowBytes) * size_t(instance.height));
        for (int32_t y = 0; y < instance.height; ++y)
            std::memcpy(instance.sourceCopy.data() + y * rowBytes, source + y * sourcePitch, size_t(rowBytes));
        source = instance.sourceCopy.data();
        sourcePitch = rowBytes;
    }
    const Rect bounds{0, 0, instance.width, instance.height};
    HostedFilterRecord frames;
    frames.source = {bounds, static_cast<int32_t>(sourcePitch), {}, const_cast<uint8_t*>(source)};
    frames.destination = {bounds, static_cast<int32_t>(rows.outPitch), {}, reinterpret_cast<uint8_t*>(out)};
    const ParamValues& values = instance.values;
    frames.record.time =
        FrameIndex(hostTime, values.frameRateSet ? values.frameRate : values.unsetFramesPerSecond, instance.clock);
    frames.record.total = LastFrameIndex(instance.values.clipLength);
    InstanceState* state = instance.state.get();
    RowHelper helpers[kMaxFrameThreads - 1];
    for (int32_t k = 0; k + 1 < instance.threads; ++k)
        helpers[k] = {instance.helperStates[size_t(k)].get(), instance.helperRows[size_t(k)].get()};
    const BandThreads pool = BandThreadsOf(*instance.pool);
    RenderFilterFrame(&frames.record, state, &state->params, instance.workspace.get(), nullptr, kSourceHoldsFrame,
                      helpers, instance.threads - 1, &pool);
}

void RefuseUnknownRows(FilterInstance& instance, uint32_t* out) {
    if (out == nullptr) return;
    std::memset(out, 0, size_t(instance.width) * size_t(instance.height) * kPixelBytes);
    if (instance.rowsRefused) return;
    instance.rowsRefused = true;
    const int32_t padded = (instance.width + kUnpaddedWidths - 1) / kUnpaddedWidths * kUnpaddedWidths;
    std::fprintf(stderr,
                 "fablix: FFmpeg pads the rows of frames %d pixels wide and the plug-in cannot find their layout: "
                 "it leaves them black; pad the width to a multiple of %d before the filter and crop it after, "
                 "as in \"pad=%d:ih,frei0r=...,crop=%d:ih:0:0\"\n",
                 instance.width, kUnpaddedWidths, padded, instance.width);
}
