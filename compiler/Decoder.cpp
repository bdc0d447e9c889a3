// Decodes a code area into a Program, checking every byte: a program the
// decoder returns never pops more values than it pushed, whatever the area.
#include <cstring>

#include "Program.h"
#include "TemplateTable.h"

namespace {

constexpr uint8_t kNumberSecondByte = 0xB8;

void ReturnZero(Program* program) {
    program->code[0] = {Op::Number, 0};
    program->code[1] = {Op::Return, 0};
    program->count = 2;
    program->maxDepth = 1;
    program->constantCount = 0;
    program->columnValues = nullptr;
}

int32_t ReadInt32(const uint8_t* bytes) {
    return static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                                static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
}

// Decodes the templates after the prolog; false on anything malformed.
bool DecodeBody(const uint8_t* area, int32_t capacity, Program* program) {
    int32_t pos = kPrologSize;
    int32_t depth = 0;
    program->count = 0;
    program->maxDepth = 0;
    program->constantCount = 0;
    program->columnValues = nullptr;
    while (pos < capacity && program->count < kMaxInstructions) {
        const uint8_t first = area[pos];
        Instruction instruction{Op::Return, 0};
        int32_t length = 0;
        if (first == kEpilogFirstByte) {
            length = kEpilogSize;
            if (pos + length > capacity || std::memcmp(area + pos, kEpilogBytes, kEpilogSize) != 0) return false;
            program->code[program->count++] = instruction;
            return true;
        }
        if (first == kNumberFirstByte) {
            length = kLiteralSize;
            if (pos + length > capacity || area[pos + 1] != kNumberSecondByte) return false;
            instruction = {Op::Number, ReadInt32(area + pos + kNumberSize)};
        } else {
            const int32_t op = first - kOpBase;
            if (op < 0 || op >= kOpCount || kOpLength[op] == 0) return false;
            length = kOpLength[op];
            if (pos + length > capacity) return false;
            instruction.op = static_cast<Op>(op);
        }
        depth += StackEffect(instruction.op);
        if (depth < 0 || depth > kMaxStackDepth) return false;
        if (depth > program->maxDepth) program->maxDepth = depth;
        program->code[program->count++] = instruction;
        pos += length;
    }
    return false;
}

}  // namespace

bool HasCompiledCode(const uint8_t* area) { return std::memcmp(area, kPrologBytes, kCompiledSignSize) == 0; }

DecodeResult DecodeCodeArea(const uint8_t* area, int32_t capacity, Program* program) {
    if (capacity >= kPrologSize && std::memcmp(area, kPrologBytes, kPrologSize) == 0 &&
        DecodeBody(area, capacity, program))
        return kDecodeCompiled;
    ReturnZero(program);
    return capacity >= kErrorSize && std::memcmp(area, kErrorBytes, kErrorSize) == 0 ? kDecodeFailed : kDecodeNoCode;
}
