#include "SettingsFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kHeader = kSettingsHeader;
constexpr int32_t kHeaderLength = sizeof(kSettingsHeader) - 1;
// 63 characters escape to at most 4 * 63 bytes.
constexpr int32_t kEscapedPieceSize = 4 * kFormulaPieceLength + 1;
static_assert(kEscapedPieceSize - 1 <= kLineMaxLength);

// atol's reading of `text` (leading white space, a sign, digits), clamped
// to a slider's range. strtol does the same reading with a defined result
// on overflow, where atol's is undefined.
// `changed`, when given, says whether the text's own number was not
// taken: none there, or one outside the range.
int32_t ConvertSliderText(const char* text, bool* changed = nullptr) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (changed) *changed = end == text || value < 0 || value > 255;
    return value < 0 ? 0 : value > 255 ? 255 : static_cast<int32_t>(value);
}

void NoteSlider(SettingsNotes* notes, int32_t index, const char* text, int32_t length, int32_t value) {
    notes->sliderNoted[index] = 1;
    notes->sliderValue[index] = value;
    notes->sliderTextLength[index] = length;
    const int32_t kept = length < kSliderTextNoted ? length : kSliderTextNoted;
    memcpy(notes->sliderText[index], text, kept);
    notes->sliderText[index][kept] = 0;
}

// The formula's length within its slot, even when the slot lacks a terminator.
int32_t SlotLength(const char* slot) {
    const void* end = memchr(slot, 0, kFormulaSlotSize);
    return end ? static_cast<int32_t>(static_cast<const char*>(end) - slot) : kFormulaSlotSize;
}

}  // namespace

const char* SettingsStatusText(SettingsStatus status) {
    switch (status) {
    case kSettingsOk: return "success";
    case kSettingsLineUnreadable: return "the file ends (or cannot be read) before the line does";
    case kSettingsBadHeader: return "the first line is not \"%RGB-1.0\"";
    case kSettingsShortWrite: return "the write stopped short (disk full?)";
    case kSettingsCloseFailed: return "the file could not be flushed and closed";
    case kSettingsCannotOpen: return "the file cannot be opened";
    case kSettingsCannotReplace: return "the written file cannot replace the target";
    case kSettingsTooLong: return "the file goes on past 1 MiB, far longer than any settings file";
    default: return "unknown failure";
    }
}

const char* SettingsSectionName(SettingsSection section) {
    switch (section) {
    case kSectionHeader: return "header";
    case kSectionSliders: return "sliders";
    case kSectionFormulas: return "formulas";
    default: return "file";
    }
}

SettingsStatus WriteLine(SettingsStream* file, const char* text) {
    ++file->line;
    ++file->fileLine;
    const size_t length = strlen(text);
    if (StreamWrite(file, text, length) != length) return kSettingsShortWrite;
    const char end = kLineEnd;
    if (StreamWrite(file, &end, 1) != 1) return kSettingsShortWrite;
    return kSettingsOk;
}

bool SettingsNotesSayAnything(const SettingsNotes& notes) {
    for (int32_t i = 0; i < kSliderCount; ++i)
        if (notes.sliderNoted[i]) return true;
    for (int32_t i = 0; i < kFormulaCount; ++i)
        if (notes.formulaKept[i] < notes.formulaLength[i]) return true;
    return false;
}

SettingsStatus ReadLine(SettingsStream* file, char* buffer, int32_t* length) {
    ++file->line;
    // The pieces of a long line are one line of the file.
    if (!file->midLine) ++file->fileLine;
    file->midLine = false;
    int32_t count = 0;
    SettingsStatus status = kSettingsOk;
    while (count < kLineMaxLength) {
        const int c = StreamReadByte(file);
        if (c == EOF) {
            status = file->readRoomPassed ? kSettingsTooLong : kSettingsLineUnreadable;
            break;
        }
        if (c == kLineEnd) break;
        buffer[count++] = static_cast<char>(c);
    }
    if (status == kSettingsOk && count == kLineMaxLength) file->midLine = true;
    buffer[count] = 0;
    if (length) *length = count;
    return status;
}

SettingsStatus WriteHeader(SettingsStream* file, const FilterParams*) { return WriteLine(file, kHeader); }

SettingsStatus ReadHeader(SettingsStream* file, FilterParams*) {
    char line[kLineBufferSize];
    int32_t length = 0;
    const SettingsStatus status = ReadLine(file, line, &length);
    if (status != kSettingsOk) return status;
    // Compared by length too: a zero byte in the file must not hide a tail.
    if (length != kHeaderLength || memcmp(line, kHeader, kHeaderLength) != 0) return kSettingsBadHeader;
    return kSettingsOk;
}

