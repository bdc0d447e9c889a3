// Decodes a code area into a Program, checking every byte: a program the
// decoder returns never pops more values than it pushed, whatever the area.
#include <cstring>

#include "Program.h"
#include "TemplateTable.h"

namespace {

constexpr uint8_t kNumberSecondByte = 0xB8;

// A value of the stack while decoding: whether literals alone made it, and
// then its value (wrapping as the interpreter's arithmetic does).
struct Known {
    bool literal;
    int32_t value;
};

// The value of `op` on literal operands (the left one first), as the
// interpreter computes it, for the operators of one or two operands that
// need no table; false for any other.
bool Fold(Op op, const Known* operands, int32_t* value) {
    const uint32_t a = static_cast<uint32_t>(operands[0].value);
    const uint32_t b = static_cast<uint32_t>(operands[1].value);
    const int32_t l = operands[0].value, r = operands[1].value;
    uint32_t v;
    switch (op) {
    case Op::Divide: v = r == 0 ? 0u : r == -1 ? 0u - a : static_cast<uint32_t>(l / r); break;
    case Op::Remainder: v = r == 0 || r == -1 ? 0u : static_cast<uint32_t>(l % r); break;
    case Op::ShiftLeft: v = a << (b & 31); break;
    case Op::ShiftRight: v = a >> (b & 31); break;
    case Op::Equal: v = l == r; break;
    case Op::NotEqual: v = l != r; break;
    case Op::Less: v = l < r; break;
    case Op::LessEqual: v = l <= r; break;
    case Op::Greater: v = l > r; break;
    case Op::GreaterEqual: v = l >= r; break;
    case Op::LogicalAnd: v = l != 0 && r != 0; break;
    case Op::LogicalOr: v = l != 0 || r != 0; break;
    case Op::Not: v = a == 0; break;
    case Op::Min: v = static_cast<uint32_t>(l < r ? l : r); break;
    case Op::Max: v = static_cast<uint32_t>(l > r ? l : r); break;
    case Op::Comma: v = a; break;  // drops the newest value
    case Op::Add: v = a + b; break;
    case Op::Subtract: v = a - b; break;
    case Op::Multiply: v = a * b; break;
    case Op::BitAnd: v = a & b; break;
    case Op::BitOr: v = a | b; break;
    case Op::BitXor: v = a ^ b; break;
    case Op::Negate: v = 0u - a; break;
    case Op::Complement: v = ~a; break;
    default: return false;
    }
    *value = static_cast<int32_t>(v);
    return true;
}

void Mark(uint32_t* cells, uint32_t cell) { cells[cell / 32] |= 1u << (cell % 32); }
bool Marked(const uint32_t* cells, uint32_t cell) { return (cells[cell / 32] >> (cell % 32) & 1u) != 0; }

// Follows the cells of "put" and "get" as the program decodes: `stack`
// holds, per value of T and S, whether literals alone made it; entry 0 is
// the T that the program starts with, which no literal made, and entry d
// the newest value when d are counted.
struct CellProof {
    Known stack[kMaxStackDepth + 1] = {};
    int32_t depth = 0;

    // `in`, which the decoder found to take no more values than there are.
    void See(const Instruction& in, CellFacts* facts) {
        const int32_t inputs = kOpInputs[static_cast<int32_t>(in.op)];
        const Known* operands = stack + depth - inputs + 1;
        if (in.op == Op::Put || in.op == Op::Get) {
            const Known& cell = stack[depth];  // the last operand, T, names the cell
            const uint32_t index = static_cast<uint32_t>(cell.value);
            if (!cell.literal)
                facts->literal = false;
            else if (index < uint32_t{kPutCellCount} && in.op == Op::Put)
                Mark(facts->stored, index);
            else if (index < uint32_t{kPutCellCount} && !Marked(facts->stored, index))
                Mark(facts->readFirst, index);
        }
        Known result{in.op == Op::Number, in.value};
        if (inputs > 0 && inputs <= 2) {
            bool literal = true;
            for (int32_t k = 0; k < inputs; ++k) literal = literal && operands[k].literal;
            Known both[2] = {operands[0], inputs == 2 ? operands[1] : operands[0]};
            result.literal = literal && Fold(in.op, both, &result.value);
        }
        depth += StackEffect(in.op);
        stack[depth] = result;
    }
};

void NoCells(CellFacts* facts) {
    *facts = CellFacts{};
    facts->literal = true;
}

void ReturnZero(Program* program) {
    program->code[0] = {Op::Number, 0};
    program->code[1] = {Op::Return, 0};
    program->count = 2;
    program->maxDepth = 1;
    program->constantCount = 0;
    program->columnValues = nullptr;
    NoCells(&program->cells);
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
    NoCells(&program->cells);
    CellProof proof;
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
        proof.See(instruction, &program->cells);
        if (depth > program->maxDepth) program->maxDepth = depth;
        program->code[program->count++] = instruction;
        pos += length;
    }
    return false;
}

}  // namespace

void FollowCellFacts(CellFacts* first, const CellFacts& next) {
    first->literal = first->literal && next.literal;
    for (int32_t k = 0; k < kCellWords; ++k) {
        first->readFirst[k] |= next.readFirst[k] & ~first->stored[k];
        first->stored[k] |= next.stored[k];
    }
}

bool CellsStayInPixel(const CellFacts& facts) {
    if (!facts.literal) return false;
    for (uint32_t word : facts.readFirst)
        if (word != 0) return false;
    return true;
}

bool HasCompiledCode(const uint8_t* area) { return std::memcmp(area, kPrologBytes, kCompiledSignSize) == 0; }

DecodeResult DecodeCodeArea(const uint8_t* area, int32_t capacity, Program* program) {
    if (capacity >= kPrologSize && std::memcmp(area, kPrologBytes, kPrologSize) == 0 &&
        DecodeBody(area, capacity, program))
        return kDecodeCompiled;
    ReturnZero(program);
    return capacity >= kErrorSize && std::memcmp(area, kErrorBytes, kErrorSize) == 0 ? kDecodeFailed : kDecodeNoCode;
}
