// libFuzzer target: the input is the bytes of one formula (at most 1023),
// compiled into a 2048-byte area that sits inside a larger guard buffer.
// Every invariant of a compile is checked; a violation traps.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "CompileDriver.h"
#include "Program.h"
#include "TemplateTable.h"

namespace {

constexpr size_t kMaxFormula = kFormulaSlotSize - 1;  // 1023 characters
constexpr size_t kGuardSize = 4096;
constexpr uint8_t kGuardByte = 0xA5;
constexpr uint8_t kAreaByte = 0x5A;  // stale bytes the compile may leave or overwrite

uint8_t gBuffer[kGuardSize + kCodeAreaSize + kGuardSize];
Program gProgram;

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxFormula) size = kMaxFormula;
    std::memset(gBuffer, kGuardByte, sizeof gBuffer);
    uint8_t* area = gBuffer + kGuardSize;
    std::memset(area, kAreaByte, kCodeAreaSize);

    // libFuzzer's data is a heap block of exactly `size` bytes, so a read
    // past the text is caught by the address sanitizer.
    const char* text = reinterpret_cast<const char*>(data);
    int32_t start = 0;
    int32_t end = static_cast<int32_t>(size);
    int32_t length = kCodeAreaSize;
    const bool failed = !CompileFormula(text, &start, &end, area, &length);

    // Nothing written outside the area.
    for (size_t k = 0; k < kGuardSize; ++k) Check(gBuffer[k] == kGuardByte);
    for (size_t k = kGuardSize + kCodeAreaSize; k < sizeof gBuffer; ++k) Check(gBuffer[k] == kGuardByte);
    // The last byte of the area is never written: code ends strictly before it.
    Check(area[kCodeAreaSize - 1] == kAreaByte);

    Check(failed == 0 || failed == 1);
    Check(0 <= start && start <= end && end <= static_cast<int32_t>(size));
    Check(kErrorSize <= length && length <= kCodeAreaSize - 1);
    if (failed == 0) {
        Check(start == end);
        // Without a zero byte the text is used to its end.
        if (std::memchr(data, 0, size) == nullptr) Check(end == static_cast<int32_t>(size));
    }

    // The area begins with "prolog" (working code) or with "error".
    const bool compiled = HasCompiledCode(area);
    Check(compiled || std::memcmp(area, kErrorBytes, kErrorSize) == 0);
    if (failed == 0) Check(compiled);

    const DecodeResult result = DecodeCodeArea(area, kCodeAreaSize, &gProgram);
    Check(result != kDecodeNoCode);
    if (failed == 0) Check(result == kDecodeCompiled);
    Check((result == kDecodeCompiled) == compiled);
    Check(gProgram.count >= 2 && gProgram.count <= kMaxInstructions);
    Check(gProgram.code[gProgram.count - 1].op == Op::Return);
    if (compiled) {
        // Working code is exactly `length` bytes, ending with the epilog.
        Check(length >= kPrologSize + kEpilogSize);
        Check(std::memcmp(area + length - kEpilogSize, kEpilogBytes, kEpilogSize) == 0);
        Check(DecodeCodeArea(area, length, &gProgram) == kDecodeCompiled);
        // One value per operand: the program never takes a value it did not
        // make and leaves exactly its result. A "," only drops its left
        // operand, so it needs one value, not two.
        int32_t depth = 0;
        for (int32_t i = 0; i + 1 < gProgram.count; ++i) {
            const Op op = gProgram.code[i].op;
            const int32_t inputs = kOpInputs[static_cast<int32_t>(op)];
            Check(depth >= (op == Op::Comma ? 1 : inputs));
            depth += StackEffect(op);
        }
        Check(depth == 1);
    }
    return 0;
}
