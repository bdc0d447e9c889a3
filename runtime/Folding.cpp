#include "Folding.h"

#include <cstring>

#include "Interpreter.h"

bool IsFrameConstant(Op op) {
    switch (op) {
    // These read the pixel, its position or channel, or the "put" cells,
    // or change the state.
    case Op::X:
    case Op::Y:
    case Op::P:
    case Op::SourceA:
    case Op::SourceR:
    case Op::SourceG:
    case Op::SourceB:
    case Op::SourceC:
    case Op::D:
    case Op::M:
    case Op::I:
    case Op::U:
    case Op::V:
    case Op::Get:
    case Op::Put:
    case Op::Rnd:
    case Op::Rad:
    case Op::Rad1:
    case Op::Src:
    case Op::Cnv:
    case Op::Return:
    case Op::NextChannel:
    case Op::ColumnValue:
    case Op::Count: return false;
    default: return true;
    }
}

bool ProgramUses(const Program* program, Op op) {
    for (int32_t i = 0; i < program->count; ++i)
        if (program->code[i].op == op) return true;
    return false;
}

bool CellsStayInPixel(const Program* const parts[], int32_t count) {
    if (count <= 0) return true;
    CellFacts pixel = parts[0]->cells;
    for (int32_t p = 1; p < count; ++p) FollowCellFacts(&pixel, parts[p]->cells);
    return CellsStayInPixel(pixel);
}

namespace {

// Binary operators and the literal forms they take.
struct LiteralForm {
    Op op, literal;
};
constexpr LiteralForm kLiteralForms[] = {
    {Op::Add, Op::AddLiteral},       {Op::Subtract, Op::SubtractLiteral},   {Op::Multiply, Op::MultiplyLiteral},
    {Op::Divide, Op::DivideLiteral}, {Op::ShiftLeft, Op::ShiftLeftLiteral}, {Op::ShiftRight, Op::ShiftRightLiteral},
    {Op::BitAnd, Op::BitAndLiteral},
};
constexpr int32_t kSclLiteralCount = 4;
constexpr int32_t kSclConstantCount = 5;  // the literals and a shift
// Every "scl" of a full code area fits in the pool.
static_assert(kMaxConstants >= kFormulaCount * kSclConstantCount * (kCodeAreaSize / 29));

// log2 of ih - il + 1 when it is a positive power of two, else -1.
int32_t DivisorShift(int32_t il, int32_t ih) {
    const int64_t divisor = static_cast<int32_t>(static_cast<uint32_t>(ih) - static_cast<uint32_t>(il) + 1u);
    if (divisor <= 0 || (divisor & (divisor - 1)) != 0) return -1;
    return __builtin_ctzll(static_cast<uint64_t>(divisor));
}

// The specialised program being written, with a flag per value of the
// evaluation stack: whether it is a folded literal, which is then the one
// instruction that made it, the last one written for it.
struct Folding {
    Program* out;
    bool constant[kMaxStackDepth + 1];
    int32_t depth = 0;

    bool TopConstant(int32_t count) const {
        for (int32_t k = 1; k <= count; ++k)
            if (depth - k < 0 || !constant[depth - k]) return false;
        return true;
    }
    void Emit(Instruction instruction, bool isConstant) {
        out->code[out->count++] = instruction;
        depth += StackEffect(instruction.op);
        if (depth > 0) constant[depth - 1] = isConstant;
    }
};

// Runs `instruction` on literal operands by the interpreter, with the
// constants of the program it comes from.
int32_t Evaluate(const Instruction* operands, int32_t count, const Instruction& instruction, const Program* from,
                 InstanceState* state) {
    Instruction code[kMaxInputs + 2];
    std::memcpy(code, operands, sizeof(Instruction) * static_cast<size_t>(count));
    code[count] = instruction;
    code[count + 1] = {Op::Return, 0};
    return RunCode(code, from->constants, from->columnValues, state);
}

// Emits a non-constant operation, in its literal form when it has one and
// its trailing operands are literals.
void EmitVarying(Folding& f, const Instruction& instruction, const Program* in) {
    for (const LiteralForm& form : kLiteralForms) {
        if (form.op != instruction.op || !f.TopConstant(1)) continue;
        const int32_t literal = f.out->code[--f.out->count].value;
        --f.depth;
        f.Emit({form.literal, literal}, false);
        return;
    }
    if (instruction.op == Op::Scl && f.TopConstant(kSclLiteralCount)) {
        f.out->count -= kSclLiteralCount;
        f.depth -= kSclLiteralCount;
        const int32_t at = f.out->constantCount;
        int32_t* constants = f.out->constants + at;
        for (int32_t k = 0; k < kSclLiteralCount; ++k) constants[k] = f.out->code[f.out->count + k].value;
        constants[kSclLiteralCount] = DivisorShift(constants[0], constants[1]);
        f.out->constantCount += kSclConstantCount;
        f.Emit({Op::SclLiterals, at}, false);
        return;
    }
    if (instruction.op == Op::SclLiterals) {
        // Carried over from an earlier specialisation: its constants too.
        const int32_t at = f.out->constantCount;
        std::memcpy(f.out->constants + at, in->constants + instruction.value, sizeof(int32_t) * kSclConstantCount);
        f.out->constantCount += kSclConstantCount;
        f.Emit({Op::SclLiterals, at}, false);
        return;
    }
    f.Emit(instruction, false);
}

}  // namespace

