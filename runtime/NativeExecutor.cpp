// The native executor's code generator (Xbyak) and its driver. One vector
// register holds one value of the stack for a vector of pixels: slot k of
// the stack lives in register k. Scratch registers and the pixel being
// assembled sit above the slots. Where 32-bit lanes cannot give the exact
// result (quotients, 64-bit products, the angle and length procedures) the
// lanes go through doubles, which hold every intermediate integer exactly,
// as in the vector executor.
#include "NativeExecutor.h"

#include <cstddef>
#include <cstring>

#include "Angles.h"
#include "Folding.h"
#include "Interpreter.h"
#include "Random.h"
#include "Semantics.h"

#if FABLIX_NATIVE_EXECUTOR
#define XBYAK_NO_EXCEPTION
#include <xbyak/xbyak.h>
#include <xbyak/xbyak_util.h>

#include <map>
#include <optional>
#include <vector>

namespace {

// What the kernel reads for a row: addresses, bounds and the per-row terms
// of the polar and neighbourhood functions. Its offsets are taken by the
// generator, so only this file knows the layout.
struct NativeContext {
    const uint8_t* source;  // the first pixel of the run
    uint8_t* destination;
    int64_t count;             // pixels, a multiple of the lanes
    const int32_t* literals;   // two per instruction
    const int32_t* columns;    // the column tables at the run's first column
    const uint8_t* frameBase;  // the source's first row
    const uint8_t* cnvRows[3];
    const int32_t* draws;  // "rnd": the run's draws in the generator's order, pixel by pixel
    const int32_t* cosine;
    const int32_t* sineCosine;  // the cosine table as "sin" and "cos" give it
    const int32_t* baseAngle;
    const int32_t* vector;
    const int32_t* maps;
    const int32_t* sliders;
    int32_t x;  // the column of the first pixel
    int32_t xMin, xLast, yMin, yLast, rowBytes;
    int32_t halfWidth;                  // "rad": W / 2
    int32_t radialRow, radialRowUpper;  // "rad", "rad1": H / 2 + e and H / 2 - e
    int32_t angleDy, angleSign;         // "d": dy, and -1 when it counts as below
    int32_t angleHalf;                  // "d": W / 2
    int32_t distanceHalf, distanceDy;   // "m"
};

using Xbyak::Address;
using Xbyak::Label;
using Xbyak::Xmm;
using Xbyak::Ymm;
using Xbyak::Zmm;

// Registers above the stack's: scratch, then the pixel being assembled.
enum : int32_t { kScratchCount = 7 };

constexpr int32_t kMinInt = INT32_MIN;

// The variant of an operation that the code depends on: for "/" by a
// literal, whether it is a power of two.
uint8_t VariantOf(const Instruction& in) {
    if (in.op != Op::DivideLiteral) return 0;
    return in.value > 0 && (in.value & (in.value - 1)) == 0 ? 1 : 0;
}

bool HasNativeCode(Op op) {
    switch (op) {
    case Op::Scl:
    case Op::SclLiterals:
    case Op::Count: return false;
    default: return true;
    }
}

class Generator : public Xbyak::CodeGenerator {
public:
    Generator(size_t size, bool wide) : CodeGenerator(size, Xbyak::DontSetProtectRWE), wide_(wide) {
        lanes_ = wide ? 16 : 8;
        slots_ = wide ? 24 : 8;
    }

    bool Emit(const Program* program, bool single) {
        single_ = single;
        if (EmitCopy(program)) return Xbyak::GetError() == 0;
        // The stack takes registers 0..maxDepth; an operation's homes, up to
        // three above the value it makes.
        firstFreeRegister_ = program->maxDepth + kMaxHomes + 1;
        PlanSharing(program);
        if (!PlanCells(program)) return false;
        PlanConvolutions(program);
        Prologue();
        Label loop;
        L(loop);
        const std::vector<bool> readsT = ChannelsReadingT(program);
        if (readsT[0]) Xor(V(0), V(0), V(0));  // T before the first value
        int32_t depth = 0, channel = 0;
        for (int32_t i = 0; i < program->count; ++i) {
            const Instruction& in = program->code[i];
            const int32_t inputs = kOpInputs[static_cast<int32_t>(in.op)];
            depth_ = depth;
            if (in.op == Op::Return || in.op == Op::NextChannel) {
                StoreChannel(depth, channel);
                direct_ = false;
                if (in.op == Op::Return) break;
                if (depth != 0 && readsT[size_t(channel) + 1]) Move(V(0), V(depth));
                isByte_[0] = isByte_[size_t(depth)];
                depth = 0;
                ++channel;
                continue;
            }
            if (reuse_[size_t(i)].end >= 0) {  // a part computed before: its saved value
                if (depth + 1 >= slots_) return false;
                LoadSaved(V(depth + 1), saved_[size_t(reuse_[size_t(i)].from)]);
                isByte_[size_t(depth) + 1] = false;
                depth = depth + 1;
                i = reuse_[size_t(i)].end;
                continue;
            }
            if (literalOperand_[size_t(i)]) continue;  // read where "cnv" uses it
            const Op next = program->code[i + 1].op;   // every program ends with Return
            if (!single_ && CopiedByte(in.op, channel) == channel && saved_[size_t(i)] < 0 &&
                (next == Op::Return || (next == Op::NextChannel && !readsT[size_t(channel) + 1]))) {
                direct_ = true;  // the channel is its own source byte: masked in where it is stored
                depth = depth + 1;
                continue;
            }
            const bool literalCnv = in.op == Op::Cnv && cnvLiterals_[size_t(i)] >= 0;
            const int32_t base = inputs == 0 || literalCnv ? depth + 1 : depth - inputs + 1;
            if (base < 0 || base >= slots_) return false;
            current_ = i;
            if (!Operation(i, in, base, channel)) return false;
            isByte_[size_t(base)] = in.op == Op::SourceB || in.op == Op::SourceG || in.op == Op::SourceR ||
                                    in.op == Op::SourceA || in.op == Op::SourceC || in.op == Op::I;
            emitted_[size_t(i)] = true;
            if (saved_[size_t(i)] >= 0) StoreSaved(saved_[size_t(i)], V(base));
            depth = base;
        }
        Epilogue(loop);
        Pool();
        return Xbyak::GetError() == 0;
    }

    // The literals that name cells: the same in every row's program for the
    // kernel to fit it.
    const std::vector<std::pair<int32_t, int32_t>>& CellIndexes() const { return cellIndexes_; }
    int32_t Draws() const { return draws_; }

    // A part computed once and used again, whose literals must be the
    // same in every row's program for the kernel to fit it.
    struct Sharing {
        int32_t first, again, length;  // the starts of both parts
    };
    const std::vector<Sharing>& Shared() const { return shared_; }

private:
    struct Reuse {
        int32_t end = -1;   // the part from here to `end` is not computed...
        int32_t from = -1;  // ... but taken from the value saved at `from`
    };
    std::vector<Reuse> reuse_;
    std::vector<int32_t> saved_;  // per instruction: the save slot of its value, or -1
    std::vector<Sharing> shared_;
    int32_t saveSlots_ = 0;
    // Source pixels read by "rad" and "src": the slot that keeps those of
    // the first at a place, and for later ones the first and their places.
    std::vector<int32_t> pixelSlot_, pixelFrom_;
    std::vector<Sharing> pixelSpan_;
    std::vector<bool> emitted_;
    int32_t windowSlot_ = -1;           // the nine pixels of "cnv", kept by the first
    std::vector<int32_t> cnvLiterals_;  // per "cnv": the first of its ten operands when all are literals, else -1
    std::vector<bool> literalOperand_;  // per instruction: one of those operands
    // "put" and "get": each lane's cells, one save slot per cell the
    // program names, by instruction (-1: an index outside the cells).
    std::vector<int32_t> cellSlot_;
    std::vector<std::pair<int32_t, int32_t>> cellIndexes_;  // the instruction of each index literal, its value
    int32_t draws_ = 0;                                     // "rnd" calls per pixel
    int32_t drawsSeen_ = 0;
    bool windowKept_ = false;

    enum : int32_t { kMaxSharedLength = 64, kMaxSaved = 48, kWindow = 9 };

    // Cells are kept per lane: every "get" must read a cell that a "put"
    // of the same pixel wrote before it, both named by literals (the rule
    // the decoder proves, CellFacts); false otherwise. Literal names are
    // folded to one literal by now.
    bool PlanCells(const Program* program) {
        cellSlot_.assign(size_t(program->count), -1);
        if (!CellsStayInPixel(program->cells)) return false;
        std::map<int32_t, int32_t> slotOf;
        for (int32_t i = 0; i < program->count; ++i) {
            const Op op = program->code[i].op;
            draws_ += op == Op::Rnd;
            if (op != Op::Put && op != Op::Get) continue;
            if (i == 0 || program->code[i - 1].op != Op::Number) return false;
            const int32_t cell = program->code[i - 1].value;
            cellIndexes_.push_back({i - 1, cell});
            if (cell < 0 || cell >= kPutCellCount) continue;
            auto found = slotOf.find(cell);
            if (op == Op::Get && found == slotOf.end()) return false;
            if (found == slotOf.end()) {
                if (saveSlots_ >= int32_t{kMaxSaved} + kPutCellCount) return false;
                found = slotOf.emplace(cell, saveSlots_++).first;
            }
            cellSlot_[size_t(i)] = found->second;
        }
        return true;
    }

