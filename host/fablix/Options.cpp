#include "Options.h"

#include "DefaultParams.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

int32_t UsageError(const std::string& message) {
    std::fprintf(stderr, "fablix: %s\n", message.c_str());
    return kExitUsage;
}

namespace {

int32_t ChannelIndex(char letter) {
    const char* found = std::strchr(kChannelLetters, letter);
    return letter != 0 && found != nullptr ? static_cast<int32_t>(found - kChannelLetters) : -1;
}

// A whole decimal number within [lo, hi].
bool ParseNumber(const std::string& text, int64_t lo, int64_t hi, int32_t* value) {
    if (text.empty() || text.size() > 11) return false;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (*end != 0 || v < lo || v > hi) return false;
    *value = static_cast<int32_t>(v);
    return true;
}

// "CH=PATH": the formula file for channel CH, taken byte for byte.
int32_t TakeFormulaFile(const std::string& value, FilterParams* params) {
    const int32_t index = value.size() > 2 && value[1] == '=' ? ChannelIndex(value[0]) : -1;
    if (index < 0) return UsageError("--formula-file wants CH=PATH with CH one of b, g, r, a: '" + value + "'");
    const std::string path = value.substr(2);
    std::ifstream file(path, std::ios::binary);
    if (!file) return UsageError("cannot read formula file '" + path + "'");
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad()) return UsageError("cannot read formula file '" + path + "'");
    return SetFormula(params, index, text, "formula file '" + path + "'");
}

// "K=V": slider K (0..7) at V (0..255).
int32_t TakeSlider(const std::string& value, FilterParams* params) {
    const size_t equals = value.find('=');
    int32_t slider = 0, position = 0;
    if (equals == std::string::npos || !ParseNumber(value.substr(0, equals), 0, kSliderCount - 1, &slider) ||
        !ParseNumber(value.substr(equals + 1), 0, 255, &position))
        return UsageError("--slider wants K=V with K in 0..7 and V in 0..255: '" + value + "'");
    params->sliderValue[slider] = position;
    return kExitOk;
}

}  // namespace

int32_t SetFormula(FilterParams* params, int32_t index, const std::string& text,
                   const std::string& origin) {
    if (text.size() >= kFormulaSlotSize)
        return UsageError(origin + " holds " + std::to_string(text.size()) +
                          " bytes; a formula holds at most 1023");
    if (text.find('\0') != std::string::npos)
        return UsageError(origin + " holds a zero byte, which a formula cannot hold");
    std::memset(params->formula[index], 0, kFormulaSlotSize);
    std::memcpy(params->formula[index], text.data(), text.size());
    return kExitOk;
}

int32_t TakeBlockOption(Arguments& args, FilterParams* params) {
    const std::string option = args.Peek();
    const bool channelOption = option.size() == 2 && option[0] == '-' && ChannelIndex(option[1]) >= 0;
    const bool known = channelOption || option == "--formula-file" || option == "--slider" ||
                       option == "--single";
    if (!known) return -1;
    args.Take();
    if (option == "--single") {
        params->singleExpression = 1;
        return kExitOk;
    }
    if (args.Done()) return UsageError(option + " wants a value");
    const std::string value = args.Take();
    if (channelOption) return SetFormula(params, ChannelIndex(option[1]), value, "formula " + option);
    if (option == "--formula-file") return TakeFormulaFile(value, params);
    return TakeSlider(value, params);
}

int32_t LoadDefaultBlock(FilterParams* params) {
    if (LoadDefaultParams(params) == kFilterParamsSize) return kExitOk;
    std::fprintf(stderr, "fablix: the built-in parameter block is missing\n");
    return kExitFailed;
}
