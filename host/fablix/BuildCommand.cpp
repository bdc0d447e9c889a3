// fablix build [--frei0r] [block options] [--title T] [--author A] [--module NAME]
//              [--map I=NAME] [--slider-name K=NAME] [--enable LIST]
//              [--image PATH] [--allow-failing] [-y | -n] OUTPUT.rvp | OUTPUT.so
//
// Writes a stand-alone plug-in through the builder's writer: a copy of the
// plug-in image with the block, the title and the module name patched in;
// with --frei0r a copy of fablix.so with the block patched in. A block
// whose formulas do not all compile is refused unless --allow-failing is
// given, since the plug-in would render those channels as 0.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include "CommandTable.h"
#include "Commands.h"
#include "CompileDriver.h"
#include "Diagnostics.h"
#include "ElfImage.h"
#include "FormulaCheck.h"
#include "Interrupt.h"
#include "KdenliveEffect.h"
#include "MediaResult.h"
#include "OutputFile.h"
#include "OutputOptions.h"
#include "PlatformServices.h"
#include "PluginPath.h"
#include "PluginWriter.h"
#include "SlotText.h"

namespace fs = std::filesystem;

namespace {

// The usage, from the command table.
std::string Usage() {
    return "build wants one OUTPUT.rvp (or with --frei0r OUTPUT.so): " + CommandSynopsis(*FindCommand("build"));
}

// The longest texts the build dialog lets through, in bytes of their slots.
constexpr size_t kTitleMax = 253;
constexpr size_t kNameMax = 254;
// Far more than any plug-in image or fablix.so; the copy is read and
// mapped whole, so nothing larger is taken.
constexpr uintmax_t kImageSizeMax = uintmax_t{64} << 20;

// What each kind of plug-in is written from and named.
struct PluginKind {
    const char* extension;       // with its dot
    const char* installedImage;  // where an installed tool has it, from the tool's folder
    const char* buildTreeImage;  // the image of this build tree
    const char* imageKind;
    const char* buildHint;  // how to make the default image
};
const PluginKind kRvpKind = {".rvp", FABLIX_INSTALLED_IMAGE, FABLIX_DEFAULT_IMAGE, "plug-in image",
                             "build the win32 preset (cmake --preset win32 && cmake --build --preset win32)"};
const PluginKind kFrei0rKind = {".so", FABLIX_INSTALLED_FREI0R_IMAGE, FABLIX_DEFAULT_FREI0R_IMAGE, "frei0r image",
                                "build the linux preset (cmake --build --preset linux)"};

// The image an installed tool copies, found from the tool's own folder so
// that the package works wherever it is unpacked; the build tree's image
// when there is none, as for a tool run from its build folder.
std::string DefaultImage(const PluginKind& kind) {
    std::error_code error;
    const fs::path tool = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        const fs::path installed = tool.parent_path() / kind.installedImage;
        if (fs::is_regular_file(installed, error)) return installed.lexically_normal().string();
    }
    return kind.buildTreeImage;
}

// The build fields of the command line; each is applied only when given.
struct BuildOptions {
    std::optional<std::string> title;
    std::optional<std::string> author;
    std::optional<std::string> module;
    std::string mapName[kMapCount];
    bool mapNamed[kMapCount] = {};
    std::string sliderName[kSliderCount];
    bool sliderNamed[kSliderCount] = {};
    bool enableGiven = false;
    int32_t mapEnabled[kMapCount] = {};
    int32_t sliderEnabled[kSliderCount] = {};
    std::optional<std::string> image;  // the kind's default image when not given
    bool frei0r = false;
    std::optional<int32_t> framesPerSecond;     // of a frei0r plug-in's "t"
    std::optional<std::string> kdenliveFolder;  // where the effect description goes, else beside OUTPUT
    bool allowFailing = false;                  // build even when a formula does not compile
    OverwritePolicy policy = kKeepExisting;
    std::string output;

    const PluginKind& Kind() const { return frei0r ? kFrei0rKind : kRvpKind; }
    std::string Image() const { return image ? *image : DefaultImage(Kind()); }
};

bool TakeValue(Arguments& args, const std::string& option, std::string* value) {
    if (args.Done()) {
        UsageError(option + " needs a value");
        return false;
    }
    *value = args.Take();
    return true;
}

