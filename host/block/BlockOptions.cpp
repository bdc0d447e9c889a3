#include "BlockOptions.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>

#include "BlockText.h"
#include "DefaultParams.h"
#include "InputFiles.h"
#include "SettingsSaveLoad.h"

namespace {

// Says why the block refuses what it was given.
BlockStatus Refused(const std::string& message) {
    std::fprintf(stderr, "fablix: %s\n", message.c_str());
    return kBlockRefused;
}

// Formula i of the identity block reads back byte i of the source pixel.
constexpr const char* kPlainFormulas[kFormulaCount] = {"b", "g", "r", "a"};

void ApplyPlain(FilterParams* params) {
    for (int32_t i = 0; i < kFormulaCount; ++i) StoreFormula(params, i, kPlainFormulas[i]);
    params->singleExpression = 0;
}

void ApplyEdit(const BlockEdit& edit, FilterParams* params) {
    switch (edit.kind) {
    case BlockEdit::kFormula: StoreFormula(params, edit.index, edit.text); break;
    case BlockEdit::kSlider: params->sliderValue[edit.index] = edit.value; break;
    case BlockEdit::kSingle: params->singleExpression = 1; break;
    case BlockEdit::kPlain: ApplyPlain(params); break;
    }
}

// What an edit replaces is no longer the settings file's doing.
void ForgetReplacedNotes(const BlockEdit& edit, SettingsNotes* notes) {
    if (edit.kind == BlockEdit::kFormula) notes->formulaLength[edit.index] = notes->formulaKept[edit.index] = 0;
    if (edit.kind == BlockEdit::kPlain)
        for (int32_t i = 0; i < kFormulaCount; ++i) notes->formulaLength[i] = notes->formulaKept[i] = 0;
    if (edit.kind == BlockEdit::kSlider) notes->sliderNoted[edit.index] = 0;
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

BlockStatus CheckFormula(const std::string& text, const std::string& origin) {
    if (text.size() >= kFormulaSlotSize)
        return Refused(origin + " holds " + std::to_string(text.size()) + " bytes; a formula holds at most 1023");
    if (text.find('\0') != std::string::npos)
        return Refused(origin + " holds a zero byte, which a formula cannot hold");
    return kBlockOk;
}

void StoreFormula(FilterParams* params, int32_t index, const std::string& text) {
    std::memset(params->formula[index], 0, kFormulaSlotSize);
    std::memcpy(params->formula[index], text.data(), text.size());
}

BlockStatus SetFormula(FilterParams* params, int32_t index, const std::string& text, const std::string& origin) {
    if (BlockStatus status = CheckFormula(text, origin); status != kBlockOk) return status;
    StoreFormula(params, index, text);
    return kBlockOk;
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
    if (outcome.status == kSettingsLineUnreadable && outcome.section == kSectionFormulas && outcome.lineFeedLine > 0)
        return message + "the file ends before the fourth formula does: line " + std::to_string(outcome.lineFeedLine) +
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
                " bytes (the file holds " + std::to_string(notes.formulaLength[i]) + "; a formula holds at most 1023)");
    return "note: settings file '" + path + "': " + text;
}

BlockStatus BuildBlock(const BlockOptions& options, FilterParams* params, SettingsNotes* kept) {
    if (kept) std::memset(kept, 0, sizeof *kept);
    if (BlockStatus status = LoadDefaultBlock(params); status != kBlockOk) return status;
    SettingsNotes notes{};
    if (!options.settingsPath.empty()) {
        if (const std::string problem = InputFileProblem(options.settingsPath); !problem.empty())
            return Refused("cannot read settings file '" + options.settingsPath + "': " + problem);
        SettingsOutcome outcome{};
        errno = 0;
        const SettingsFileResult result = LoadSettingsFile(options.settingsPath.c_str(), params, &outcome, &notes);
        const int error = errno;
        if (result != kSettingsFileDone)
            return Refused(SettingsLoadMessage(options.settingsPath, result, outcome, error));
        if (const std::string text = SettingsNotesText(options.settingsPath, notes); !text.empty())
            std::fprintf(stderr, "fablix: %s\n", text.c_str());
    }
    for (const BlockEdit& edit : options.edits) {
        ApplyEdit(edit, params);
        ForgetReplacedNotes(edit, &notes);
    }
    if (kept) *kept = notes;
    return kBlockOk;
}

BlockStatus LoadDefaultBlock(FilterParams* params) {
    if (LoadDefaultParams(params) == kFilterParamsSize) return kBlockOk;
    std::fprintf(stderr, "fablix: the built-in parameter block is missing\n");
    return kBlockNoDefault;
}