    static bool ReadsSource(Op op) { return op == Op::Rad || op == Op::Rad1 || op == Op::Src; }
    static bool UniformValue(Op op) {
        return kOpInputs[static_cast<int32_t>(op)] == 0 && (IsFrameConstant(op) || op == Op::Y);
    }

    // Per channel: whether its program reads the T it starts with (the
    // previous channel's value, 0 for the first), by an operation that
    // takes more values than the channel pushed, or by ending with none.
    static std::vector<bool> ChannelsReadingT(const Program* program) {
        std::vector<bool> reads(size_t(kFormulaCount) + 1, false);
        int32_t depth = 0;
        size_t channel = 0;
        for (int32_t i = 0; i < program->count && channel < kFormulaCount; ++i) {
            const Op op = program->code[i].op;
            const int32_t inputs = kOpInputs[static_cast<int32_t>(op)];
            if (op == Op::Return || op == Op::NextChannel) {
                if (depth == 0) reads[channel] = true;
                depth = 0;
                ++channel;
                continue;
            }
            if (inputs > 0 && depth - inputs + 1 <= 0) reads[channel] = true;
            depth += StackEffect(op);
        }
        return reads;
    }

    // A "cnv" whose ten operands are each a value of the row (its weights
    // and divisor, as blur and sharpen give them) reads them from the row's
    // literals where it uses them, so they take no register: with the
    // sixteen of AVX2 it would not fit otherwise.
    void PlanConvolutions(const Program* program) {
        constexpr int32_t kOperands = kOpInputs[static_cast<int32_t>(Op::Cnv)];
        cnvLiterals_.assign(size_t(program->count), -1);
        literalOperand_.assign(size_t(program->count), false);
        for (int32_t i = kOperands; i < program->count; ++i) {
            if (program->code[i].op != Op::Cnv) continue;
            bool literal = true;
            for (int32_t k = i - kOperands; k < i; ++k) literal = literal && UniformValue(program->code[k].op);
            if (!literal) continue;
            cnvLiterals_[size_t(i)] = i - kOperands;
            for (int32_t k = i - kOperands; k < i; ++k) literalOperand_[size_t(k)] = true;
        }
    }

    // The source byte that a value gives unchanged (0..3), -1 for a value
    // the same in every lane (read from the row's literals), or -2 for any other.
    static int32_t CopiedByte(Op op, int32_t channel) {
        switch (op) {
        case Op::SourceB: return 0;
        case Op::SourceG: return 1;
        case Op::SourceR: return 2;
        case Op::SourceA: return 3;
        case Op::SourceC: return channel & 3;
        default: return kOpInputs[static_cast<int32_t>(op)] == 0 && (IsFrameConstant(op) || op == Op::Y) ? -1 : -2;
        }
    }

    // A program whose every channel is a source byte or a value of the row
    // moves bytes and does no arithmetic: one shuffle of the source per
    // vector, the row's values (clamped once, before the loop) merged in.
    // False, with nothing emitted, for any other program.
    bool EmitCopy(const Program* program) {
        const int32_t channels = single_ ? 1 : kFormulaCount;
        if (program->count != 2 * channels) return false;
        int32_t from[kFormulaCount];
        bool copies = false, literals = false, straight = !single_;
        for (int32_t c = 0; c < channels; ++c) {
            const Op end = program->code[2 * c + 1].op;
            if (end != (c + 1 == channels ? Op::Return : Op::NextChannel)) return false;
            from[c] = CopiedByte(program->code[2 * c].op, c);
            if (from[c] == -2) return false;
            copies = copies || from[c] >= 0;
            literals = literals || from[c] == -1;
            straight = straight && from[c] == c;
        }
        Prologue();
        const Xmm pixels = Acc(), constant = V(1), control = V(2);
        Xor(constant, constant, constant);
        for (int32_t c = 0; c < channels; ++c) {
            if (from[c] != -1) continue;
            Broadcast(V(S(0)), Literal(2 * c));
            vpmaxsd(V(S(0)), V(S(0)), Int(0));
            vpminsd(V(S(0)), V(S(0)), Int(255));
            if (single_)
                vpmulld(V(S(0)), V(S(0)), Int(0x01010101));
            else if (c != 0)
                vpslld(V(S(0)), V(S(0)), 8 * c);
            Or(constant, constant, V(S(0)));
        }
        // Byte k of each pixel from byte from[k] of the same pixel, zero
        // (0x80) where a value of the row goes; vpshufb works within each
        // 16 bytes, so one pattern of four pixels serves every lane.
        Label pattern;
        if (copies && !straight) Load(control, ptr[rip + pattern]);
        Label loop;
        L(loop);
        if (!copies) {
            Move(pixels, constant);
        } else {
            Load(pixels, ptr[rsi]);
            if (!straight) vpshufb(pixels, pixels, control);
            if (literals) Or(pixels, pixels, constant);
        }
        Epilogue(loop);
        Pool();
        L(pattern);
        for (int32_t k = 0; k < 4 * kNativeMaxLanes; ++k) {
            const int32_t byte = from[single_ ? 0 : k % 4];
            db(byte < 0 ? 0x80 : static_cast<uint8_t>(k % 16 / 4 * 4 + byte));
        }
        return true;
    }

    // Where the pixels of instruction i come from: -1 to gather them, else
    // the slot to load; `keep` the slot to keep them in, or -1.
    int32_t PixelsFrom(int32_t i, int32_t* keep) {
        *keep = pixelSlot_[size_t(i)];
        const int32_t from = pixelFrom_[size_t(i)];
        if (from < 0 || !emitted_[size_t(from)]) return -1;
        shared_.push_back(pixelSpan_[size_t(i)]);
        return pixelSlot_[size_t(from)];
    }

    static bool ChannelDependent(Op op) { return op == Op::P || op == Op::SourceC || op == Op::Cnv; }
    // Parts that read or change the cells or draw: each computed where it is.
    static bool SeesCellsOrDraws(Op op) { return op == Op::Put || op == Op::Get || op == Op::Rnd; }
    static bool WorthSharing(Op op, int32_t length) {
        return length >= 2 || op == Op::D || op == Op::M || op == Op::I || op == Op::U || op == Op::V;
    }