ExitCode CheckText(const std::string& option, const std::string& text, size_t max) {
    if (text.size() > max)
        return UsageError(option + " holds at most " + std::to_string(max) + " bytes, not " +
                          std::to_string(text.size()));
    return kExitOk;
}

OptionTake Taken(int32_t status) { return status == kExitOk ? kOptionTaken : kOptionBad; }

// "I=NAME" with I in 0..last.
ExitCode TakeIndexedName(Arguments& args, const std::string& option, int32_t last, std::string* names, bool* given) {
    std::string value;
    if (!TakeValue(args, option, &value)) return kExitUsage;
    const size_t equals = value.find('=');
    int32_t index = 0;
    if (equals == std::string::npos || !ParseNumber(value.substr(0, equals), 0, last, &index))
        return UsageError(option + " wants I=NAME with I from 0 to " + std::to_string(last) + ", not '" + value + "'");
    names[index] = value.substr(equals + 1);
    given[index] = true;
    return CheckText(option, names[index], kNameMax);
}

// "map1,slider2,...": the controls the new plug-in offers, all others off.
// A map and the two sliders that drive it exclude each other, as in the
// build dialog.
ExitCode TakeEnable(Arguments& args, BuildOptions* options) {
    std::string list;
    if (!TakeValue(args, "--enable", &list)) return kExitUsage;
    options->enableGiven = true;
    for (int32_t& flag : options->mapEnabled) flag = 0;
    for (int32_t& flag : options->sliderEnabled) flag = 0;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        const std::string item = list.substr(start, end - start);
        int32_t index = 0;
        if (item.rfind("map", 0) == 0 && ParseNumber(item.substr(3), 0, kMapCount - 1, &index))
            options->mapEnabled[index] = 1;
        else if (item.rfind("slider", 0) == 0 && ParseNumber(item.substr(6), 0, kSliderCount - 1, &index))
            options->sliderEnabled[index] = 1;
        else
            return UsageError("--enable: '" + item + "' is not a control; use map0 to map3 and slider0 to slider7");
        start = end + 1;
    }
    for (int32_t map = 0; map < kMapCount; ++map)
        for (int32_t slider = 2 * map; slider <= 2 * map + 1; ++slider)
            if (options->mapEnabled[map] && options->sliderEnabled[slider])
                return UsageError("--enable: map" + std::to_string(map) + " and slider" + std::to_string(slider) +
                                  " exclude each other (map " + std::to_string(map) + " is set by sliders " +
                                  std::to_string(2 * map) + " and " + std::to_string(2 * map + 1) + ")");
    return kExitOk;
}

// One build option at args.Peek().
OptionTake TakeBuildOption(Arguments& args, BuildOptions* options) {
    const std::string option = args.Peek();
    const struct {
        const char* name;
        std::optional<std::string>* field;
        size_t max;
    } texts[] = {{"--title", &options->title, kTitleMax},
                 {"--author", &options->author, kNameMax},
                 {"--module", &options->module, kNameMax}};
    for (const auto& text : texts) {
        if (option != text.name) continue;
        args.Take();
        std::string value;
        if (!TakeValue(args, option, &value)) return kOptionBad;
        *text.field = value;
        return Taken(CheckText(option, value, text.max));
    }
    if (option == "--map" || option == "--slider-name") {
        args.Take();
        return Taken(option == "--map"
                         ? TakeIndexedName(args, option, kMapCount - 1, options->mapName, options->mapNamed)
                         : TakeIndexedName(args, option, kSliderCount - 1, options->sliderName, options->sliderNamed));
    }
    if (option == "--enable") {
        args.Take();
        return Taken(TakeEnable(args, options));
    }
    if (option == "--image") {
        args.Take();
        std::string image;
        if (!TakeValue(args, option, &image)) return kOptionBad;
        options->image = image;
        return kOptionTaken;
    }
    if (option == "--frei0r") {
        args.Take();
        options->frei0r = true;
        return kOptionTaken;
    }
    if (option == "--kdenlive") {
        args.Take();
        std::string folder;
        if (!TakeValue(args, option, &folder)) return kOptionBad;
        if (folder.empty())
            return Taken(UsageError("--kdenlive wants a folder, such as ~/.local/share/kdenlive/effects"));
        options->kdenliveFolder = folder;
        return kOptionTaken;
    }
    if (option == "--fps") {
        args.Take();
        std::string value;
        int32_t rate = 0;
        if (!TakeValue(args, option, &value)) return kOptionBad;
        if (!ParseNumber(value, 1, kMaxBuiltFramesPerSecond, &rate))
            return Taken(UsageError("--fps wants a whole number of frames per second from 1 to " +
                                    std::to_string(kMaxBuiltFramesPerSecond) + ": '" + value + "'"));
        options->framesPerSecond = rate;
        return kOptionTaken;
    }
    if (option == "--allow-failing") {
        args.Take();
        options->allowFailing = true;
        return kOptionTaken;
    }
    return TakeOverwriteOption(args, &options->policy);
}

