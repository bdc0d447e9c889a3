#include "Parameters.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

constexpr ParamInfo kParams[kParamCount] = {
    {"settings", kKindString,
     "Path of a %RGB-1.0 settings file (.fbl) whose formulas and sliders come first; empty: the editor's default"},
    {"formula-b", kKindString, "Formula of the blue byte (formula 0); empty keeps the settings file's"},
    {"formula-g", kKindString, "Formula of the green byte (formula 1); empty keeps the settings file's"},
    {"formula-r", kKindString, "Formula of the red byte (formula 2); empty keeps the settings file's"},
    {"formula-a", kKindString, "Formula of the alpha byte (formula 3); empty keeps the settings file's"},
    {"frame-rate", kKindDouble,
     "Frames per second (30), or below 1 frames per second / 1000 (0.03); t = time in seconds * frames per second"},
    {"clip-length", kKindDouble, "Frames in the clip (250), or below 1 frames / 1000000 (0.00025); T = frames - 1"},
    {"single-expression", kKindBool, "Run the alpha formula alone and store its value in all four bytes"},
    {"slider-0", kKindDouble, "Slider 0: 0..1 is position 0..255 (round(v*255)); below 0 keeps the settings file's"},
    {"slider-1", kKindDouble, "Slider 1: 0..1 is position 0..255 (round(v*255)); below 0 keeps the settings file's"},
    {"slider-2", kKindDouble, "Slider 2: 0..1 is position 0..255 (round(v*255)); below 0 keeps the settings file's"},
    {"slider-3", kKindDouble, "Slider 3: 0..1 is position 0..255 (round(v*255)); below 0 keeps the settings file's"},
    {"slider-4", kKindDouble, "Slider 4: 0..1 is position 0..255 (round(v*255)); below 0 keeps the settings file's"},
    {"slider-5", kKindDouble, "Slider 5: 0..1 is position 0..255 (round(v*255)); below 0 keeps the settings file's"},
    {"slider-6", kKindDouble, "Slider 6: 0..1 is position 0..255 (round(v*255)); below 0 keeps the settings file's"},
    {"slider-7", kKindDouble, "Slider 7: 0..1 is position 0..255 (round(v*255)); below 0 keeps the settings file's"},
};

}  // namespace

const ParamInfo* FindParamInfo(int32_t index) { return index >= 0 && index < kParamCount ? &kParams[index] : nullptr; }

bool SliderIsKept(double value) { return !(value >= 0); }  // NaN is kept too

int32_t SliderPosition(double value) {
    if (SliderIsKept(value)) return 0;
    return static_cast<int32_t>(std::lround(std::fmin(value, 1.0) * 255));
}

namespace {

// Rounds to the nearest whole number, NaN to 0, and keeps the result within
// 32 bits.
int32_t RoundedInt32(double value) {
    if (std::isnan(value)) return 0;
    constexpr double kLow = std::numeric_limits<int32_t>::min(), kHigh = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::fmax(kLow, std::fmin(kHigh, std::round(value))));
}

}  // namespace

int32_t FrameIndex(double hostTime, double frameRate, HostClock clock) {
    if (!(frameRate >= kPlainValueFrom)) return RoundedInt32(hostTime * frameRate * kFramesPerSecondUnit);
    constexpr double kMillisecondsPerSecond = 1000.0;
    const double seconds = clock == HostClock::kMilliseconds ? hostTime / kMillisecondsPerSecond : hostTime;
    return RoundedInt32(seconds * frameRate);
}

int32_t LastFrameIndex(double clipLength) {
    const int32_t frames = RoundedInt32(clipLength >= kPlainValueFrom ? clipLength : clipLength * kClipFramesUnit);
    return frames > 1 ? frames - 1 : 0;
}

namespace {

constexpr char kBuiltSliderExplanation[] = "A slider: 0..1 is position 0..255 (round(v*255))";
constexpr const char* kBuiltMapExplanation[2] = {
    "A map's first slider (map(i,n) ramps between its two): 0..1 is position 0..255 (round(v*255))",
    "A map's second slider (map(i,n) ramps between its two): 0..1 is position 0..255 (round(v*255))",
};

const char* PlainName(int32_t slider) { return kParams[kParamSlider0 + slider].name; }

bool IsUsableName(const BuiltParams& params, const char* name) {
    if (name[0] == '\0') return false;
    for (int32_t k = 0; k < kSliderCount; ++k)
        if (std::strcmp(name, PlainName(k)) == 0) return false;
    for (int32_t i = 0; i < params.count; ++i)
        if (std::strcmp(params.param[i].name, name) == 0) return false;
    return true;
}

// `name` is the author's name, `suffix` what tells a map's two sliders
// apart; an unterminated name counts as none.
void AddBuiltParam(BuiltParams* params, int32_t slider, const char* slot, const char* suffix, const char* explanation) {
    BuiltParam& param = params->param[params->count];
    param.slider = slider;
    param.explanation = explanation;
    const bool terminated = strnlen(slot, kTextSlotSize) < kTextSlotSize;
    std::snprintf(param.name, sizeof param.name, "%s%s", terminated ? slot : "", terminated ? suffix : "");
    if (!terminated || !IsUsableName(*params, param.name))
        std::snprintf(param.name, sizeof param.name, "%s", PlainName(slider));
    ++params->count;
}

}  // namespace

void ListBuiltParams(const FilterParams& block, BuiltParams* params) {
    params->count = 0;
    for (int32_t map = 0; map < kMapCount; ++map) {
        const int32_t first = 2 * map;
        if (block.mapEnabled[map] != 0) {
            // An empty map name leaves " 1" and " 2", which are no names.
            const bool named = block.mapName[map][0] != '\0';
            AddBuiltParam(params, first, block.mapName[map], named ? " 1" : "", kBuiltMapExplanation[0]);
            AddBuiltParam(params, first + 1, block.mapName[map], named ? " 2" : "", kBuiltMapExplanation[1]);
            continue;
        }
        for (int32_t k = first; k <= first + 1; ++k)
            if (block.sliderEnabled[k] != 0) AddBuiltParam(params, k, block.sliderName[k], "", kBuiltSliderExplanation);
    }
}
