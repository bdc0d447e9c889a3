// fablix save [block options] [-y | -n] OUTPUT.fbl
// fablix show [block options]
#include <cstdio>
#include <memory>

#include "BlockText.h"
#include "Commands.h"
#include "OutputOptions.h"
#include "SettingsSaveLoad.h"

namespace {

// Block options and, when `path` is given, exactly one file name and the
// overwrite options.
int32_t TakeArguments(Arguments& args, BlockOptions* block, std::string* path, OverwritePolicy* policy,
                      const char* usage) {
    while (!args.Done()) {
        if (args.TakeOptionsEnd()) continue;
        OptionTake taken = args.optionsEnded ? kNotThisOption : TakeBlockOption(args, block);
        if (taken == kNotThisOption && policy != nullptr && !args.optionsEnded) taken = TakeOverwriteOption(args, policy);
        if (taken == kOptionBad) return kExitUsage;
        if (taken == kOptionTaken) continue;
        const std::string argument = args.Take();
        if (argument.size() > 1 && argument[0] == '-' && !args.optionsEnded)
            return UsageError("unknown option '" + argument + "'");
        if (path == nullptr || !path->empty()) return UsageError("unexpected argument '" + argument + "'; " + usage);
        *path = argument;
    }
    if (path != nullptr && path->empty()) return UsageError(usage);
    return kExitOk;
}

std::string SaveFailureReason(int32_t result, const SettingsOutcome& outcome) {
    if (result == kSettingsFileOpenError && outcome.status == kSettingsCannotReplace)
        return "the written file cannot take its place";
    if (result == kSettingsFileOpenError)
        return "it cannot be created (a missing or read-only folder, a read-only file, or a folder of that name)";
    std::string reason = SettingsStatusText(outcome.status);
    if (outcome.section != kSectionNone)
        reason += std::string(" (") + SettingsSectionName(outcome.section) + " section, line " +
                  std::to_string(outcome.line) + ")";
    return reason;
}

}  // namespace

int32_t RunSave(Arguments& args) {
    BlockOptions block;
    std::string path;
    OverwritePolicy policy = kKeepExisting;
    if (int32_t status = TakeArguments(args, &block, &path, &policy, "save wants one OUTPUT.fbl");
        status != kExitOk)
        return status;
    if (int32_t status = RefuseExistingOutput(path, policy); status != kExitOk) return status;
    auto params = std::make_unique<FilterParams>();
    SettingsNotes notes{};
    if (int32_t status = BuildBlock(block, params.get(), &notes); status != kExitOk) return status;
    SettingsOutcome outcome{};
    const int32_t result = SaveSettingsFile(path.c_str(), params.get(), &outcome);
    if (result != 0)
        return Failure("cannot save settings to '" + path + "': " + SaveFailureReason(result, outcome) +
                       "; nothing was changed");
    // A cut formula is saved as it was read, so the new file keeps the cut.
    for (int32_t i = 0; i < kFormulaCount; ++i)
        if (notes.formulaKept[i] < notes.formulaLength[i])
            std::fprintf(stderr, "fablix: note: formula %d is saved as cut on reading '%s': %d bytes of its %lld\n",
                         static_cast<int>(i), block.settingsPath.c_str(), static_cast<int>(notes.formulaKept[i]),
                         static_cast<long long>(notes.formulaLength[i]));
    if (params->singleExpression)
        std::fprintf(stderr, "fablix: note: a settings file keeps the formulas and sliders only, not --single\n");
    std::printf("saved the formulas and sliders to '%s'\n", path.c_str());
    return kExitOk;
}

int32_t RunShow(Arguments& args) {
    BlockOptions block;
    if (int32_t status = TakeArguments(args, &block, nullptr, nullptr, "show takes block options only"); status != kExitOk)
        return status;
    auto params = std::make_unique<FilterParams>();
    if (int32_t status = BuildBlock(block, params.get()); status != kExitOk) return status;
    std::fputs(BlockText(*params).c_str(), stdout);
    return kExitOk;
}