bool IsPluginName(const std::string& path, const PluginKind& kind) {
    const std::string extension = kind.extension;
    return path.size() >= extension.size() &&
           path.compare(path.size() - extension.size(), extension.size(), extension) == 0;
}

// The file name of OUTPUT without its extension (".rvp" alone gives the
// empty name).
std::string OutputStem(const BuildOptions& options) {
    const std::string name = fs::path(options.output).filename().string();
    const size_t extension = std::string(options.Kind().extension).size();
    return IsPluginName(name, options.Kind()) ? name.substr(0, name.size() - extension) : name;
}

// Where the Kdenlive effect description of a frei0r plug-in goes: beside
// OUTPUT as NAME.xml, or with --kdenlive in that folder under the name
// Kdenlive's own descriptions have.
std::string DescriptionPath(const BuildOptions& options) {
    if (options.kdenliveFolder)
        return (fs::path(*options.kdenliveFolder) / KdenliveEffectFileName(OutputStem(options))).string();
    return (fs::path(options.output).parent_path() / (OutputStem(options) + ".xml")).string();
}

// The build fields into the block, as OK of the build dialog stores them:
// hasControls is the OR of the twelve flags and the reserved words are 0.
void ApplyBuildFields(const BuildOptions& options, FilterParams* params) {
    if (options.title) StoreSlotText(params->title, options.title->c_str());
    if (options.author) StoreSlotText(params->author, options.author->c_str());
    StoreSlotText(params->moduleName, (options.module ? *options.module : OutputStem(options)).c_str());
    for (int32_t i = 0; i < kMapCount; ++i)
        if (options.mapNamed[i]) StoreSlotText(params->mapName[i], options.mapName[i].c_str());
    for (int32_t j = 0; j < kSliderCount; ++j)
        if (options.sliderNamed[j]) StoreSlotText(params->sliderName[j], options.sliderName[j].c_str());
    if (options.enableGiven) {
        for (int32_t i = 0; i < kMapCount; ++i) params->mapEnabled[i] = options.mapEnabled[i];
        for (int32_t j = 0; j < kSliderCount; ++j) params->sliderEnabled[j] = options.sliderEnabled[j];
    }
    StoreHasControls(params);
}

// Why a Windows host could not load a plug-in of this module name as
// "NAME.rvp", or "" when it could.
std::string WindowsNameProblem(const std::string& name) {
    if (IsWindowsHostModule(name.c_str()))
        return "is reserved: a Windows host has a module of that name loaded (its own, REELINFO, FL-Fabx or the "
               "system's)";
    switch (WindowsFileNameFault(name.c_str())) {
    case kWindowsNameReservedCharacter: return "holds one of < > : \" | ? *, which a Windows file name cannot";
    case kWindowsNameControlCharacter: return "holds a control character, which a Windows file name cannot";
    case kWindowsNameDevice: return "is a Windows device name (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9)";
    case kWindowsNameTrailingDotOrSpace:
        return "ends in a dot or a space, which Windows drops from module and file names";
    default: return "";
    }
}

