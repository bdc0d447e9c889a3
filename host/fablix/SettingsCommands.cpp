// fablix save [block options] [-y | -n] OUTPUT.fbl
// fablix show [block options] [--json]
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "BlockText.h"
#include "Commands.h"
#include "Interrupt.h"
#include "MediaResult.h"
#include "OutputFile.h"
#include "OutputOptions.h"
#include "SettingsFile.h"
#include "SettingsStream.h"

namespace {

// Block options and, when `path` is given, exactly one file name and the
// overwrite options; when `json` is given, --json.
ExitCode TakeArguments(Arguments& args, BlockOptions* block, std::string* path, OverwritePolicy* policy,
                       const char* usage, bool* json = nullptr) {
    while (!args.Done()) {
        if (args.TakeOptionsEnd()) continue;
        if (json != nullptr && !args.optionsEnded && args.Peek() == "--json") {
            args.Take();
            *json = true;
            continue;
        }
        OptionTake taken = args.optionsEnded ? kNotThisOption : TakeBlockOption(args, block);
        if (taken == kNotThisOption && policy != nullptr && !args.optionsEnded)
            taken = TakeOverwriteOption(args, policy);
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

constexpr const char* kCannotCreate =
    "it cannot be created (a missing or read-only folder, a read-only file, or a folder of that name)";

// Why a file could not be created, in the words of the usual causes, or
// the system's own for any other (a name too long, a full disk).
std::string CreateFailureReason(int error) {
    if (error == ENOENT || error == ENOTDIR || error == EACCES || error == EPERM || error == EROFS || error == EISDIR)
        return kCannotCreate;
    return ErrnoText(error);
}

// A replaced file must be one we may write: a rename alone would not ask,
// and would replace a read-only file or a folder's entry. 0 or the errno.
int ReplaceableProblem(const StagedOutput& output) {
    struct stat existing {};
    // A link to nowhere is replaced itself: the probe would create its target.
    if (!output.replace || stat(output.target.c_str(), &existing) != 0) return 0;
    FILE* probe = std::fopen(output.target.c_str(), "ab");
    if (probe == nullptr) return errno == 0 ? EACCES : errno;
    std::fclose(probe);
    return 0;
}

// Writes the settings into the staged temporary and puts it on the disk.
// An empty reason on success; the temporary is removed on failure.
std::string WriteSettings(const StagedOutput& output, const FilterParams* params) {
    if (const int problem = ReplaceableProblem(output); problem != 0) return CreateFailureReason(problem);
    FILE* file = std::fopen(output.temporary.c_str(), "wbx");
    if (file == nullptr) return CreateFailureReason(errno);
    SettingsStream stream = MakeSettingsStream(file);
    SettingsOutcome outcome{};
    errno = 0;
    RunWriters(&stream, params, &outcome);
    int error = outcome.status != kSettingsOk ? errno : 0;  // a failed write's cause, where it had one
    // Most bytes leave the stream's buffer only in the flush, so a full
    // disk often shows only there.
    if (outcome.status == kSettingsOk && (std::fflush(file) != 0 || fsync(fileno(file)) != 0)) error = errno;
    if (std::fclose(file) != 0 && error == 0 && outcome.status == kSettingsOk) error = errno;
    if (outcome.status == kSettingsOk && error == 0) return "";
    DiscardOutput(output.temporary);
    if (error != 0) return ErrnoText(error);
    std::string reason = SettingsStatusText(outcome.status);
    if (outcome.section != kSectionNone)
        reason += std::string(" (") + SettingsSectionName(outcome.section) + " section, line " +
                  std::to_string(outcome.line) + ")";
    return reason;
}

}  // namespace

ExitCode RunSave(Arguments& args) {
    BlockOptions block;
    std::string path;
    OverwritePolicy policy = kKeepExisting;
    if (ExitCode status = TakeArguments(args, &block, &path, &policy, "save wants one OUTPUT.fbl"); status != kExitOk)
        return status;
    if (ExitCode status = RefuseExistingOutput(path, policy); status != kExitOk) return status;
    auto params = std::make_unique<FilterParams>();
    SettingsNotes notes{};
    if (BlockStatus status = BuildBlock(block, params.get(), &notes); status != kBlockOk) return BlockExitCode(status);
    CatchStopSignals();
    const StagedOutput output = StageOutput(path, policy == kReplaceExisting);
    if (const std::string reason = WriteSettings(output, params.get()); !reason.empty())
        return StopRequested() ? Interrupted()
                               : Failure("cannot save settings to '" + path + "': " + reason + "; nothing was changed");
    PausePointForTests("commit");
    std::string message;
    const int32_t committed = CommitUnlessStopped([&] { return CommitOutput(output, message); });
    if (committed == kMediaInterrupted) {
        DiscardOutput(output.temporary);
        return Interrupted();
    }
    if (committed != kMediaOk) return Failure(message);
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

ExitCode RunShow(Arguments& args) {
    BlockOptions block;
    bool json = false;
    if (ExitCode status =
            TakeArguments(args, &block, nullptr, nullptr, "show takes block options and --json only", &json);
        status != kExitOk)
        return status;
    auto params = std::make_unique<FilterParams>();
    if (BlockStatus status = BuildBlock(block, params.get()); status != kBlockOk) return BlockExitCode(status);
    std::fputs((json ? BlockJson(*params) : BlockText(*params)).c_str(), stdout);
    return kExitOk;
}
