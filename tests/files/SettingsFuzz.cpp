// libFuzzer target: arbitrary bytes as a settings file. The readers must
// never read or write past a line or a slot (ASan watches), must keep
// every slider they store in 0..255 and every formula slot terminated
// below 1024 characters, must touch nothing else of the block, and what
// they read must write and read back unchanged.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "SettingsFile.h"

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "settings_fuzz: %s\n", what);
        abort();
    }
}

// Every ReadLine over the input: at most 255 bytes, terminated, and the
// bytes of all lines (with the carriage returns consumed) add up to the input.
void CheckLines(const uint8_t* data, size_t size) {
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file) return;
    SettingsStream stream = MakeSettingsStream(file);
    size_t consumed = 0;
    for (;;) {
        // Exactly the 256 bytes of a line buffer, on the heap, so ASan sees an overrun.
        std::unique_ptr<char[]> buffer(new char[kLineBufferSize]);
        int32_t length = -1;
        const int32_t status = ReadLine(&stream, buffer.get(), &length);
        Check(length >= 0 && length <= kLineMaxLength, "ReadLine stored more than 255 bytes");
        Check(buffer[length] == 0, "ReadLine left its line unterminated");
        Check(memcmp(buffer.get(), data + consumed, length) == 0, "ReadLine changed bytes");
        consumed += length;
        if (status != kSettingsOk) break;
        if (length < kLineMaxLength) {
            Check(consumed < size && data[consumed] == kLineEnd, "ReadLine ended off a line end");
            ++consumed;
        }
    }
    Check(consumed == size, "ReadLine lost bytes");
    fclose(file);
}

int32_t ReadBytes(const uint8_t* data, size_t size, FilterParams* block, SettingsOutcome* outcome) {
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file) return -1;
    SettingsStream stream = MakeSettingsStream(file);
    const int32_t status = RunReaders(&stream, block, outcome);
    fclose(file);
    return status;
}

// Writes the sliders and formulas of `block` and reads them back.
void CheckRoundTrip(const FilterParams& block) {
    // 9 + 8 * 5 bytes, and four formulas of at most 17 lines of 253 and an empty line.
    static char bytes[64 * 1024];
    FILE* out = fmemopen(bytes, sizeof bytes, "wb");
    if (!out) return;
    SettingsStream writer = MakeSettingsStream(out);
    Check(RunWriters(&writer, &block) == kSettingsOk, "writing what was read failed");
    const long size = ftell(out);
    fclose(out);
    FilterParams again;
    memset(&again, 0x5A, sizeof again);
    SettingsOutcome outcome;
    Check(ReadBytes(reinterpret_cast<const uint8_t*>(bytes), static_cast<size_t>(size), &again, &outcome) ==
              kSettingsOk,
          "reading what was written failed");
    Check(memcmp(again.sliderValue, block.sliderValue, sizeof block.sliderValue) == 0,
          "sliders changed in a round trip");
    for (int i = 0; i < kFormulaCount; ++i)
        Check(strcmp(again.formula[i], block.formula[i]) == 0, "a formula changed in a round trip");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckLines(data, size);

    // Garbage: no slider in 0..255, no formula slot terminated.
    FilterParams block;
    memset(&block, 0xA5, sizeof block);
    const FilterParams before = block;
    SettingsOutcome outcome;
    const int32_t status = ReadBytes(data, size, &block, &outcome);
    if (status < 0) return 0;
    Check(status == outcome.status, "RunReaders returned another status than it reported");

    // Nothing but the sliders and the formulas is ever written.
    const char* now = reinterpret_cast<const char*>(&block);
    const char* was = reinterpret_cast<const char*>(&before);
    Check(memcmp(now, was, offsetof(FilterParams, sliderValue)) == 0, "flags changed");
    Check(memcmp(now + offsetof(FilterParams, hasControls), was + offsetof(FilterParams, hasControls),
                 offsetof(FilterParams, formula) - offsetof(FilterParams, hasControls)) == 0,
          "names or texts changed");

    const bool headerRead = status == kSettingsOk || outcome.section != kSectionHeader;
    const bool slidersRead = status == kSettingsOk || outcome.section == kSectionFormulas;
    // Slider i is on line i + 2: those before a failing line were stored.
    const int32_t stored = !headerRead ? 0 : slidersRead ? kSliderCount : outcome.line - 2;
    Check(stored >= 0 && stored <= kSliderCount, "failing line out of the sliders");
    for (int i = 0; i < kSliderCount; ++i) {
        if (i < stored)
            Check(block.sliderValue[i] >= 0 && block.sliderValue[i] <= 255, "slider out of range");
        else
            Check(block.sliderValue[i] == before.sliderValue[i], "unread slider changed");
    }
    for (int i = 0; i < kFormulaCount; ++i) {
        if (slidersRead)
            Check(memchr(block.formula[i], 0, kFormulaSlotSize) != nullptr, "formula slot unterminated");
        else
            Check(memcmp(block.formula[i], before.formula[i], kFormulaSlotSize) == 0,
                  "formula slot changed before the formulas were read");
    }

    if (status == kSettingsOk) CheckRoundTrip(block);
    return 0;
}