// The module-name rules of the build dialog, in the tool's words. The
// dialog asks the running host which modules it has loaded; a Windows
// plug-in built here is checked against those a Windows host has, and
// against what a Windows file name cannot hold. The dialog's second rule
// (no "NAME.rvp" beside the plug-in) is the output's own rule here: an
// existing OUTPUT needs -y. A frei0r host knows a plug-in by its file name
// alone, so there the two must agree.
ExitCode CheckModuleName(const std::string& name, const BuildOptions& options, const Services& services) {
    if (name.empty()) return UsageError("the module name is empty; give --module NAME or an OUTPUT with a name");
    if (HoldsFolderSeparator(name.c_str()))
        return UsageError("the module name '" + name + "' holds a folder separator; it names a file, not a path");
    if (!options.frei0r) {
        if (const std::string problem = WindowsNameProblem(name); !problem.empty())
            return UsageError("the module name '" + name + "' " + problem + "; choose another");
    } else if (services.isModuleLoaded(name.c_str())) {
        return UsageError("the module name '" + name +
                          "' is reserved: a module of that name is loaded; choose another");
    }
    if (options.frei0r && IsPluginName(options.output, options.Kind()) && name.find('.') != std::string::npos)
        return UsageError("the module name '" + name +
                          "' holds a dot: MLT (and so Kdenlive and Shotcut) knows a "
                          "plug-in by its file name up to the first dot; choose a name without one");
    if (options.frei0r && name != OutputStem(options))
        return UsageError("the module name '" + name + "' is not the file name of '" + options.output +
                          "': a frei0r host knows a plug-in by its file name, so write it as " + name + ".so");
    return kExitOk;
}

// The byte at which `text` stops being UTF-8 (RFC 3629: no overlong forms,
// no surrogates, nothing past U+10FFFF), or npos when it is UTF-8 all through.
size_t FirstNonUtf8(const std::string& text) {
    size_t at = 0;
    while (at < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[at]);
        if (lead < 0x80) {
            ++at;
            continue;
        }
        size_t length = 0;
        if (lead >= 0xC2 && lead <= 0xDF)
            length = 2;
        else if (lead >= 0xE0 && lead <= 0xEF)
            length = 3;
        else if (lead >= 0xF0 && lead <= 0xF4)
            length = 4;
        if (length == 0 || text.size() - at < length) return at;
        // The second byte's range depends on the lead, which rules out the
        // overlong forms, the surrogates and code points past U+10FFFF.
        const unsigned char second = static_cast<unsigned char>(text[at + 1]);
        const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
        if (second < low || second > high) return at;
        for (size_t i = 2; i < length; ++i)
            if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return at;
        at += length;
    }
    return std::string::npos;
}

// The title the plug-in is listed under, whether from --title, a settings
// file or the default block: hosts drop a plug-in whose title is empty or
// not UTF-8 text.
ExitCode CheckTitle(const FilterParams& params) {
    const std::string title(params.title, strnlen(params.title, sizeof params.title));
    if (title.empty()) return UsageError("the title is empty; a host lists a plug-in by its title: give --title T");
    if (const size_t at = FirstNonUtf8(title); at != std::string::npos)
        return UsageError("the title is not UTF-8 text (byte " + std::to_string(at) +
                          " is not): hosts drop a plug-in whose title they cannot read; give --title T");
    return kExitOk;
}

// What is wrong with the image path, or "" when it names a file the build
// can copy whole.
std::string ImageProblem(const BuildOptions& options) {
    const PluginKind& kind = options.Kind();
    const std::string image = options.Image();
    const std::string named = "the " + std::string(kind.imageKind) + " '" + image + "' ";
    std::error_code error;
    const fs::file_status status = fs::status(image, error);
    if (status.type() == fs::file_type::not_found) {
        const std::string advice =
            options.image ? "no such file" : std::string(kind.buildHint) + " or give --image PATH";
        return "no " + std::string(kind.imageKind) + " at '" + image + "': " + advice;
    }
    if (error) return named + "cannot be read: " + error.message();
    if (status.type() == fs::file_type::directory) return named + "is a folder, not a plug-in image";
    if (status.type() != fs::file_type::regular)
        return named + "is not a regular file (a device, a pipe or a socket), so not a plug-in image";
    const uintmax_t size = fs::file_size(image, error);
    if (error) return named + "cannot be read: " + error.message();
    if (size == 0) return named + "is empty, not a plug-in image";
    if (size > kImageSizeMax)
        return named + "is " + std::to_string(size) + " bytes, more than any plug-in image (at most " +
               std::to_string(kImageSizeMax) + ")";
    return "";
}

