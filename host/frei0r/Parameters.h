// The parameters the frei0r plug-in offers its host. FFmpeg's filter_params
// sets them by position and cannot skip one, so the order puts first what
// is most often given: the settings file, the formulas, then the frame
// rate and the clip length (a clip of another rate than 25, or a formula
// that reads "T", needs them), and the sliders last.
#pragma once

#include <cstdint>

#include "FilterParams.h"

constexpr int32_t kParamSettings = 0;
constexpr int32_t kParamFormula0 = 1;  // formulas 0..3: B, G, R, A
constexpr int32_t kParamFrameRate = kParamFormula0 + kFormulaCount;
constexpr int32_t kParamClipLength = kParamFrameRate + 1;
constexpr int32_t kParamSingle = kParamClipLength + 1;
constexpr int32_t kParamSlider0 = kParamSingle + 1;
constexpr int32_t kParamCount = kParamSlider0 + kSliderCount;

// frei0r's parameter types, without its header.
enum ParamKind : int32_t { kKindBool = 0, kKindDouble = 1, kKindString = 4 };

struct ParamInfo {
    const char* name;
    ParamKind kind;
    const char* explanation;
};

// nullptr for an index outside 0..kParamCount - 1.
const ParamInfo* FindParamInfo(int32_t index);

// A built plug-in offers only the controls its author enabled, as its
// compact dialog shows them, in the order of the dialog's rows: each
// enabled slider, and for each enabled map its two sliders (2i and 2i + 1,
// the ends of its ramp), all doubles with the mapping of the sliders below.
// frei0r's position type would suit a map, but MLT ignores it.
enum : int32_t {
    kBuiltNameSize = kTextSlotSize + 2,  // a map's name and " 1" or " 2"
};

struct BuiltParam {
    int32_t slider;  // the slider it sets
    char name[kBuiltNameSize];
    const char* explanation;
};

struct BuiltParams {
    int32_t count;
    BuiltParam param[kSliderCount];
};

// The parameters of a plug-in built from `block`. An enabled map hides the
// enable flags of its two sliders, as in the compact dialog. A slider is
// named with the author's name for it, a map's sliders with the map's
// name and " 1" or " 2"; one whose name is empty, unterminated, taken by an
// earlier one or the plain name of any slider ("slider-K") is named
// "slider-K" instead.
void ListBuiltParams(const FilterParams& block, BuiltParams* params);

// frei0r doubles run from 0 to 1; these are the mappings onto the block.
//
// Sliders: position = round(v * 255), so v = k / 255 gives k exactly.
// A negative value keeps the position of the settings file (or of the
// editor's default block).
constexpr double kKeepSlider = -1.0;
bool SliderIsKept(double value);
int32_t SliderPosition(double value);

// Frame rate and clip length: a value of 1 or more is the number itself,
// frames per second and frames, for hosts that take numbers beyond 0..1
// (FFmpeg, MLT). A value below 1 is the scaled form that every host
// takes, and that earlier command lines give: frames per second / 1000 on
// the host's own clock (0.025: 25 fps in MLT and GStreamer; in FFmpeg,
// whose clock runs in milliseconds, 0.000025), frames / 1000000 (0.00025:
// 250 frames). The defaults, reported to hosts, are those scaled forms; a
// frame rate the host never set is 25 fps on the host's time in seconds.
constexpr double kPlainValueFrom = 1.0;
constexpr double kFramesPerSecondUnit = 1000.0;
constexpr double kClipFramesUnit = 1000000.0;
constexpr double kDefaultFrameRate = 25 / kFramesPerSecondUnit;
constexpr double kDefaultClipLength = 250 / kClipFramesUnit;
constexpr double kUnsetFramesPerSecond = 25;

// The unit of the time a host hands f0r_update: seconds, as frei0r says,
// or FFmpeg's milliseconds.
enum class HostClock : int32_t { kSeconds = 0, kMilliseconds = 1 };

// "t" for a host time: with a frame rate of 1 or more, the time in seconds
// (FFmpeg's milliseconds converted) times it; below 1, the host's own time
// times the rate times 1000. Rounded to the nearest frame, kept within 32
// bits.
int32_t FrameIndex(double hostTime, double frameRate, HostClock clock);

// "T": the index of the clip's last frame; 0 for a clip of one frame or
// less.
int32_t LastFrameIndex(double clipLength);
