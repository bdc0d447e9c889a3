#include "BlockOptions.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

#include "BlockText.h"
#include "Channels.h"
#include "DefaultParams.h"
#include "ExitCodes.h"
#include "InputFiles.h"
#include "Messages.h"
#include "SettingsSaveLoad.h"

namespace {

OptionTake Refused(const std::string& message) {
    UsageError(message);
    return kOptionBad;
}

OptionTake AddFormula(BlockOptions* options, int32_t index, const std::string& text, const std::string& origin) {
    if (CheckFormula(text, origin) != kExitOk) return kOptionBad;
    BlockEdit edit;
    edit.kind = BlockEdit::kFormula;
    edit.index = index;
    edit.text = text;
    options->edits.push_back(edit);
    return kOptionTaken;
}

// "CH=PATH": the formula file for channel CH, taken byte for byte. No more
// than one byte past what a slot holds is read, so a device or a huge file
// is refused at once.
OptionTake TakeFormulaFile(const std::string& value, BlockOptions* options) {
    const int32_t index = value.size() > 2 && value[1] == '=' ? ChannelIndex(value[0]) : -1;
    if (index < 0) return Refused("--formula-file wants CH=PATH with CH one of b, g, r, a: '" + value + "'");
    const std::string path = value.substr(2);
    const std::string cannotRead = "cannot read formula file '" + path + "': ";
    if (const std::string problem = InputFileProblem(path); !problem.empty()) return Refused(cannotRead + problem);
    std::ifstream file(path, std::ios::binary);
    errno = 0;
    std::string text(kFormulaSlotSize, '\0');
    if (file.is_open()) file.read(text.data(), kFormulaSlotSize);
    if (!file.is_open() || file.bad())
        return Refused(cannotRead + (errno != 0 ? std::generic_category().message(errno) : "read error"));
    text.resize(static_cast<size_t>(file.gcount()));
    const std::string origin = "formula file '" + path + "'";
    if (text.size() >= kFormulaSlotSize)
        return Refused(origin + " holds more than 1023 bytes; a formula holds at most 1023");
    return AddFormula(options, index, text, origin);
}

// "K=V": slider K (0..7) at V (0..255).
OptionTake TakeSlider(const std::string& value, BlockOptions* options) {
    const size_t equals = value.find('=');
    BlockEdit edit;
    edit.kind = BlockEdit::kSlider;
    if (equals == std::string::npos || !ParseNumber(value.substr(0, equals), 0, kSliderCount - 1, &edit.index) ||
        !ParseNumber(value.substr(equals + 1), 0, 255, &edit.value))
        return Refused("--slider wants K=V with K in 0..7 and V in 0..255: '" + value + "'");
    options->edits.push_back(edit);
    return kOptionTaken;
}

OptionTake TakeSettings(const std::string& value, BlockOptions* options) {
    if (!options->settingsPath.empty())
        return Refused("--settings given twice ('" + options->settingsPath + "' and '" + value + "')");
    if (value.empty()) return Refused("--settings wants a file name");
    options->settingsPath = value;
    return kOptionTaken;
}

void ApplyEdit(const BlockEdit& edit, FilterParams* params) {
    switch (edit.kind) {
        case BlockEdit::kFormula: StoreFormula(params, edit.index, edit.text); break;
        case BlockEdit::kSlider: params->sliderValue[edit.index] = edit.value; break;
        case BlockEdit::kSingle: params->singleExpression = 1; break;
    }
}

// Settings files end each line in a carriage return alone; files edited
// elsewhere often end them in line feeds. Said when the header line shows it,
// since every later fault follows from it.
std::string LineEndingFault(const std::string& path) {
    constexpr size_t kHeaderLength = sizeof kSettingsHeader - 1;
    char start[kHeaderLength + 2] = {};
    std::ifstream file(path, std::ios::binary);
    file.read(start, sizeof start);
    if (std::memcmp(start, kSettingsHeader, kHeaderLength) != 0) return "";
    const char* end = start + kHeaderLength;
    if (end[0] == '\r' && end[1] == '\n') return "its lines end in CR LF";
    if (end[0] == '\n') return "its lines end in line feeds";
    return "";
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

void StoreFormula(FilterParams* params, int32_t index, const std::string& text) {
    std::memset(params->formula[index], 0, kFormulaSlotSize);
    std::memcpy(params->formula[index], text.data(), text.size());
}

int32_t SetFormula(FilterParams* params, int32_t index, const std::string& text,
                   const std::string& origin) {
    if (int32_t status = CheckFormula(text, origin); status != kExitOk) return status;
    StoreFormula(params, index, text);
    return kExitOk;
}

OptionTake TakeBlockOption(Arguments& args, BlockOptions* options) {
    const std::string option = args.Peek();
    const bool channelOption = option.size() == 2 && option[0] == '-' && ChannelIndex(option[1]) >= 0;
    const bool known = channelOption || option == "--formula-file" || option == "--slider" ||
                       option == "--single" || option == "--settings";
    if (!known) return kNotThisOption;
    args.Take();
    if (option == "--single") {
        options->edits.push_back(BlockEdit{BlockEdit::kSingle, 0, 1, {}});
        return kOptionTaken;
    }
    if (args.Done()) return Refused(option + " wants a value");
    const std::string value = args.Take();
    if (channelOption) return AddFormula(options, ChannelIndex(option[1]), value, "formula " + option);
    if (option == "--formula-file") return TakeFormulaFile(value, options);
    if (option == "--settings") return TakeSettings(value, options);
    return TakeSlider(value, options);
}

std::string SettingsLoadMessage(const std::string& path, SettingsFileResult result, const SettingsOutcome& outcome,
                                int error) {
    std::string message = "cannot read settings file '" + path + "': ";
    if (result == kSettingsFileOpenError)
        return message + (error != 0 ? std::generic_category().message(error) : "it cannot be opened");
    if (const std::string fault = LineEndingFault(path); !fault.empty())
        return message + fault + ", and a settings file's lines end in a carriage return alone";
    if (outcome.section != kSectionNone)
        message += std::string(SettingsSectionName(outcome.section)) + " section, line " +
                   std::to_string(outcome.fileLine) + ": ";
    // A line feed alone does not end a formula, so the formulas run on to
    // the end of the file; that line is the cause, not the end.
    if (outcome.status == kSettingsLineUnreadable && outcome.section == kSectionFormulas &&
        outcome.lineFeedLine > 0)
        return message + "the file ends before the fourth formula does: line " +
               std::to_string(outcome.lineFeedLine) +
               " holds a line feed alone, which is formula text, not the empty line that ends a formula "
               "(a settings file's lines end in a carriage return alone)";
    return message + SettingsStatusText(outcome.status);
}

std::string SettingsNotesText(const std::string& path, const SettingsNotes& notes) {
    if (!SettingsNotesSayAnything(notes)) return "";
    std::string text;
    const auto add = [&text](const std::string& note) { text += (text.empty() ? "" : "; ") + note; };
    for (int32_t k = 0; k < kSliderCount; ++k) {
        if (!notes.sliderNoted[k]) continue;
        std::string shown = ReadableFormula(notes.sliderText[k]);
        if (notes.sliderTextLength[k] > kSliderTextNoted) shown += "...";
        const std::string value = std::to_string(notes.sliderValue[k]);
        const bool digits = std::strpbrk(notes.sliderText[k], "0123456789") != nullptr;
        add("slider " + std::to_string(k) + ": '" + shown + "' " +
            (digits || notes.sliderTextLength[k] > kSliderTextNoted ? "read as " + value
                                                                      : "holds no number, read as " + value));
    }
    for (int32_t i = 0; i < kFormulaCount; ++i)
        if (notes.formulaKept[i] < notes.formulaLength[i])
            add("formula " + std::to_string(i) + " cut to " + std::to_string(notes.formulaKept[i]) +
                " bytes (the file holds " + std::to_string(notes.formulaLength[i]) +
                "; a formula holds at most 1023)");
    return "note: settings file '" + path + "': " + text;
}

int32_t BuildBlock(const BlockOptions& options, FilterParams* params, SettingsNotes* kept) {
    if (kept) std::memset(kept, 0, sizeof *kept);
    if (int32_t status = LoadDefaultBlock(params); status != kExitOk) return status;
    SettingsNotes notes{};
    if (!options.settingsPath.empty()) {
        if (const std::string problem = InputFileProblem(options.settingsPath); !problem.empty())
            return UsageError("cannot read settings file '" + options.settingsPath + "': " + problem);
        SettingsOutcome outcome{};
        errno = 0;
        const SettingsFileResult result = LoadSettingsFile(options.settingsPath.c_str(), params, &outcome, &notes);
        const int error = errno;
        if (result != kSettingsFileDone) return UsageError(SettingsLoadMessage(options.settingsPath, result, outcome, error));
        if (const std::string text = SettingsNotesText(options.settingsPath, notes); !text.empty())
            std::fprintf(stderr, "fablix: %s\n", text.c_str());
    }
    for (const BlockEdit& edit : options.edits) {
        ApplyEdit(edit, params);
        // What an edit replaces is no longer the file's doing.
        if (edit.kind == BlockEdit::kFormula) notes.formulaLength[edit.index] = notes.formulaKept[edit.index] = 0;
        if (edit.kind == BlockEdit::kSlider) notes.sliderNoted[edit.index] = 0;
    }
    if (kept) *kept = notes;
    return kExitOk;
}

int32_t LoadDefaultBlock(FilterParams* params) {
    if (LoadDefaultParams(params) == kFilterParamsSize) return kExitOk;
    std::fprintf(stderr, "fablix: the built-in parameter block is missing\n");
    return kExitFailed;
}