ExitCode CheckFiles(const BuildOptions& options) {
    const fs::path output(options.output);
    const PluginKind& kind = options.Kind();
    if (!IsPluginName(options.output, kind))
        return UsageError("the plug-in '" + options.output + "' must end in " + kind.extension +
                          ", as the host looks for that");
    std::error_code error;
    if (const std::string problem = ImageProblem(options); !problem.empty()) return UsageError(problem);
    if (fs::equivalent(output, options.Image(), error))
        return UsageError("'" + options.output + "' is the image itself; a plug-in is written to a new file");
    if (fs::is_directory(output, error)) return UsageError("'" + options.output + "' is a folder");
    if (ExitCode status = RefuseExistingOutput(options.output, options.policy); status != kExitOk) return status;
    if (!options.frei0r) return kExitOk;
    return RefuseExistingOutput(DescriptionPath(options), options.policy,
                                "is where the Kdenlive effect description of the plug-in goes");
}

// The writer's outcome in the tool's words, naming the file concerned.
std::string WriteFailure(PluginWriteResult outcome, const BuildOptions& options) {
    const std::string image = "the image '" + options.Image() + "'";
    switch (outcome) {
    case kWriteCreateFailed: return "cannot create a file in the folder of '" + options.output + "'";
    case kWriteSourceFailed: return "cannot read " + image;
    case kWriteCopyFailed: return "copying " + image + " failed (a full disk?)";
    case kWriteMapFailed: return "cannot map the copy of " + image + " (is it empty?)";
    case kWriteNotPe: return image + " is not a Windows (PE) image";
    case kWriteNoDirectories:
        return image + " has no resource directory, or no export DLL name of at least 7 characters";
    case kWriteNotElf: return image + " is not an ELF image (--frei0r copies the frei0r plug-in fablix.so)";
    case kWriteNoBlock:
        return image + " has no parameter block (a section " + kBlockSectionName +
               " of 8300 bytes): it is not the frei0r plug-in fablix.so";
    case kWriteNoTiming:
        return image + " has no frame-rate section (" + kTimingSectionName +
               "): a fablix.so of an earlier version, whose \"t\" runs at 25 frames per second; leave out --fps";
    case kWriteImageCut:
        return image + " is cut short or damaged: its headers place data past its end; copy the image whole";
    case kWriteNoMemory: return "out of memory";
    case kWriteNotWrittenBack: return "the patched copy could not be written back (a full disk?)";
    default: return "unknown outcome " + std::to_string(outcome);
    }
}

// Writes `text` beside `path` and moves it into place; "" or the reason.
std::string WriteTextFile(const StagedOutput& output, const std::string& text) {
    FILE* file = std::fopen(output.temporary.c_str(), "wbx");
    if (file == nullptr) return ErrnoText(errno);
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int cause = errno;
    if (std::fclose(file) != 0 || !written) {
        DiscardOutput(output.temporary);
        return ErrnoText(written ? errno : cause);
    }
    return "";
}

// The writer's boxes: the tool explains outcomes itself.
void Silent(const char*, const char*) {}

// Writes beside OUTPUT under a temporary name and moves the plug-in into
// place only when it is whole, so a failed build leaves an existing OUTPUT
// as it was.
ExitCode Write(const BuildOptions& options, const FilterParams* params) {
    Services services = PlatformServices();
    services.errorBox = Silent;
    services.informationBox = Silent;
    const StagedOutput staged = StageOutput(options.output, options.policy == kReplaceExisting);
    const StagedOutput description = StageOutput(DescriptionPath(options), options.policy == kReplaceExisting);
    const std::string image = options.Image();
    const char* temporary = staged.temporary.c_str();
    errno = 0;
    const PluginWriteResult outcome =
        options.frei0r ? WriteFrei0rPluginFile(params, image.c_str(), temporary, &services,
                                               options.framesPerSecond.value_or(kDefaultBuiltFramesPerSecond))
                       : WritePluginFile(params, image.c_str(), temporary, &services);
    const int cause = errno;  // of the system call that failed, where one did
    if (StopRequested()) {
        DiscardOutput(staged.temporary);
        return Interrupted();
    }
    if (outcome != kWroteAll && outcome != kWroteNameOnly) {
        DiscardOutput(staged.temporary);
        std::string reason = WriteFailure(outcome, options);
        if (cause != 0 &&
            (outcome == kWriteCreateFailed || outcome == kWriteCopyFailed || outcome == kWriteNotWrittenBack))
            reason += ": " + ErrnoText(cause);
        return Failure("cannot build '" + options.output + "': " + reason + "; nothing was changed");
    }
    if (options.frei0r) {
        // Described from the written plug-in itself, before either file is in
        // place; Kdenlive's folder of a user's own effects may not exist yet.
        std::error_code ignored;
        if (options.kdenliveFolder) fs::create_directories(*options.kdenliveFolder, ignored);
        std::string problem;
        const std::string xml = KdenliveEffect(staged.temporary, params->moduleName, &problem);
        const std::string reason = xml.empty() ? "the plug-in " + problem : WriteTextFile(description, xml);
        if (!reason.empty()) {
            DiscardOutput(staged.temporary);
            return Failure("cannot describe '" + options.output + "' for Kdenlive in '" + DescriptionPath(options) +
                           "': " + reason + "; nothing was changed");
        }
    }
    std::string message;
    PausePointForTests("commit");
    const int32_t committed = CommitUnlessStopped([&] {
        const MediaCode plugin = CommitOutput(staged, message);
        return plugin == kMediaOk && options.frei0r ? CommitOutput(description, message) : plugin;
    });
    if (committed == kMediaInterrupted) {
        DiscardOutput(staged.temporary);
        DiscardOutput(description.temporary);
        return Interrupted();
    }
    DiscardOutput(description.temporary);
    if (committed != kMediaOk) return Failure(message);
    if (outcome == kWroteNameOnly)
        Warning("the image '" + image + "' has no PARM 16000 or TEXT 1000: only its DLL name was changed");
    return kExitOk;
}