    // Finds the parts of the pixel program (a value and all the operations
    // that made it) that an earlier part computes alike, in this or an
    // earlier channel: the channels of twirl and fisheye share their angle
    // and radius. Parts that depend on the channel are shared only within
    // one channel.
    void PlanSharing(const Program* program) {
        const size_t count = size_t(program->count);
        reuse_.assign(count, Reuse{});
        saved_.assign(count, -1);
        pixelSlot_.assign(count, -1);
        pixelFrom_.assign(count, -1);
        pixelSpan_.assign(count, Sharing{});
        emitted_.assign(count, false);
        std::vector<int32_t> start(count, -1), channelOf(count, 0), coordinatesEnd(count, -1);
        std::vector<int32_t> slotStart(size_t(kMaxStackDepth) + 2, -1);
        int32_t depth = 0, channel = 0;
        for (int32_t i = 0; i < program->count; ++i) {
            const Op op = program->code[i].op;
            channelOf[size_t(i)] = channel;
            if (op == Op::Return || op == Op::NextChannel) {
                slotStart[0] = -1;
                depth = 0;
                ++channel;
                continue;
            }
            const int32_t inputs = kOpInputs[static_cast<int32_t>(op)];
            const int32_t base = inputs == 0 ? depth + 1 : depth - inputs + 1;
            if (base < 0 || base > kMaxStackDepth) return;
            start[size_t(i)] = inputs == 0 ? i : slotStart[size_t(base)];
            if (ReadsSource(op)) coordinatesEnd[size_t(i)] = slotStart[size_t(depth)] - 1;
            slotStart[size_t(base)] = start[size_t(i)];
            depth = base;
        }
        // Each part by its operations and literals (and channel, where it
        // depends on it): the first of each kind, by its end.
        std::map<std::vector<int64_t>, int32_t> first;
        std::vector<std::vector<std::pair<int32_t, int32_t>>> candidates(count);  // at a start: (end, earlier end)
        for (int32_t i = 0; i < program->count; ++i) {
            const int32_t s = start[size_t(i)];
            if (s < 0 || i - s + 1 > kMaxSharedLength || !WorthSharing(program->code[i].op, i - s + 1)) continue;
            std::vector<int64_t> key;
            bool dependent = false, changing = false;
            for (int32_t k = s; k <= i; ++k) {
                const Instruction& in = program->code[k];
                dependent = dependent || ChannelDependent(in.op);
                changing = changing || SeesCellsOrDraws(in.op);
                key.push_back(int64_t{static_cast<uint8_t>(in.op)} << 32 | static_cast<uint32_t>(in.value));
            }
            if (changing) continue;
            if (dependent) key.push_back(-1 - channelOf[size_t(i)]);
            auto [at, inserted] = first.try_emplace(key, i);
            if (!inserted && at->second < s) candidates[size_t(s)].push_back({i, at->second});
        }
        // "rad" and "src" at the same place read the same pixels whatever
        // their byte; every "cnv" reads the same nine pixels.
        std::map<std::vector<int64_t>, int32_t> place;
        int32_t convolutions = 0;
        for (int32_t i = 0; i < program->count; ++i) {
            const Op op = program->code[i].op;
            convolutions += op == Op::Cnv;
            if (!ReadsSource(op) || start[size_t(i)] < 0 || coordinatesEnd[size_t(i)] < start[size_t(i)]) continue;
            std::vector<int64_t> key{static_cast<uint8_t>(op)};
            bool dependent = false, changing = false;
            for (int32_t k = start[size_t(i)]; k <= coordinatesEnd[size_t(i)]; ++k) {
                dependent = dependent || ChannelDependent(program->code[k].op);
                changing = changing || SeesCellsOrDraws(program->code[k].op);
                key.push_back(int64_t{static_cast<uint8_t>(program->code[k].op)} << 32 |
                              static_cast<uint32_t>(program->code[k].value));
            }
            if (changing) continue;
            if (dependent) key.push_back(-1 - channelOf[size_t(i)]);
            auto [at, inserted] = place.try_emplace(key, i);
            if (inserted || saveSlots_ >= kMaxSaved) continue;
            if (pixelSlot_[size_t(at->second)] < 0) pixelSlot_[size_t(at->second)] = saveSlots_++;
            pixelFrom_[size_t(i)] = at->second;
            pixelSpan_[size_t(i)] = {start[size_t(at->second)], start[size_t(i)],
                                     coordinatesEnd[size_t(i)] - start[size_t(i)] + 1};
        }
        if (convolutions > 1 && saveSlots_ + kWindow <= kMaxSaved) {
            windowSlot_ = saveSlots_;
            saveSlots_ += kWindow;
        }
        // In program order, the longest part that a computed one gives.
        std::vector<bool> computed(count, false);
        for (int32_t k = 0; k < program->count;) {
            int32_t best = -1, from = -1;
            for (auto [end, earlier] : candidates[size_t(k)])
                if (computed[size_t(earlier)] && end > best && (saved_[size_t(earlier)] >= 0 || saveSlots_ < kMaxSaved))
                    best = end, from = earlier;
            if (best < 0) {
                computed[size_t(k++)] = true;
                continue;
            }
            if (saved_[size_t(from)] < 0) saved_[size_t(from)] = saveSlots_++;
            reuse_[size_t(k)] = {best, from};
            shared_.push_back({start[size_t(from)], k, best - k + 1});
            k = best + 1;
        }
    }

    // Save slot k lives in a register above all that the program's stack
    // and the operations' homes above it take, while there are such, and
    // in the stack frame beyond them.
    bool InRegister(int32_t slot) const { return slots_ - 1 - slot >= firstFreeRegister_; }
    void LoadSaved(const Xmm& d, int32_t slot) {
        InRegister(slot) ? Move(d, V(slots_ - 1 - slot)) : Load(d, ptr[rsp + slot * 4 * lanes_]);
    }
    void StoreSaved(int32_t slot, const Xmm& v) {
        InRegister(slot) ? Move(V(slots_ - 1 - slot), v) : Store(ptr[rsp + slot * 4 * lanes_], v);
    }
    void Store(const Address& a, const Xmm& v) { wide_ ? vmovdqu32(a, v) : vmovdqu(a, v); }

private:
    bool wide_;
    int32_t lanes_, slots_;
    bool single_ = false;
    int32_t depth_ = 0;     // before the operation being emitted
    int32_t current_ = 0;   // its index
    bool isByte_[32] = {};  // per stack slot: the value is known to lie in 0..255
    enum : int32_t { kMaxHomes = 3 };
    int32_t firstFreeRegister_ = 0;
    bool direct_ = false;                      // the channel being emitted is a source byte in its own place
    std::optional<Xbyak::Address> broadcast_;  // what Broadcasted gives
    Xmm scratch_;
    std::map<int32_t, Label> ints_;
    std::map<uint64_t, Label> doubles_;
    Label iota_;

    // ------------------------------------------------------------ registers

    Xmm V(int32_t i) const { return wide_ ? Xmm(Zmm(i)) : Xmm(Ymm(i)); }  // 32-bit lanes
    Xmm F(int32_t i) const { return V(i); }                               // doubles
    Xmm H(int32_t i) const { return wide_ ? Xmm(Ymm(i)) : Xmm(i); }       // half the lanes
    int32_t S(int32_t k) const { return slots_ + k; }                     // scratch k
    Xmm Acc() const { return V(slots_ + kScratchCount); }

    // Home k of the stack, free above the current depth: false when there
    // are not that many registers.
    bool Free(int32_t k, int32_t* reg) const {
        *reg = depth_ + 1 + k;
        return *reg < slots_;
    }

    Address Int(int32_t value) { return ptr[rip + ints_[value]]; }
    Address Real(double value) {
        uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        return ptr[rip + doubles_[bits]];
    }
    Address Literal(int32_t i, int32_t k = 0) { return dword[r9 + (8 * i + 4 * k)]; }
    Address Context(size_t offset) { return ptr[rbx + static_cast<int32_t>(offset)]; }

    // ------------------------------------------------------------ lanes

    void And(const Xmm& d, const Xmm& a, const Xbyak::Operand& b) { wide_ ? vpandd(d, a, b) : vpand(d, a, b); }
    void Or(const Xmm& d, const Xmm& a, const Xbyak::Operand& b) { wide_ ? vpord(d, a, b) : vpor(d, a, b); }
    void Xor(const Xmm& d, const Xmm& a, const Xbyak::Operand& b) { wide_ ? vpxord(d, a, b) : vpxor(d, a, b); }
    void AndNot(const Xmm& d, const Xmm& a, const Xbyak::Operand& b) { wide_ ? vpandnd(d, a, b) : vpandn(d, a, b); }
    void Move(const Xmm& d, const Xmm& a) { wide_ ? vmovdqa32(d, a) : vmovdqa(d, a); }
    void Load(const Xmm& d, const Address& a) { wide_ ? vmovdqu32(d, a) : vmovdqu(d, a); }
    void Broadcast(const Xmm& d, const Address& a) { vpbroadcastd(d, a); }

    enum Compare { kEqual = 0, kLess = 1, kGreater = 6 };  // the predicates of vpcmpd
    // d = -1 where a (compare) b, else 0.
    void Mask(const Xmm& d, const Xmm& a, const Xbyak::Operand& b, Compare c) {
        if (wide_) {
            vpcmpd(k1, a, b, c);
            vpmovm2d(d, k1);
            return;
        }
        if (c == kEqual) {
            vpcmpeqd(d, a, b);
        } else if (c == kGreater) {
            vpcmpgtd(d, a, b);
        } else if (b.isREG()) {
            vpcmpgtd(d, static_cast<const Xmm&>(b), a);
        } else {
            vmovdqu(d, b);
            vpcmpgtd(d, d, a);
        }
    }
    // d = mask ? yes : no, lane by lane.
    void Select(const Xmm& d, const Xmm& mask, const Xmm& yes, const Xmm& no) {
        if (wide_) {
            vpmovd2m(k1, mask);
            vpblendmd(d | k1, no, yes);
        } else {
            vpblendvb(d, no, yes, mask);
        }
    }
    // d = base[index * scale], all lanes; d, index and the scratch differ.
    void Gather(const Xmm& d, const Xbyak::Reg64& base, const Xmm& index, int32_t scale, const Xmm& scratch) {
        if (wide_) {
            kxnorw(k2, k2, k2);
            vpgatherdd(d | k2, ptr[base + index * scale]);
        } else {
            vpcmpeqd(scratch, scratch, scratch);
            vpgatherdd(d, ptr[base + index * scale], scratch);
        }
    }
    void Floor(const Xmm& d, const Xmm& a) { wide_ ? vrndscalepd(d, a, 0x09) : vroundpd(d, a, 0x09); }
    void HighHalf(int32_t d, int32_t a) { wide_ ? vextracti32x8(Ymm(d), Zmm(a), 1) : vextracti128(Xmm(d), Ymm(a), 1); }
    void SetHighHalf(int32_t d, int32_t a) {
        wide_ ? vinserti32x8(Zmm(d), Zmm(d), Ymm(a), 1) : vinserti128(Ymm(d), Ymm(d), Xmm(a), 1);
    }
    // Double-select: d = mask ? yes : no, the mask from a == b.
    void SelectEqual(const Xmm& d, const Xmm& a, const Xmm& b, const Xmm& yes, const Xmm& no, const Xmm& scratch) {
        if (wide_) {
            vcmppd(k1, a, b, 0);
            vblendmpd(d | k1, no, yes);
        } else {
            vcmppd(scratch, a, b, 0);
            vblendvpd(d, no, yes, scratch);
        }
    }

