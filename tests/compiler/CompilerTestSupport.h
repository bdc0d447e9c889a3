// Helpers shared by the compiler suites: compile one text into a fresh
// area, decode an area into readable operation names, and build expected
// code from the catalogue's own bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "CompileDriver.h"
#include "Program.h"
#include "TemplateTable.h"

namespace fablix_test {

struct Compiled {
    int32_t failed = 0;
    int32_t start = 0;
    int32_t end = 0;
    int32_t length = 0;
    std::vector<uint8_t> area;  // at least kCodeAreaSize bytes, zeroed before
};

// Compiles `text` (every byte of it, zeros included) into a zeroed area.
inline Compiled Compile(std::string_view text, int32_t capacity = kCodeAreaSize) {
    Compiled result;
    result.area.assign(capacity > kCodeAreaSize ? capacity : kCodeAreaSize, 0);
    result.start = 0;
    result.end = static_cast<int32_t>(text.size());
    result.length = capacity;
    result.failed = !CompileFormula(text.data(), &result.start, &result.end, result.area.data(), &result.length);
    return result;
}

inline const char* OpName(Op op) {
    static const char* const kNames[] = {
#define FABLIX_OP_NAME(name, inputs) #name,
        FABLIX_OPERATIONS(FABLIX_OP_NAME)
#undef FABLIX_OP_NAME
    };
    const int32_t index = static_cast<int32_t>(op);
    return index >= 0 && index < kOpCount ? kNames[index] : "?";
}

// "Number:5" for a literal, the operation's name otherwise.
inline std::vector<std::string> OpNames(const Program& program) {
    std::vector<std::string> names;
    for (int32_t i = 0; i < program.count; ++i) {
        const Instruction& in = program.code[i];
        if (in.op == Op::Number)
            names.push_back("Number:" + std::to_string(in.value));
        else
            names.push_back(OpName(in.op));
    }
    return names;
}

// The operations of an area that must decode as compiled code.
inline std::vector<std::string> DecodedOps(const std::vector<uint8_t>& area) {
    auto program = std::make_unique<Program>();
    const DecodeResult result = DecodeCodeArea(area.data(), kCodeAreaSize, program.get());
    EXPECT_EQ(result, kDecodeCompiled);
    if (result != kDecodeCompiled) return {"<not compiled>"};
    return OpNames(*program);
}

// The bytes of the catalogue row `name`; fails the test if there is none.
inline std::vector<uint8_t> TemplateBytes(const char* name) {
    const uint8_t* code = nullptr;
    int32_t length = 0;
    EXPECT_TRUE(FindTemplate(kTemplateTable, name, &code, &length)) << name;
    if (code == nullptr) return {};
    return std::vector<uint8_t>(code, code + length);
}

// "number" followed by the value's four bytes, least significant first.
inline std::vector<uint8_t> LiteralBytes(int32_t value) {
    std::vector<uint8_t> bytes = TemplateBytes("number");
    const uint32_t bits = static_cast<uint32_t>(value);
    for (int32_t k = 0; k < 4; ++k) bytes.push_back(static_cast<uint8_t>(bits >> (8 * k)));
    return bytes;
}

// One piece of expected code: a template by name, or a literal.
struct Piece {
    const char* name;  // null for a literal
    int32_t value = 0;
};
inline Piece T(const char* name) { return {name, 0}; }
inline Piece L(int32_t value) { return {nullptr, value}; }

inline std::vector<uint8_t> Code(std::initializer_list<Piece> pieces) {
    std::vector<uint8_t> bytes;
    for (const Piece& piece : pieces) {
        const std::vector<uint8_t> part = piece.name != nullptr ? TemplateBytes(piece.name) : LiteralBytes(piece.value);
        bytes.insert(bytes.end(), part.begin(), part.end());
    }
    return bytes;
}

// The first `count` bytes of an area.
inline std::vector<uint8_t> Head(const std::vector<uint8_t>& area, size_t count) {
    return std::vector<uint8_t>(area.begin(), area.begin() + static_cast<std::ptrdiff_t>(count));
}

}  // namespace fablix_test