std::string EnabledList(const FilterParams& params) {
    std::string list;
    for (int32_t i = 0; i < kMapCount; ++i)
        if (params.mapEnabled[i]) list += (list.empty() ? "map" : ", map") + std::to_string(i);
    for (int32_t j = 0; j < kSliderCount; ++j)
        if (params.sliderEnabled[j]) list += (list.empty() ? "slider" : ", slider") + std::to_string(j);
    return list.empty() ? "none (no dialog)" : list;
}

}  // namespace

ExitCode RunBuild(Arguments& args) {
    BlockOptions block;
    BuildOptions options;
    while (!args.Done()) {
        if (args.TakeOptionsEnd()) continue;
        OptionTake taken = args.optionsEnded ? kNotThisOption : TakeBlockOption(args, &block);
        if (taken == kNotThisOption && !args.optionsEnded) taken = TakeBuildOption(args, &options);
        if (taken == kOptionBad) return kExitUsage;
        if (taken == kOptionTaken) continue;
        const std::string argument = args.Take();
        if (argument.size() > 1 && argument[0] == '-' && !args.optionsEnded)
            return UsageError("unknown option '" + argument + "'");
        if (!options.output.empty()) return UsageError("unexpected argument '" + argument + "'; " + Usage());
        options.output = argument;
    }
    if (options.output.empty()) return UsageError(Usage());
    if (options.kdenliveFolder && !options.frei0r)
        return UsageError("--kdenlive is for a frei0r plug-in (--frei0r): Kdenlive runs frei0r plug-ins");
    if (options.framesPerSecond && !options.frei0r)
        return UsageError(
            "--fps is for a frei0r plug-in (--frei0r): a Windows host hands the plug-in its frame "
            "number");

    auto params = std::make_unique<FilterParams>();
    if (BlockStatus status = BuildBlock(block, params.get()); status != kBlockOk) return BlockExitCode(status);
    ApplyBuildFields(options, params.get());
    if (ExitCode status = CheckModuleName(params->moduleName, options, PlatformServices()); status != kExitOk)
        return status;
    if (ExitCode status = CheckTitle(*params); status != kExitOk) return status;
    if (ExitCode status = CheckFiles(options); status != kExitOk) return status;
    const FormulaCheckWords words{"build", "building", options.output,
                                  ", and the plug-in would render its channel as 0"};
    if (ExitCode status = CheckBlockFormulas(*params, options.allowFailing, words); status != kExitOk) return status;
    CatchStopSignals();
    if (ExitCode status = Write(options, params.get()); status != kExitOk) return status;

    std::printf("built '%s': module %s, title \"%s\", controls: %s\n", options.output.c_str(), params->moduleName,
                params->title, EnabledList(*params).c_str());
    if (options.frei0r) std::printf("described for Kdenlive in '%s'\n", DescriptionPath(options).c_str());
    return kExitOk;
}
