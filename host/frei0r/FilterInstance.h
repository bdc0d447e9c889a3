// One filter instance of the frei0r plug-in: the parameters its host set,
// the block they make, and that block compiled, for frames of one size.
// Instances share nothing, so a host may run any number of them at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "BandPool.h"
#include "BuiltTiming.h"
#include "FilterParams.h"
#include "HostRows.h"
#include "InstanceState.h"
#include "Parameters.h"
#include "Render.h"

// The parameter values as the host set them.
struct ParamValues {
    std::string settingsPath;
    std::string formula[kFormulaCount];  // empty: the settings file's
    double slider[kSliderCount] = {kKeepSlider, kKeepSlider, kKeepSlider, kKeepSlider,
                                   kKeepSlider, kKeepSlider, kKeepSlider, kKeepSlider};
    double single = 0;
    double frameRate = kDefaultFrameRate;  // as the host set it, or reported when unset
    bool frameRateSet = false;             // unset: 25 fps, or a built plug-in's own rate
    double unsetFramesPerSecond = kUnsetFramesPerSecond;
    double clipLength = kDefaultClipLength;
};

struct FilterInstance {
    int32_t width = 0;
    int32_t height = 0;
    bool built = false;  // a built plug-in: renders its block, offers `builtParams` alone
    BuiltParams builtParams{};
    ParamValues values;
    bool settingsChanged = true;              // the settings file is to be read again
    bool blockChanged = true;                 // the block is to be made again from the values
    bool formulaRefused[kFormulaCount] = {};  // too long for a slot: the settings file's is kept
    std::unique_ptr<FilterParams> base;       // the editor's default block, then the settings file; or the built block
    std::unique_ptr<FilterParams> wanted;     // base with the values on top
    std::unique_ptr<InstanceState> state;     // its params: the block the programs were made from
    std::unique_ptr<RenderWorkspace> workspace;  // its decoded programs and row scratch
    bool compiled = false;
    int32_t compileCount = 0;
    std::vector<uint8_t> sourceCopy;  // the input, when a host renders in place
    const void* caller = nullptr;     // where the host's last call returned to, and who it is
    HostCaller callerKind = HostCaller::kPacked;
    HostClock clock = HostClock::kSeconds;  // FFmpeg's is milliseconds
    bool rowsRefused = false;               // a frame whose rows could not be found was reported
    // The host calls on one thread; the frame's rows are shared among this
    // many, each helper with a state and row workspace of its own.
    int32_t threads = 1;
    std::vector<std::unique_ptr<InstanceState>> helperStates;
    std::vector<std::unique_ptr<RowWorkspace>> helperRows;
    std::unique_ptr<BandPool> pool;  // threads - 1 threads, kept across frames
};

// The most threads an instance renders a frame on.
constexpr int32_t kMaxFrameThreads = 16;

// Renders the instance's frames on `threads` threads (1 to kMaxFrameThreads;
// the output is the same byte for byte); false when the helpers' memory
// cannot be had, and the instance keeps what it had.
bool SetFrameThreads(FilterInstance& instance, int32_t threads);

// A new instance for frames of width x height, every parameter at its
// default, the lookup tables loaded, rendering on as many threads as the
// process may use cores (at most kMaxFrameThreads); nullptr for a size below 1 x 1, frames
// above 1 GiB, or memory that cannot be had. With an `embedded` block of
// `built` 1 it is a built plug-in's instance, which renders that block with
// its own sliders until its parameters set them (the time scale at its
// defaults); otherwise the editor's. A built instance's "t" runs at
// `builtFramesPerSecond`.
std::unique_ptr<FilterInstance> MakeFilterInstance(uint32_t width, uint32_t height,
                                                   const FilterParams* embedded = nullptr,
                                                   int32_t builtFramesPerSecond = kDefaultBuiltFramesPerSecond);

// `value` points at a double (bool and double parameters) or at a char*
// (string parameters; nullptr reads as empty). The text is copied. A formula over
// 1023 bytes is reported on standard error and not used. Unknown indexes
// are ignored. A built instance's indexes are those of its `builtParams`.
void SetParamValue(FilterInstance& instance, int32_t index, const void* value);

// Writes a double, or for strings the instance's own char*,
// valid until the parameter is set again. A built instance's slider that
// was never set gives the block's position / 255.
void GetParamValue(const FilterInstance& instance, int32_t index, void* value);

// Renders one frame: `in` and `out` hold width x height pixels (blue,
// green, red, alpha), rows packed, and may be the same frame. The block is
// made again only when a parameter changed, and compiled again only when
// its formulas changed; each compile reports failed formulas on standard
// error as `fablix compile` does.
// `hostTime` is in the unit of the instance's clock.
void RenderInstanceFrame(FilterInstance& instance, double hostTime, const uint32_t* in, uint32_t* out);

// RenderInstanceFrame for frames whose rows lie `rows.inPitch` and
// `rows.outPitch` bytes apart (negative: bottom row first). Of each row only
// its width x 4 bytes are read and written; the padding after them is left
// as the host has it.
void RenderInstanceRows(FilterInstance& instance, double hostTime, const uint32_t* in, uint32_t* out,
                        const FrameRows& rows);

// For a frame of FFmpeg's whose rows cannot be found: reports once per
// instance, with the way around, and makes `out` black and transparent
// (its width x height x 4 bytes, as frei0r lays out a frame).
void RefuseUnknownRows(FilterInstance& instance, uint32_t* out);