    // d = f over doubles, half the lanes at a time: the inputs (registers
    // of 32-bit lanes) are widened into `work` (one each, distinct from the
    // inputs); `body` leaves its result in F(work[0]), which is truncated
    // back; `high` keeps the upper half meanwhile.
    template <class Body>
    void Halves(int32_t d, std::initializer_list<int32_t> inputs, std::initializer_list<int32_t> work, int32_t high,
                Body body) {
        const int32_t* in = inputs.begin();
        const int32_t* w = work.begin();
        const int32_t n = static_cast<int32_t>(inputs.size());
        for (int32_t k = 0; k < n; ++k) {
            HighHalf(w[k], in[k]);
            vcvtdq2pd(F(w[k]), H(w[k]));
        }
        body();
        vcvttpd2dq(H(high), F(w[0]));
        for (int32_t k = 0; k < n; ++k) vcvtdq2pd(F(w[k]), H(in[k]));
        body();
        vcvttpd2dq(H(d), F(w[0]));
        SetHighHalf(d, high);
    }

    // Truncating division as the interpreter's Quotient: by 0 it is 0, by
    // -1 the wrapped negation. Leaves the divisor with 0 and -1 made 1 in
    // S(4) and the truncated quotient by it in S(2); S(1) marks the lanes
    // divided by 0, S(3) those by -1.
    void DivideCore(int32_t a, int32_t b) {
        Xor(V(S(0)), V(S(0)), V(S(0)));
        Mask(V(S(1)), V(b), V(S(0)), kEqual);
        Mask(V(S(3)), V(b), Int(-1), kEqual);
        Or(V(S(4)), V(S(1)), V(S(3)));
        Load(V(S(5)), Int(1));
        Select(V(S(4)), V(S(4)), V(S(5)), V(b));
        Halves(S(2), {a, S(4)}, {S(5), S(6)}, S(0), [&] { vdivpd(F(S(5)), F(S(5)), F(S(6))); });
    }
    void Quotient(int32_t d, int32_t a, int32_t b) {
        DivideCore(a, b);
        Xor(V(S(0)), V(S(0)), V(S(0)));
        vpsubd(V(S(5)), V(S(0)), V(a));
        Select(V(S(2)), V(S(3)), V(S(5)), V(S(2)));
        AndNot(V(d), V(S(1)), V(S(2)));
    }
    void Remainder(int32_t d, int32_t a, int32_t b) {
        DivideCore(a, b);  // by a divisor of 1 the remainder is 0, as by 0 and -1
        vpmulld(V(S(2)), V(S(2)), V(S(4)));
        vpsubd(V(d), V(a), V(S(2)));
    }

    // (m * cos(angle - shift) + 8191) >> 14, the product exact in doubles.
    void PolarComponent(int32_t d, int32_t angle, int32_t m, int32_t shift) {
        if (shift != 0)
            vpsubd(V(S(0)), V(angle), Int(shift));
        else
            Move(V(S(0)), V(angle));
        And(V(S(0)), V(S(0)), Int(kAngleMask));
        Gather(V(S(1)), r13, V(S(0)), 4, V(S(2)));
        Halves(d, {m, S(1)}, {S(2), S(3)}, S(4), [&] {
            vmulpd(F(S(2)), F(S(2)), F(S(3)));
            vaddpd(F(S(2)), F(S(2)), Real(kCosineRound));
            vmulpd(F(S(2)), F(S(2)), Real(1.0 / (1 << kCosineScaleShift)));
            Floor(F(S(2)), F(S(2)));
        });
    }