void SpecializeProgram(const Program* in, InstanceState* state, SpecializeScope scope, Program* out) {
    Folding f;
    f.out = out;
    out->count = 0;
    out->constantCount = 0;
    for (int32_t i = 0; i < in->count; ++i) {
        const Instruction& instruction = in->code[i];
        const int32_t inputs = kOpInputs[static_cast<int32_t>(instruction.op)];
        const bool foldable = IsFrameConstant(instruction.op) || (scope == kForRow && instruction.op == Op::Y);
        if (!foldable || !f.TopConstant(inputs)) {
            EmitVarying(f, instruction, in);
            continue;
        }
        Instruction* operands = out->code + out->count - inputs;
        const int32_t value =
            instruction.op == Op::Number ? instruction.value : Evaluate(operands, inputs, instruction, in, state);
        out->count -= inputs;
        f.depth -= inputs;
        f.Emit({Op::Number, value}, true);
    }
    out->maxDepth = in->maxDepth;
    out->columnValues = in->columnValues;
    out->cells = in->cells;  // literal cell names fold to the same literals
}

void JoinChannels(const Program* const parts[kFormulaCount], Program* out) {
    out->count = 0;
    out->constantCount = 0;
    out->maxDepth = 0;
    out->columnValues = parts[0]->columnValues;  // one set of tables per frame
    out->cells = parts[0]->cells;
    for (int32_t p = 1; p < kFormulaCount; ++p) FollowCellFacts(&out->cells, parts[p]->cells);
    for (int32_t p = 0; p < kFormulaCount; ++p) {
        const Program* part = parts[p];
        const int32_t base = out->constantCount;
        for (int32_t i = 0; i < part->count; ++i) {
            Instruction instruction = part->code[i];
            if (instruction.op == Op::SclLiterals) instruction.value += base;
            if (instruction.op == Op::Return && p + 1 < kFormulaCount) instruction.op = Op::NextChannel;
            out->code[out->count++] = instruction;
        }
        std::memcpy(out->constants + base, part->constants, sizeof(int32_t) * static_cast<size_t>(part->constantCount));
        out->constantCount += part->constantCount;
        if (part->maxDepth > out->maxDepth) out->maxDepth = part->maxDepth;
    }
}

