#include "Options.h"

#include "DefaultParams.h"
#include "SettingsSaveLoad.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

int32_t UsageError(const std::string& message) {
    std::fprintf(stderr, "fablix: %s\n", message.c_str());
    return kExitUsage;
}

int32_t Failure(const std::string& message) {
    std::fprintf(stderr, "fablix: %s\n", message.c_str());
    return kExitFailed;
}

bool ParseNumber(const std::string& text, int64_t lo, int64_t hi, int32_t* value) {
    // strtoll alone would also take leading blanks and a plus sign.
    if (text.empty() || text.size() > 11 || !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-'))
        return false;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (*end != 0 || v < lo || v > hi) return false;
    *value = static_cast<int32_t>(v);
    return true;
}

namespace {

int32_t ChannelIndex(char letter) {
    const char* found = std::strchr(kChannelLetters, letter);
    return letter != 0 && found != nullptr ? static_cast<int32_t>(found - kChannelLetters) : -1;
}

int32_t AddFormula(BlockOptions* options, int32_t index, const std::string& text, const std::string& origin) {
    if (int32_t status = CheckFormula(text, origin); status != kExitOk) return status;
    BlockEdit edit;
    edit.kind = BlockEdit::kFormula;
    edit.index = index;
    edit.text = text;
    options->edits.push_back(edit);
    return kExitOk;
}

// "CH=PATH": the formula file for channel CH, taken byte for byte.
int32_t TakeFormulaFile(const std::string& value, BlockOptions* options) {
    const int32_t index = value.size() > 2 && value[1] == '=' ? ChannelIndex(value[0]) : -1;
    if (index < 0) return UsageError("--formula-file wants CH=PATH with CH one of b, g, r, a: '" + value + "'");
    const std::string path = value.substr(2);
    std::ifstream file(path, std::ios::binary);
    if (!file) return UsageError("cannot read formula file '" + path + "'");
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad()) return UsageError("cannot read formula file '" + path + "'");
    return AddFormula(options, index, text, "formula file '" + path + "'");
}

// "K=V": slider K (0..7) at V (0..255).
int32_t TakeSlider(const std::string& value, BlockOptions* options) {
    const size_t equals = value.find('=');
    BlockEdit edit;
    edit.kind = BlockEdit::kSlider;
    if (equals == std::string::npos || !ParseNumber(value.substr(0, equals), 0, kSliderCount - 1, &edit.index) ||
        !ParseNumber(value.substr(equals + 1), 0, 255, &edit.value))
        return UsageError("--slider wants K=V with K in 0..7 and V in 0..255: '" + value + "'");
    options->edits.push_back(edit);
    return kExitOk;
}

int32_t TakeSettings(const std::string& value, BlockOptions* options) {
    if (!options->settingsPath.empty())
        return UsageError("--settings given twice ('" + options->settingsPath + "' and '" + value + "')");
    if (value.empty()) return UsageError("--settings wants a file name");
    options->settingsPath = value;
    return kExitOk;
}

void ApplyEdit(const BlockEdit& edit, FilterParams* params) {
    switch (edit.kind) {
        case BlockEdit::kFormula:
            std::memset(params->formula[edit.index], 0, kFormulaSlotSize);
            std::memcpy(params->formula[edit.index], edit.text.data(), edit.text.size());
            break;
        case BlockEdit::kSlider: params->sliderValue[edit.index] = edit.value; break;
        case BlockEdit::kSingle: params->singleExpression = 1; break;
    }
}

}  // namespace

int32_t CheckFormula(const std::string& text, const std::string& origin) {
    if (text.size() >= kFormulaSlotSize)
        return UsageError(origin + " holds " + std::to_string(text.size()) +
                          " bytes; a formula holds at most 1023");
    if (text.find('\0') != std::string::npos)
        return UsageError(origin + " holds a zero byte, which a formula cannot hold");
    return kExitOk;
}

int32_t SetFormula(FilterParams* params, int32_t index, const std::string& text,
                   const std::string& origin) {
    if (int32_t status = CheckFormula(text, origin); status != kExitOk) return status;
    BlockEdit edit;
    edit.index = index;
    edit.text = text;
    ApplyEdit(edit, params);
    return kExitOk;
}

int32_t TakeBlockOption(Arguments& args, BlockOptions* options) {
    const std::string option = args.Peek();
    const bool channelOption = option.size() == 2 && option[0] == '-' && ChannelIndex(option[1]) >= 0;
    const bool known = channelOption || option == "--formula-file" || option == "--slider" ||
                       option == "--single" || option == "--settings";
    if (!known) return -1;
    args.Take();
    if (option == "--single") {
        options->edits.push_back(BlockEdit{BlockEdit::kSingle, 0, 1, {}});
        return kExitOk;
    }
    if (args.Done()) return UsageError(option + " wants a value");
    const std::string value = args.Take();
    if (channelOption) return AddFormula(options, ChannelIndex(option[1]), value, "formula " + option);
    if (option == "--formula-file") return TakeFormulaFile(value, options);
    if (option == "--settings") return TakeSettings(value, options);
    return TakeSlider(value, options);
}

std::string SettingsLoadMessage(const std::string& path, int32_t result, const SettingsOutcome& outcome,
                                int error) {
    std::string message = "cannot read settings file '" + path + "': ";
    if (result == kSettingsFileOpenError)
        return message + (error != 0 ? std::generic_category().message(error) : "it cannot be opened");
    if (outcome.section != kSectionNone)
        message += std::string(SettingsSectionName(outcome.section)) + " section, line " +
                   std::to_string(outcome.line) + ": ";
    return message + SettingsStatusText(outcome.status);
}

int32_t BuildBlock(const BlockOptions& options, FilterParams* params) {
    if (int32_t status = LoadDefaultBlock(params); status != kExitOk) return status;
    if (!options.settingsPath.empty()) {
        std::error_code ignored;
        if (std::filesystem::is_directory(options.settingsPath, ignored))
            return UsageError("cannot read settings file '" + options.settingsPath + "': it is a folder");
        SettingsOutcome outcome{};
        errno = 0;
        const int32_t result = LoadSettingsFile(options.settingsPath.c_str(), params, &outcome);
        const int error = errno;
        if (result != 0) return UsageError(SettingsLoadMessage(options.settingsPath, result, outcome, error));
    }
    for (const BlockEdit& edit : options.edits) ApplyEdit(edit, params);
    return kExitOk;
}

int32_t LoadDefaultBlock(FilterParams* params) {
    if (LoadDefaultParams(params) == kFilterParamsSize) return kExitOk;
    std::fprintf(stderr, "fablix: the built-in parameter block is missing\n");
    return kExitFailed;
}

bool ParseThreads(const std::string& text, int32_t* threads) {
    if (ParseNumber(text, 1, kMaxThreads, threads)) return true;
    UsageError("--threads wants a whole number from 1 to " + std::to_string(kMaxThreads) + ": '" + text + "'");
    return false;
}