    // floor(min(|a|, |b|) * 1024 / max(|a|, |b|, 1)): the table index of
    // the angle and length procedures.
    void TableIndex(int32_t d, int32_t a, int32_t b) {
        Halves(d, {a, b}, {S(0), S(1)}, S(3), [&] {
            vandpd(F(S(0)), F(S(0)), Real(AbsMask()));
            vandpd(F(S(1)), F(S(1)), Real(AbsMask()));
            vminpd(F(S(2)), F(S(0)), F(S(1)));
            vmaxpd(F(S(1)), F(S(0)), F(S(1)));
            vmaxpd(F(S(1)), F(S(1)), Real(1.0));
            vmulpd(F(S(2)), F(S(2)), Real(kTableEntries));
            vdivpd(F(S(2)), F(S(2)), F(S(1)));
            Floor(F(S(0)), F(S(2)));
        });
    }
    static double AbsMask() {
        const uint64_t bits = 0x7FFFFFFFFFFFFFFFull;
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    // The angle procedure on (x, y), negated where `sign` is -1 (a register
    // of -1 and 0 lanes made by `makeSign` into S(1)).
    template <class MakeSign>
    void FoldedAngle(int32_t d, int32_t x, int32_t y, MakeSign makeSign) {
        TableIndex(S(4), x, y);
        mov(rax, Context(offsetof(NativeContext, baseAngle)));
        Gather(V(S(5)), rax, V(S(4)), 4, V(S(6)));
        vpabsd(V(S(0)), V(x));  // magnitudes, compared unsigned
        vpabsd(V(S(1)), V(y));
        Xor(V(S(0)), V(S(0)), Int(kMinInt));
        Xor(V(S(1)), V(S(1)), Int(kMinInt));
        Mask(V(S(2)), V(S(1)), V(S(0)), kGreater);  // steep
        vpsrad(V(S(3)), V(x), 31);                  // left
        Xor(V(S(2)), V(S(2)), V(S(3)));
        Load(V(S(0)), Int(kRightAngle));
        vpsubd(V(S(0)), V(S(0)), V(S(5)));
        Select(V(S(5)), V(S(2)), V(S(0)), V(S(5)));
        And(V(S(0)), V(S(3)), Int(kRightAngle));
        vpaddd(V(S(5)), V(S(5)), V(S(0)));
        makeSign();
        Xor(V(S(5)), V(S(5)), V(S(1)));
        vpsubd(V(d), V(S(5)), V(S(1)));
    }

    // The length procedure of (a, b), wrapped to 32 bits; `table` is a
    // free register for the correction.
    void VectorLength(int32_t d, int32_t a, int32_t b, int32_t table) {
        TableIndex(S(4), a, b);
        vpminsd(V(S(4)), V(S(4)), Int(kTableEntries - 1));
        mov(rax, Context(offsetof(NativeContext, vector)));
        Gather(V(table), rax, V(S(4)), 4, V(S(5)));
        Halves(d, {a, b, table}, {S(0), S(1), S(2)}, S(3), [&] {
            vandpd(F(S(0)), F(S(0)), Real(AbsMask()));  // A
            vandpd(F(S(1)), F(S(1)), Real(AbsMask()));  // B
            vmaxpd(F(S(4)), F(S(0)), F(S(1)));          // l
            vmulpd(F(S(5)), F(S(2)), F(S(4)));
            vmulpd(F(S(5)), F(S(5)), Real(1.0 / 65536));
            Floor(F(S(5)), F(S(5)));
            vaddpd(F(S(5)), F(S(5)), F(S(4)));  // unequal
            vmulpd(F(S(4)), F(S(1)), Real(27146.0 / 65536));
            Floor(F(S(4)), F(S(4)));
            vaddpd(F(S(4)), F(S(4)), F(S(1)));  // equal
            SelectEqual(F(S(0)), F(S(0)), F(S(1)), F(S(4)), F(S(5)), F(S(6)));
            // Into 32 bits: less the whole turns of 2^32 that r + 2^31 holds.
            vaddpd(F(S(1)), F(S(0)), Real(2147483648.0));
            vmulpd(F(S(1)), F(S(1)), Real(1.0 / 4294967296.0));
            Floor(F(S(1)), F(S(1)));
            vmulpd(F(S(1)), F(S(1)), Real(4294967296.0));
            vsubpd(F(S(0)), F(S(0)), F(S(1)));
        });
    }

    // The byte z of each pixel in `pixels` (0 where z is outside 0..3).
    void PixelByte(int32_t d, int32_t pixels, int32_t z) {
        And(V(S(5)), V(z), Int(~3));
        Mask(V(S(5)), V(S(5)), Int(0), kEqual);
        And(V(S(6)), V(z), Int(3));
        vpslld(V(S(6)), V(S(6)), 3);
        vpsrlvd(V(S(6)), V(pixels), V(S(6)));
        And(V(S(6)), V(S(6)), Int(0xFF));
        And(V(d), V(S(6)), V(S(5)));
    }

    // The source pixels at byte offsets `offset` from the frame's start.
    void GatherSource(int32_t d, int32_t offset) {
        mov(rax, Context(offsetof(NativeContext, frameBase)));
        Gather(V(d), rax, V(offset), 1, V(S(6)));
    }

    // offset = (Y - yMin) * rowBytes + (X - xMin) * 4 into X.
    void SourceOffset(int32_t X, int32_t Y) {
        Broadcast(V(S(0)), Context(offsetof(NativeContext, yMin)));
        vpsubd(V(Y), V(Y), V(S(0)));
        Broadcast(V(S(0)), Context(offsetof(NativeContext, rowBytes)));
        vpmulld(V(Y), V(Y), V(S(0)));
        Broadcast(V(S(0)), Context(offsetof(NativeContext, xMin)));
        vpsubd(V(X), V(X), V(S(0)));
        vpslld(V(X), V(X), 2);
        vpaddd(V(X), V(X), V(Y));
    }
    void ClampTo(int32_t v, size_t low, size_t high) {
        Broadcast(V(S(0)), Context(low));
        vpmaxsd(V(v), V(v), V(S(0)));
        Broadcast(V(S(0)), Context(high));
        vpminsd(V(v), V(v), V(S(0)));
    }

    void Columns(const Xmm& d) {
        vmovd(Xmm(S(6)), r11d);
        vpbroadcastd(d, Xmm(S(6)));
        vpaddd(d, d, ptr[rip + iota_]);
    }

    // ------------------------------------------------------------ the program

    bool Operation(int32_t i, const Instruction& in, int32_t base, int32_t channel) {
        const Xmm r = V(base);
        auto a = [&](int32_t k) { return base + k; };
        switch (in.op) {
        case Op::Number: Broadcast(r, Literal(i)); return true;
        case Op::P: Load(r, Int(channel)); return true;
        case Op::X: Columns(r); return true;
        case Op::ColumnValue:
            movsxd(rax, Literal(i));
            Load(r, ptr[r10 + rax * 4]);
            return true;
        case Op::SourceB:
        case Op::SourceG:
        case Op::SourceR:
        case Op::SourceA:
        case Op::SourceC: {
            const int32_t byte = in.op == Op::SourceB   ? 0
                                 : in.op == Op::SourceG ? 1
                                 : in.op == Op::SourceR ? 2
                                 : in.op == Op::SourceA ? 3
                                                        : channel & 3;
            Load(r, ptr[rsi]);
            if (byte != 0) vpsrld(r, r, 8 * byte);
            if (byte != 3) And(r, r, Int(0xFF));
            return true;
        }
        case Op::I: return Colour(r, 76, 150, 29);
        case Op::U: return Colour(r, -19, -37, 56);
        case Op::V: return Colour(r, 78, -65, -13);
        case Op::D: {
            int32_t dy;
            if (!Free(1, &dy)) return false;
            Columns(r);
            Broadcast(V(S(0)), Context(offsetof(NativeContext, angleHalf)));
            vpsubd(r, r, V(S(0)));
            Broadcast(V(dy), Context(offsetof(NativeContext, angleDy)));
            FoldedAngle(base, base, dy, [&] { Broadcast(V(S(1)), Context(offsetof(NativeContext, angleSign))); });
            return true;
        }
        case Op::M: {
            int32_t dy, table;
            if (!Free(1, &dy) || !Free(2, &table)) return false;
            Columns(r);
            Broadcast(V(S(0)), Context(offsetof(NativeContext, distanceHalf)));
            vpsubd(r, r, V(S(0)));
            Broadcast(V(dy), Context(offsetof(NativeContext, distanceDy)));
            VectorLength(base, base, dy, table);
            return true;
        }
        case Op::Add: vpaddd(r, r, V(a(1))); return true;
        case Op::Subtract: vpsubd(r, r, V(a(1))); return true;
        case Op::Multiply: vpmulld(r, r, V(a(1))); return true;
        case Op::Divide: Quotient(base, base, a(1)); return true;
        case Op::Remainder: Remainder(base, base, a(1)); return true;
        case Op::AddLiteral: vpaddd(r, r, Broadcasted(i)); return true;
        case Op::SubtractLiteral: vpsubd(r, r, Broadcasted(i)); return true;
        case Op::MultiplyLiteral: vpmulld(r, r, Broadcasted(i)); return true;
        case Op::BitAndLiteral: And(r, r, Broadcasted(i)); return true;
        case Op::ShiftLeftLiteral: vpsllvd(r, r, Broadcasted(i)); return true;
        case Op::ShiftRightLiteral: vpsrlvd(r, r, Broadcasted(i)); return true;
        case Op::DivideLiteral: {
            if (VariantOf(in) == 1) {  // towards 0: negative dividends biased first
                vpsrad(V(S(0)), r, 31);
                And(V(S(0)), V(S(0)), Broadcasted(i));
                vpaddd(r, r, V(S(0)));
                vpsravd(r, r, Broadcasted(i, 1));
                return true;
            }
            int32_t divisor;
            if (!Free(0, &divisor)) return false;
            Broadcast(V(divisor), Literal(i));
            Quotient(base, base, divisor);
            return true;
        }
        case Op::Negate:
            Xor(V(S(0)), V(S(0)), V(S(0)));
            vpsubd(r, V(S(0)), r);
            return true;
        case Op::Not: Bool(r, r, Int(0), kEqual, false); return true;
        case Op::Complement: Xor(r, r, Int(-1)); return true;
        case Op::BitAnd: And(r, r, V(a(1))); return true;
        case Op::BitOr: Or(r, r, V(a(1))); return true;
        case Op::BitXor: Xor(r, r, V(a(1))); return true;
        case Op::ShiftLeft:
        case Op::ShiftRight:
            And(V(S(0)), V(a(1)), Int(31));
            in.op == Op::ShiftLeft ? vpsllvd(r, r, V(S(0))) : vpsrlvd(r, r, V(S(0)));
            return true;
        case Op::Equal: Bool(r, r, V(a(1)), kEqual, false); return true;
        case Op::NotEqual: Bool(r, r, V(a(1)), kEqual, true); return true;
        case Op::Less: Bool(r, r, V(a(1)), kLess, false); return true;
        case Op::GreaterEqual: Bool(r, r, V(a(1)), kLess, true); return true;
        case Op::Greater: Bool(r, r, V(a(1)), kGreater, false); return true;
        case Op::LessEqual: Bool(r, r, V(a(1)), kGreater, true); return true;
        case Op::LogicalAnd:
            Mask(V(S(0)), r, Int(0), kEqual);
            Mask(V(S(1)), V(a(1)), Int(0), kEqual);
            Or(V(S(0)), V(S(0)), V(S(1)));
            vpaddd(r, V(S(0)), Int(1));
            return true;
        case Op::LogicalOr:
            Or(V(S(0)), r, V(a(1)));
            Bool(r, V(S(0)), Int(0), kEqual, true);
            return true;
        case Op::Comma: return true;  // the left operand's register holds the result
        case Op::Choose:              // condition, value if true, value if false
            Mask(V(S(0)), r, Int(0), kEqual);
            Select(r, V(S(0)), V(a(2)), V(a(1)));
            return true;
        case Op::Min: vpminsd(r, r, V(a(1))); return true;
        case Op::Max: vpmaxsd(r, r, V(a(1))); return true;
        case Op::Abs: vpabsd(r, r); return true;
        case Op::Dif:
            vpsubd(r, r, V(a(1)));
            vpabsd(r, r);
            return true;
        case Op::AddCapped:
            vpaddd(r, r, V(a(1)));
            vpminsd(r, r, V(a(2)));
            return true;
        case Op::SubFloored:
            vpsubd(r, r, V(a(1)));
            vpmaxsd(r, r, V(a(2)));
            return true;
        case Op::Ctl:
            Inside(S(0), base, kSliderCount);
            And(V(S(1)), r, Int(kSliderCount - 1));
            mov(rax, Context(offsetof(NativeContext, sliders)));
            Gather(V(S(2)), rax, V(S(1)), 4, V(S(3)));
            And(r, V(S(2)), V(S(0)));
            return true;
        case Op::Val:  // lo + ((hi - lo + 1) * slider) >>> 8; lo for i outside 0..7
            Inside(S(0), base, kSliderCount);
            And(V(S(1)), r, Int(kSliderCount - 1));
            mov(rax, Context(offsetof(NativeContext, sliders)));
            Gather(V(S(2)), rax, V(S(1)), 4, V(S(3)));
            vpsubd(V(S(1)), V(a(2)), V(a(1)));
            vpaddd(V(S(1)), V(S(1)), Int(1));
            vpmulld(V(S(1)), V(S(1)), V(S(2)));
            vpsrld(V(S(1)), V(S(1)), 8);
            And(V(S(1)), V(S(1)), V(S(0)));
            vpaddd(r, V(a(1)), V(S(1)));
            return true;
        case Op::Map:  // (n & ~255) | entry n & 255 of map i; 0 for i outside 0..3
            Inside(S(0), base, kMapCount);
            And(V(S(1)), r, Int(kMapCount - 1));
            vpslld(V(S(1)), V(S(1)), 8);
            And(V(S(2)), V(a(1)), Int(0xFF));
            vpaddd(V(S(1)), V(S(1)), V(S(2)));
            mov(rax, Context(offsetof(NativeContext, maps)));
            Gather(V(S(2)), rax, V(S(1)), 4, V(S(3)));
            And(V(S(1)), V(a(1)), Int(~0xFF));
            Or(V(S(1)), V(S(1)), V(S(2)));
            And(r, V(S(1)), V(S(0)));
            return true;
        case Op::Mix: {  // (a * (d - n) + b * n) / d with 32-bit products
            vpsubd(V(S(0)), V(a(3)), V(a(2)));
            vpmulld(V(S(0)), V(S(0)), r);
            vpmulld(V(S(1)), V(a(1)), V(a(2)));
            vpaddd(r, V(S(0)), V(S(1)));
            Quotient(base, base, a(3));
            return true;
        }
        case Op::Sin:
        case Op::Cos:
            if (in.op == Op::Sin) vpsubd(r, r, Int(kRightAngle));
            vpabsd(V(S(0)), r);
            And(V(S(0)), V(S(0)), Int(kAngleMask));
            Gather(r, r14, V(S(0)), 4, V(S(2)));
            return true;
        case Op::Tan: {  // (sin * 1024) / cos, 0 where the cosine is 0
            int32_t cosine;
            if (!Free(0, &cosine)) return false;
            vpabsd(V(S(0)), r);
            And(V(S(0)), V(S(0)), Int(kAngleMask));
            Gather(V(cosine), r13, V(S(0)), 4, V(S(2)));
            vpsubd(V(S(0)), r, Int(kRightAngle));
            vpabsd(V(S(0)), V(S(0)));
            And(V(S(0)), V(S(0)), Int(kAngleMask));
            Gather(r, r13, V(S(0)), 4, V(S(2)));
            vpslld(r, r, 10);
            Quotient(base, base, cosine);
            return true;
        }
        case Op::Sqrt:  // the whole root, exact through doubles below 2^52; v itself where v <= 1
            Halves(S(0), {base}, {S(1)}, S(2), [&] { vsqrtpd(F(S(1)), F(S(1))); });
            Mask(V(S(3)), r, Int(1), kGreater);
            Select(r, V(S(3)), V(S(0)), r);
            return true;
        case Op::R2x: PolarComponent(base, base, a(1), 0); return true;
        case Op::R2y: PolarComponent(base, base, a(1), kRightAngle); return true;
        case Op::C2m: {
            int32_t table;
            if (!Free(0, &table)) return false;
            VectorLength(base, base, a(1), table);
            return true;
        }
        case Op::C2d: FoldedAngle(base, base, a(1), [&] { vpsrad(V(S(1)), V(a(1)), 31); }); return true;
        case Op::Rad:
        case Op::Rad1: return Radial(base, in.op == Op::Rad1);
        case Op::Src: {  // the byte z at (x, y), y counted upwards, clamped
            int32_t keep;
            const int32_t from = PixelsFrom(i, &keep);
            if (from >= 0) {
                LoadSaved(V(a(1)), from);
                PixelByte(base, a(1), a(2));
                return true;
            }
            ClampTo(a(1), offsetof(NativeContext, yMin), offsetof(NativeContext, yLast));
            Broadcast(V(S(0)), Context(offsetof(NativeContext, yLast)));
            vpsubd(V(a(1)), V(S(0)), V(a(1)));  // rows from the first in memory
            ClampTo(base, offsetof(NativeContext, xMin), offsetof(NativeContext, xLast));
            Broadcast(V(S(0)), Context(offsetof(NativeContext, xMin)));
            vpsubd(V(base), V(base), V(S(0)));
            vpslld(V(base), V(base), 2);
            Broadcast(V(S(0)), Context(offsetof(NativeContext, rowBytes)));
            vpmulld(V(a(1)), V(a(1)), V(S(0)));
            vpaddd(V(base), V(base), V(a(1)));
            GatherSource(a(1), base);
            if (keep >= 0) StoreSaved(keep, V(a(1)));
            PixelByte(base, a(1), a(2));
            return true;
        }
        case Op::Cnv: return Convolve(base, channel, cnvLiterals_[size_t(i)]);
        case Op::Put:  // stores v in the lane's cell; gives v
            if (cellSlot_[size_t(i)] >= 0) StoreSaved(cellSlot_[size_t(i)], r);
            return true;
        case Op::Get:
            if (cellSlot_[size_t(i)] >= 0)
                LoadSaved(r, cellSlot_[size_t(i)]);
            else
                Xor(r, r, r);
            return true;
        case Op::Rnd: return Random(base);
        default:
            if (kOpInputs[static_cast<int32_t>(in.op)] == 0 && (IsFrameConstant(in.op) || in.op == Op::Y)) {
                Broadcast(r, Literal(i));  // the same in every lane, computed per row
                return true;
            }
            return false;
        }
    }

    // A literal of the row in every lane: read by the operation itself with
    // AVX-512 (an embedded broadcast), else in a scratch register.
    const Xbyak::Operand& Broadcasted(int32_t i, int32_t k = 0) {
        if (wide_) {
            broadcast_.emplace(ptr_b[r9 + (8 * i + 4 * k)]);
            return *broadcast_;
        }
        scratch_ = V(S(6));
        Broadcast(scratch_, Literal(i, k));
        return scratch_;
    }

    // 0/1 of a compare; `inverted` gives the opposite.
    void Bool(const Xmm& d, const Xmm& a, const Xbyak::Operand& b, Compare c, bool inverted) {
        Mask(V(S(0)), a, b, c);
        if (inverted)
            vpaddd(d, V(S(0)), Int(1));
        else
            vpsrld(d, V(S(0)), 31);
    }

    // -1 where the index in slot `index` is in 0..count-1 (count a power of two).
    void Inside(int32_t d, int32_t index, int32_t count) {
        And(V(d), V(index), Int(~(count - 1)));
        Mask(V(d), V(d), Int(0), kEqual);
    }

    bool Colour(const Xmm& r, int32_t red, int32_t green, int32_t blue) {
        Load(V(S(0)), ptr[rsi]);
        And(V(S(1)), V(S(0)), Int(0xFF));
        vpmulld(V(S(1)), V(S(1)), Int(blue));
        vpsrld(V(S(2)), V(S(0)), 8);
        And(V(S(2)), V(S(2)), Int(0xFF));
        vpmulld(V(S(2)), V(S(2)), Int(green));
        vpaddd(V(S(1)), V(S(1)), V(S(2)));
        vpsrld(V(S(2)), V(S(0)), 16);
        And(V(S(2)), V(S(2)), Int(0xFF));
        vpmulld(V(S(2)), V(S(2)), Int(red));
        vpaddd(V(S(1)), V(S(1)), V(S(2)));
        vpsrad(r, V(S(1)), 8);
        return true;
    }

    // "rnd": lo and hi in base, base+1; the lane's next draw, lo plus its
    // remainder modulo hi - lo + 1 taken non-negative, 0 for an empty range.
    bool Random(int32_t base) {
        int32_t draw;
        if (!Free(0, &draw)) return false;
        Load(V(S(0)), ptr[rip + iota_]);  // the lanes' draws lie draws_ apart
        vpmulld(V(S(0)), V(S(0)), Int(draws_));
        if (drawsSeen_ != 0) vpaddd(V(S(0)), V(S(0)), Int(drawsSeen_));
        ++drawsSeen_;
        Gather(V(draw), r12, V(S(0)), 4, V(S(1)));
        vpsubd(V(base + 1), V(base + 1), V(base));  // the range, wrapped
        Halves(draw, {draw, base + 1}, {S(2), S(3)}, S(4), [&] {
            vaddpd(F(S(3)), F(S(3)), Real(1.0));
            vdivpd(F(S(5)), F(S(2)), F(S(3)));
            Floor(F(S(5)), F(S(5)));
            vmulpd(F(S(5)), F(S(5)), F(S(3)));
            vsubpd(F(S(2)), F(S(2)), F(S(5)));
        });
        vpaddd(V(draw), V(draw), V(base));
        vpsrad(V(S(0)), V(base + 1), 31);
        AndNot(V(base), V(S(0)), V(draw));
        return true;
    }

    // "rad", "rad1": d, m, z in slots base..base+2.
    bool Radial(int32_t base, bool upper) {
        int32_t keep;
        const int32_t from = PixelsFrom(current_, &keep);
        if (from >= 0) {
            LoadSaved(V(base + 1), from);
            PixelByte(base, base + 1, base + 2);
            return true;
        }
        int32_t column;
        if (!Free(0, &column)) return false;
        PolarComponent(column, base, base + 1, 0);
        Broadcast(V(S(0)), Context(offsetof(NativeContext, halfWidth)));
        vpaddd(V(column), V(column), V(S(0)));
        ClampTo(column, offsetof(NativeContext, xMin), offsetof(NativeContext, xLast));
        PolarComponent(base + 1, base, base + 1, kRightAngle);
        Broadcast(V(S(0)),
                  Context(upper ? offsetof(NativeContext, radialRowUpper) : offsetof(NativeContext, radialRow)));
        vpsubd(V(base + 1), V(S(0)), V(base + 1));
        ClampTo(base + 1, offsetof(NativeContext, yMin), offsetof(NativeContext, yLast));
        SourceOffset(column, base + 1);
        GatherSource(base + 1, column);
        if (keep >= 0) StoreSaved(keep, V(base + 1));
        PixelByte(base, base + 1, base + 2);
        return true;
    }

    // "cnv": nine weights in slots base..base+8, the divisor in base+9; or,
    // when `literals` is not -1, all ten in the row's literals from there.
    bool Convolve(int32_t base, int32_t channel, int32_t literals) {
        const int32_t divisor = literals < 0 ? base + 9 : base + 1;
        if (divisor >= slots_) return false;
        Columns(V(S(0)));
        vpsubd(V(S(1)), V(S(0)), Int(1));
        vpsubd(V(S(3)), V(S(0)), Int(2));
        Broadcast(V(S(2)), Context(offsetof(NativeContext, xLast)));
        Mask(V(S(2)), V(S(0)), V(S(2)), kEqual);
        Select(V(S(1)), V(S(2)), V(S(3)), V(S(1)));
        Broadcast(V(S(2)), Context(offsetof(NativeContext, xMin)));
        Mask(V(S(2)), V(S(0)), V(S(2)), kEqual);
        Select(V(S(1)), V(S(2)), V(S(0)), V(S(1)));  // the window's first column
        for (int32_t c = 0; c < 3; ++c) {
            vpaddd(V(S(2)), V(S(1)), Int(c));
            Broadcast(V(S(0)), Context(offsetof(NativeContext, xMin)));
            vpmaxsd(V(S(2)), V(S(2)), V(S(0)));
            Broadcast(V(S(3)), Context(offsetof(NativeContext, xLast)));
            vpminsd(V(S(2)), V(S(2)), V(S(3)));
            vpsubd(V(S(2)), V(S(2)), V(S(0)));
            for (int32_t j = 0; j < 3; ++j) {
                const int32_t kept = windowSlot_ < 0 ? -1 : windowSlot_ + 3 * j + c;
                if (windowKept_) {
                    LoadSaved(V(S(3)), kept);
                } else {
                    mov(rax, Context(offsetof(NativeContext, cnvRows) + sizeof(void*) * size_t(j)));
                    Gather(V(S(3)), rax, V(S(2)), 4, V(S(4)));
                    if (kept >= 0) StoreSaved(kept, V(S(3)));
                }
                if (channel % 4 != 0) vpsrld(V(S(3)), V(S(3)), 8 * (channel & 3));
                And(V(S(3)), V(S(3)), Int(0xFF));
                if (literals < 0) {
                    vpmulld(V(S(3)), V(S(3)), V(base + 3 * j + c));
                } else {
                    vpmulld(V(S(3)), V(S(3)), Broadcasted(literals + 3 * j + c));
                }
                if (c == 0 && j == 0)
                    Move(V(S(5)), V(S(3)));
                else
                    vpaddd(V(S(5)), V(S(5)), V(S(3)));
            }
        }
        windowKept_ = windowSlot_ >= 0;
        Move(V(base), V(S(5)));
        // By 0 as by 1: the sum itself.
        if (literals >= 0) Broadcast(V(divisor), Literal(literals + 9));
        Mask(V(S(0)), V(divisor), Int(0), kEqual);
        vpsubd(V(divisor), V(divisor), V(S(0)));
        Quotient(base, base, divisor);
        return true;
    }

    // The clamped value of the channel in slot `slot` into its byte.
    // A source byte needs no clamping.
    void StoreChannel(int32_t slot, int32_t channel) {
        if (direct_) {
            Load(V(S(0)), ptr[rsi]);
            if (channel == 0) {
                And(Acc(), V(S(0)), Int(0xFF));
            } else {
                And(V(S(0)), V(S(0)), Int(static_cast<int32_t>(0xFFu << (8 * channel))));
                Or(Acc(), Acc(), V(S(0)));
            }
            return;
        }
        if (!single_ && channel == 0) {  // clamped straight into the pixel
            if (isByte_[size_t(slot)]) {
                Move(Acc(), V(slot));
            } else {
                vpmaxsd(V(S(0)), V(slot), Int(0));
                vpminsd(Acc(), V(S(0)), Int(255));
            }
            return;
        }
        if (isByte_[size_t(slot)]) {
            Move(V(S(0)), V(slot));
        } else {
            vpmaxsd(V(S(0)), V(slot), Int(0));
            vpminsd(V(S(0)), V(S(0)), Int(255));
        }
        if (single_) {
            vpmulld(Acc(), V(S(0)), Int(0x01010101));
        } else if (channel == 0) {
            Move(Acc(), V(S(0)));
        } else {
            vpslld(V(S(0)), V(S(0)), 8 * (channel & 3));
            Or(Acc(), Acc(), V(S(0)));
        }
    }

    void Prologue() {
        push(rbx);
        push(r12);
        push(r13);
        push(r14);
        push(rbp);
        mov(rbp, rsp);
        if (saveSlots_ > 0) sub(rsp, saveSlots_ * 4 * lanes_);
        mov(rbx, rdi);
        mov(rsi, Context(offsetof(NativeContext, source)));
        mov(rdi, Context(offsetof(NativeContext, destination)));
        mov(r8, Context(offsetof(NativeContext, count)));
        mov(r9, Context(offsetof(NativeContext, literals)));
        mov(r10, Context(offsetof(NativeContext, columns)));
        mov(r11d, dword[rbx + static_cast<int32_t>(offsetof(NativeContext, x))]);
        mov(r12, Context(offsetof(NativeContext, draws)));
        mov(r13, Context(offsetof(NativeContext, cosine)));
        mov(r14, Context(offsetof(NativeContext, sineCosine)));
    }

    void Epilogue(Label& loop) {
        wide_ ? vmovdqu32(ptr[rdi], Acc()) : vmovdqu(ptr[rdi], Acc());
        const int32_t bytes = 4 * lanes_;
        add(rsi, bytes);
        add(rdi, bytes);
        add(r10, bytes);
        add(r11d, lanes_);
        if (draws_ > 0) add(r12, 4 * lanes_ * draws_);
        sub(r8, lanes_);
        jnz(loop, T_NEAR);
        vzeroupper();
        mov(rsp, rbp);
        pop(rbp);
        pop(r14);
        pop(r13);
        pop(r12);
        pop(rbx);
        ret();
    }

    // The constants, each filling a whole vector.
    void Pool() {
        align(64);
        L(iota_);
        for (int32_t k = 0; k < kNativeMaxLanes; ++k) dd(static_cast<uint32_t>(k));
        for (auto& [value, label] : ints_) {
            L(label);
            for (int32_t k = 0; k < kNativeMaxLanes; ++k) dd(static_cast<uint32_t>(value));
        }
        for (auto& [bits, label] : doubles_) {
            L(label);
            for (int32_t k = 0; k < kNativeMaxLanes / 2; ++k) dq(bits);
        }
    }
};

// The code size a program may take: the longest operations' code, the
// loop and the constants.
size_t CodeBudget(const Program* program) {
    size_t bytes = 16384;
    for (int32_t i = 0; i < program->count; ++i) {
        switch (program->code[i].op) {
        case Op::Cnv: bytes += 2048; break;
        case Op::Rad:
        case Op::Rad1:
        case Op::D:
        case Op::M:
        case Op::C2m:
        case Op::C2d:
        case Op::Tan:
        case Op::Sqrt:
        case Op::Mix:
        case Op::Divide:
        case Op::Remainder:
        case Op::DivideLiteral: bytes += 1024; break;
        default: bytes += 128; break;
        }
    }
    return bytes;
}

bool Uniform(Op op) { return kOpInputs[static_cast<int32_t>(op)] == 0 && (IsFrameConstant(op) || op == Op::Y); }

}  // namespace

struct NativeKernel {
    NativeIsa isa;
    bool single;
    std::vector<uint8_t> ops;  // an operation and its variant per instruction
    std::vector<Generator::Sharing> shared;
    std::vector<std::pair<int32_t, int32_t>> cells;
    int32_t draws;
    std::unique_ptr<Generator> code;
    void (*entry)(const NativeContext*);
};

void NativeKernelFree::operator()(NativeKernel* kernel) const { delete kernel; }

const void* NativeKernelCode(const NativeKernel* kernel) { return kernel->code->getCode(); }

bool NativeIsaSupported(NativeIsa isa) {
    using Cpu = Xbyak::util::Cpu;
    // Read once: the processor's features never change, and on a virtual
    // machine every cpuid traps to the hypervisor (tens of microseconds a
    // frame when asked per frame).
    static const Cpu cpu;
    if (isa == kNativeAvx512)
        return cpu.has(Cpu::tAVX512F) && cpu.has(Cpu::tAVX512DQ) && cpu.has(Cpu::tAVX512VL) && cpu.has(Cpu::tAVX512BW);
    if (isa == kNativeAvx2) return cpu.has(Cpu::tAVX2);
    return false;
}

namespace {

void OperationsOf(const Program* program, std::vector<uint8_t>* ops) {
    ops->resize(2 * static_cast<size_t>(program->count));
    for (int32_t i = 0; i < program->count; ++i) {
        (*ops)[2 * size_t(i)] = static_cast<uint8_t>(program->code[i].op);
        (*ops)[2 * size_t(i) + 1] = VariantOf(program->code[i]);
    }
}

// The row's literals as the kernel reads them; false when the program is
// not of the kernel's operations.
bool FillLiterals(const NativeKernel* kernel, const Program* program, InstanceState* state, int32_t* literals) {
    if (2 * static_cast<size_t>(program->count) != kernel->ops.size()) return false;
    for (int32_t i = 0; i < program->count; ++i) {
        const Instruction& in = program->code[i];
        if (kernel->ops[2 * size_t(i)] != static_cast<uint8_t>(in.op) ||
            kernel->ops[2 * size_t(i) + 1] != VariantOf(in))
            return false;
        int32_t* out = literals + 2 * i;
        switch (in.op) {
        case Op::ShiftLeftLiteral:
        case Op::ShiftRightLiteral: out[0] = in.value & 31; break;
        case Op::DivideLiteral:
            out[0] = VariantOf(in) == 1 ? in.value - 1 : in.value;
            out[1] = VariantOf(in) == 1 ? __builtin_ctz(static_cast<uint32_t>(in.value)) : 0;
            break;
        default:
            if (in.op != Op::Number && in.op != Op::ColumnValue && Uniform(in.op)) {
                const Instruction code[2] = {in, {Op::Return, 0}};
                out[0] = RunCode(code, program->constants, program->columnValues, state);
            } else {
                out[0] = in.value;
            }
            break;
        }
    }
    for (const Generator::Sharing& part : kernel->shared)
        for (int32_t k = 0; k < part.length; ++k)
            if (program->code[part.first + k].value != program->code[part.again + k].value) return false;
    for (const auto& [at, cell] : kernel->cells)
        if (program->code[at].value != cell) return false;
    return true;
}

}  // namespace

bool PrepareNativeKernel(const Program* program, bool single, NativeIsa isa, NativeKernelPtr* kernel) {
    std::vector<uint8_t> ops;
    OperationsOf(program, &ops);
    NativeKernel* made = kernel->get();
    if (made != nullptr && made->isa == isa && made->single == single && made->ops == ops) return true;
    kernel->reset();
    if (!NativeIsaSupported(isa)) return false;
    for (int32_t i = 0; i < program->count; ++i)
        if (!HasNativeCode(program->code[i].op)) return false;
    Xbyak::ClearError();
    auto code = std::make_unique<Generator>(CodeBudget(program), isa == kNativeAvx512);
    const bool emitted = Xbyak::GetError() == 0 && code->Emit(program, single) && code->setProtectModeRE(false);
    Xbyak::ClearError();
    if (!emitted) return false;
    NativeKernelPtr fresh(new NativeKernel{isa, single, std::move(ops), code->Shared(), code->CellIndexes(),
                                           code->Draws(), std::move(code), nullptr});
    fresh->entry = fresh->code->getCode<void (*)(const NativeContext*)>();
    *kernel = std::move(fresh);
    return true;
}

bool RenderNativeRun(const NativeKernel* kernel, const VectorRun& run, InstanceState* s, const VectorWorkspace* lanes,
                     NativeWorkspace* native) {
    if (run.storeCount != run.count || run.single != kernel->single) return false;
    if (!FillLiterals(kernel, run.program, s, native->literals)) return false;
    using namespace semantics;
    const int32_t W = Width(s), H = Height(s);
    NativeContext c{};
    c.literals = native->literals;
    c.frameBase = s->baseAddress[kSourceSlot];
    c.cosine = lanes->cosine;
    c.sineCosine = lanes->sineCosine;
    c.baseAngle = lanes->baseAngle;
    c.vector = lanes->vector;
    c.maps = lanes->maps;
    c.sliders = lanes->sliders;
    c.xMin = s->xMin, c.xLast = s->xMax - 1, c.yMin = s->yMin, c.yLast = s->yMax - 1;
    c.rowBytes = s->rowBytes[kSourceSlot];
    c.halfWidth = W / 2;
    const int32_t e = H % 2 == 0 ? 1 : 0;
    c.radialRow = H / 2 + e, c.radialRowUpper = H / 2 - e;
    c.angleDy = s->row - ((H + 1) / 2 - 1);
    c.angleSign = c.angleDy >= 0 ? -1 : 0;
    c.angleHalf = W / 2;
    c.distanceHalf = (W + 1) / 2;
    c.distanceDy = s->row - H / 2 - 1;
    const int32_t first = WindowStart(s->row, s->yMin, s->yMax);
    for (int32_t j = 0; j < 3; ++j)
        c.cnvRows[j] = c.frameBase + int64_t{Clamp(first + j, s->yMin, s->yMax - 1) - s->yMin} * c.rowBytes;

    const int32_t step = kernel->isa == kNativeAvx512 ? 16 : 8;
    const int32_t* columns =
        run.program->columnValues != nullptr ? run.program->columnValues + (run.x - s->xMin) : nullptr;
    c.draws = native->draws;
    // Without "rnd" the row goes in one call: each call costs its prologue.
    const int32_t chunk = kernel->draws > 0 ? kNativeChunk : run.count;
    for (int32_t done = 0; done < run.count; done += chunk) {
        const int32_t count = run.count - done < chunk ? run.count - done : chunk;
        // The chunk's draws in the generator's order: what the pixels draw
        // one after another.
        if (kernel->draws > 0) DrawRandoms(s, native->draws, count * kernel->draws);
        const uint8_t* source = run.source + int64_t{done} * 4;
        uint8_t* destination = run.destination + int64_t{done} * 4;
        const int32_t whole = count / step * step;
        if (whole > 0) {
            c.source = source, c.destination = destination, c.count = whole, c.x = run.x + done;
            c.columns = columns != nullptr ? columns + done : nullptr;
            kernel->entry(&c);
        }
        const int32_t rest = count - whole;
        if (rest == 0) continue;
        // The last pixels through a whole vector of the workspace.
        std::memset(native->tailIn, 0, sizeof native->tailIn);
        std::memcpy(native->tailIn, source + int64_t{whole} * 4, sizeof(uint32_t) * size_t(rest));
        c.source = reinterpret_cast<const uint8_t*>(native->tailIn);
        c.destination = reinterpret_cast<uint8_t*>(native->tailOut);
        c.count = step, c.x = run.x + done + whole;
        c.columns = columns != nullptr ? columns + done + whole : nullptr;
        c.draws = native->draws + int64_t{whole} * kernel->draws;
        kernel->entry(&c);
        c.draws = native->draws;
        std::memcpy(destination + int64_t{whole} * 4, native->tailOut, sizeof(uint32_t) * size_t(rest));
    }
    return true;
}

NativeIsa BestNativeIsa() {
    if (NativeIsaSupported(kNativeAvx512)) return kNativeAvx512;
    if (NativeIsaSupported(kNativeAvx2)) return kNativeAvx2;
    return kNoNativeIsa;
}

#else  // no native executor in this build: the vector executor runs every frame

struct NativeKernel {};
void NativeKernelFree::operator()(NativeKernel* kernel) const { delete kernel; }
const void* NativeKernelCode(const NativeKernel*) { return nullptr; }
bool NativeIsaSupported(NativeIsa) { return false; }
NativeIsa BestNativeIsa() { return kNoNativeIsa; }
bool PrepareNativeKernel(const Program*, bool, NativeIsa, NativeKernelPtr* kernel) {
    kernel->reset();
    return false;
}
bool RenderNativeRun(const NativeKernel*, const VectorRun&, InstanceState*, const VectorWorkspace*, NativeWorkspace*) {
    return false;
}
#endif

const char* NativeIsaName(NativeIsa isa) {
    return isa == kNativeAvx512 ? "AVX-512" : isa == kNativeAvx2 ? "AVX2" : "none";
}