namespace {

// What a value of the evaluation stack depends on, and where the code that
// computes it starts in the program being written.
enum Dependence : uint8_t { kLiteral, kColumn, kVarying };
struct Part {
    Dependence dependence;
    int32_t start;
};

constexpr int32_t kSclConstants = 5;

// The code of out->code[start, end) as ColumnTables keeps it; its length,
// or -1 when it does not fit.
int32_t ColumnKey(const Program* out, int32_t start, int32_t end, int32_t* key) {
    int32_t length = 0;
    for (int32_t i = start; i < end; ++i) {
        const Instruction& in = out->code[i];
        const bool scl = in.op == Op::SclLiterals;
        if (length + 2 + (scl ? kSclConstants : 0) > kMaxColumnKey) return -1;
        key[length++] = static_cast<int32_t>(in.op);
        if (!scl) {
            key[length++] = in.value;
            continue;
        }
        for (int32_t k = 0; k < kSclConstants; ++k) key[length++] = out->constants[in.value + k];
    }
    return length;
}

// The table of a part alike to the code `key`, or -1.
int32_t TableAlike(const ColumnTables* tables, const int32_t* key, int32_t length) {
    if (length < 0) return -1;
    for (int32_t t = 0; t < tables->count; ++t)
        if (tables->keyLength[t] == length &&
            std::memcmp(tables->keys[t], key, sizeof(int32_t) * static_cast<size_t>(length)) == 0)
            return t;
    return -1;
}

// Replaces out->code[start, end) by a ColumnValue whose table holds the
// value of that code for every column of the frame: a table made for a
// part alike, or one computed here.
bool Tabulate(InstanceState* state, ColumnTables* tables, Program* out, int32_t start, int32_t end) {
    const int32_t width = state->xMax - state->xMin;
    int32_t key[kMaxColumnKey];
    const int32_t length = ColumnKey(out, start, end, key);
    const int32_t alike = TableAlike(tables, key, length);
    if (alike >= 0) {
        std::memmove(out->code + start + 1, out->code + end,
                     sizeof(Instruction) * static_cast<size_t>(out->count - end));
        out->count -= end - start - 1;
        out->code[start] = {Op::ColumnValue, alike * kMaxColumns};
        return true;
    }
    if (tables->count >= kMaxColumnTables || width <= 0 || width > kMaxColumns) return false;
    tables->keyLength[tables->count] = length;
    if (length > 0) std::memcpy(tables->keys[tables->count], key, sizeof(int32_t) * static_cast<size_t>(length));
    // The part runs in place, its end marked by a Return for the while.
    const Instruction after = out->code[end];
    out->code[end] = {Op::Return, 0};
    const int32_t offset = tables->count++ * kMaxColumns;
    const int32_t x = state->x;
    for (state->x = state->xMin; state->x < state->xMax; ++state->x)
        tables->values[offset + state->x - state->xMin] =
            RunCode(out->code + start, out->constants, tables->values, state);
    state->x = x;
    out->code[end] = after;
    std::memmove(out->code + start + 1, out->code + end, sizeof(Instruction) * static_cast<size_t>(out->count - end));
    out->count -= end - start - 1;
    out->code[start] = {Op::ColumnValue, offset};
    return true;
}

}  // namespace

void TabulateColumns(const Program* in, InstanceState* state, ColumnTables* tables, Program* out) {
    Part parts[kMaxStackDepth + 1];
    int32_t depth = 0;
    out->count = 0;
    std::memcpy(out->constants, in->constants, sizeof(int32_t) * static_cast<size_t>(in->constantCount));
    out->constantCount = in->constantCount;
    out->maxDepth = in->maxDepth;
    out->columnValues = tables->values;
    out->cells = in->cells;
    for (int32_t i = 0; i < in->count; ++i) {
        const Instruction& instruction = in->code[i];
        const int32_t inputs = kOpInputs[static_cast<int32_t>(instruction.op)];
        const int32_t first = depth - inputs < 0 ? 0 : depth - inputs;
        Dependence dependence = kLiteral;
        for (int32_t k = first; k < depth; ++k)
            if (parts[k].dependence > dependence) dependence = parts[k].dependence;
        if (depth - inputs < 0) dependence = kVarying;
        if (instruction.op == Op::X)
            dependence = kColumn;
        else if (!IsFrameConstant(instruction.op))
            dependence = kVarying;
        if (dependence == kVarying) {
            // The column-only operands of a varying operation become table
            // lookups, the last first so the earlier starts stay valid.
            for (int32_t k = depth - 1; k >= first; --k) {
                const int32_t end = k + 1 < depth ? parts[k + 1].start : out->count;
                if (parts[k].dependence == kColumn && end - parts[k].start > 1)
                    Tabulate(state, tables, out, parts[k].start, end);
            }
        }
        const int32_t start = inputs > 0 && depth - inputs >= 0 ? parts[depth - inputs].start : out->count;
        out->code[out->count++] = instruction;
        depth += StackEffect(instruction.op);
        if (depth > 0) parts[depth - 1] = {dependence, start};
    }
}