SettingsStatus WriteSliders(SettingsStream* file, const FilterParams* params) {
    SettingsStatus status = kSettingsOk;
    for (int32_t i = 0; i < kSliderCount && status == kSettingsOk; ++i) {
        // One length byte, then the digits: "-2147483648" is the longest, 11.
        char line[1 + 12];
        const int digits = snprintf(line + 1, sizeof line - 1, "%d", static_cast<int>(params->sliderValue[i]));
        line[0] = static_cast<char>(digits);
        status = WriteLine(file, line);
    }
    return status;
}

SettingsStatus ReadSliders(SettingsStream* file, FilterParams* params) {
    for (int32_t i = 0; i < kSliderCount; ++i) {
        char line[kLineBufferSize];
        int32_t length = 0;
        const SettingsStatus status = ReadLine(file, line, &length);
        if (status != kSettingsOk) return status;
        // The first byte (the digit count) is dropped unread; an empty line
        // has none to drop and reads as 0, from its terminator.
        const char* text = length > 0 ? line + 1 : line;
        bool changed = false;
        params->sliderValue[i] = ConvertSliderText(text, &changed);
        if (changed && file->notes)
            NoteSlider(file->notes, i, text, length > 0 ? length - 1 : 0, params->sliderValue[i]);
    }
    return kSettingsOk;
}

SettingsStatus WriteFormulas(SettingsStream* file, const FilterParams* params) {
    SettingsStatus status = kSettingsOk;
    for (int32_t i = 0; i < kFormulaCount && status == kSettingsOk; ++i) {
        const char* text = params->formula[i];
        const int32_t length = SlotLength(text);
        int32_t position = 0;
        for (;;) {
            const int32_t rest = length - position;
            const int32_t n = rest < kFormulaPieceLength ? rest : kFormulaPieceLength;
            // Cut before escaping, so that no escape sequence spans two lines.
            char piece[kFormulaPieceLength + 1];
            memcpy(piece, text + position, n);
            piece[n] = 0;
            char escaped[kEscapedPieceSize];
            EscapeText(escaped, piece);
            status = WriteLine(file, escaped);
            if (n == 0 || status != kSettingsOk) break;  // the empty line ends the formula
            position += n;
        }
    }
    return status;
}

SettingsStatus ReadFormulas(SettingsStream* file, FilterParams* params) {
    SettingsStatus status = kSettingsOk;
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        char* slot = params->formula[i];
        slot[0] = 0;
        if (status != kSettingsOk) continue;  // later slots are emptied all the same
        int32_t used = 0;
        int64_t count = 0;  // every unescaped character of this formula, kept or not
        for (;;) {
            char line[kLineBufferSize];
            int32_t lineLength = 0;
            const bool wholeLine = !file->midLine;
            status = ReadLine(file, line, &lineLength);
            // A line feed alone where a formula's empty line belongs keeps
            // the formula going; a failure is then explained by it.
            if (wholeLine && lineLength == 1 && line[0] == '\n' && !file->midLine && file->lineFeedLine == 0)
                file->lineFeedLine = file->fileLine;
            if (status != kSettingsOk) break;
            char text[kLineBufferSize];
            UnescapeText(text, line);
            const int32_t length = static_cast<int32_t>(strlen(text));
            if (length == 0) break;
            // Once a line is left out, so are all later ones: the count only grows.
            if (count + length < kFormulaSlotSize) {
                memcpy(slot + used, text, length + 1);
                used += length;
            }
            count += length;
        }
        if (file->notes) {
            file->notes->formulaLength[i] = count;
            file->notes->formulaKept[i] = used;
        }
    }
    return status;
}

namespace {

template <typename Block, typename Operation>
SettingsStatus RunSections(SettingsStream* file, Block* params, SettingsOutcome* outcome,
                           const Operation (&operations)[3]) {
    SettingsOutcome result{kSettingsOk, kSectionNone, 0};
    const SettingsSection sections[3] = {kSectionHeader, kSectionSliders, kSectionFormulas};
    for (int32_t k = 0; k < 3; ++k) {
        const SettingsStatus status = operations[k](file, params);
        if (status != kSettingsOk) {
            result = SettingsOutcome{status, sections[k], file->line, file->fileLine, file->lineFeedLine};
            break;
        }
    }
    if (outcome) *outcome = result;
    return result.status;
}

}  // namespace

SettingsStatus RunWriters(SettingsStream* file, const FilterParams* params, SettingsOutcome* outcome) {
    using Writer = SettingsStatus (*)(SettingsStream*, const FilterParams*);
    const Writer writers[3] = {WriteHeader, WriteSliders, WriteFormulas};
    return RunSections(file, params, outcome, writers);
}

SettingsStatus RunReaders(SettingsStream* file, FilterParams* params, SettingsOutcome* outcome) {
    using Reader = SettingsStatus (*)(SettingsStream*, FilterParams*);
    const Reader readers[3] = {ReadHeader, ReadSliders, ReadFormulas};
    return RunSections(file, params, outcome, readers);
}
