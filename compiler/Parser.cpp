#include "CompilerInternal.h"

#include <cstring>

namespace {

struct BinaryOperator {
    int32_t token;
    const char* name;  // the template the operator emits
};

// One left-associative level: its operators, up to six, ended by token 0.
using Operators = BinaryOperator[7];

constexpr Operators kLogicalOr = {{kTokenLogicalOr, "||"}};
constexpr Operators kLogicalAnd = {{kTokenLogicalAnd, "&&"}};
constexpr Operators kBitOr = {{kTokenBitOr, "|"}, {kTokenBitXor, "^"}};
constexpr Operators kBitAnd = {{kTokenBitAnd, "&"}};
constexpr Operators kShift = {{kTokenShiftLeft, "<<"}, {kTokenShiftRight, ">>"}};
constexpr Operators kCompare = {{kTokenEqual, "=="},     {kTokenNotEqual, "!="}, {kTokenLess, "<"},
                                {kTokenLessEqual, "<="}, {kTokenGreater, ">"},   {kTokenGreaterEqual, ">="}};
constexpr Operators kAdditive = {{kTokenPlus, "+"}, {kTokenMinus, "-"}};
constexpr Operators kMultiplicative = {{kTokenStar, "*"}, {kTokenSlash, "/"}, {kTokenPercent, "%"}};

// The levels below formula, loosest first: each calls the next, and
// primary calls conditional again.
void ParseSequence(CompileContext* context);
void ParseConditional(CompileContext* context);
void ParseLogicalOr(CompileContext* context);
void ParseLogicalAnd(CompileContext* context);
void ParseBitOr(CompileContext* context);
void ParseBitAnd(CompileContext* context);
void ParseShift(CompileContext* context);
void ParseCompare(CompileContext* context);
void ParseAdditive(CompileContext* context);
void ParseMultiplicative(CompileContext* context);
void ParseUnary(CompileContext* context);
void ParsePrimary(CompileContext* context);

const char* OperatorName(const Operators& operators, int32_t token) {
    for (const BinaryOperator& op : operators)
        if (op.token == token && op.name != nullptr) return op.name;
    return nullptr;
}

// level := operand { operator operand }
void ParseBinary(CompileContext* context, void (*operand)(CompileContext*), const Operators& operators) {
    operand(context);
    while (const char* name = OperatorName(operators, context->token)) {
        NextToken(context);
        operand(context);
        EmitTemplate(context, name);
    }
}

// Makes `token` current and takes the next one, or raises an error.
bool Expect(CompileContext* context, int32_t token) {
    if (context->token != token) {
        EmitError(context);
        return false;
    }
    NextToken(context);
    return true;
}

// Reads the next token unless the last emission raised an error.
void NextTokenUnlessFailed(CompileContext* context) {
    if (context->token != kTokenError) NextToken(context);
}

// number literal
void ParseNumber(CompileContext* context) {
    int32_t value = 0;
    if (!ConvertNumber(context->tokenText, &value)) {
        EmitError(context);
        return;
    }
    const uint32_t bits = static_cast<uint32_t>(value);
    const uint8_t bytes[4] = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                              static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
    EmitTemplate(context, "number");
    EmitBytes(context, bytes, 4);
    NextTokenUnlessFailed(context);
}

// call := name "(" { conditional "," } conditional ")"   (exactly n arguments)
void ParseCall(CompileContext* context, const char* name, int32_t arity) {
    if (!Expect(context, kTokenOpen)) return;
    for (int32_t i = 1; i < arity; ++i) {
        ParseConditional(context);
        if (context->token == kTokenComma) {
            NextToken(context);
        } else {
            EmitError(context);
        }
    }
    ParseConditional(context);
    if (!Expect(context, kTokenClose)) return;
    EmitTemplate(context, name);
}

// name := variable | call
void ParseName(CompileContext* context) {
    int32_t arity = 0;
    if (!FindArity(context->templates, context->tokenText, &arity)) {
        EmitError(context);
        return;
    }
    char name[kTokenTextSize];
    std::memcpy(name, context->tokenText, static_cast<size_t>(context->tokenLength) + 1);
    NextToken(context);
    if (arity <= 0) {
        EmitTemplate(context, name);
    } else {
        ParseCall(context, name, arity);
    }
}

// sequence := conditional { "," conditional }
void ParseSequence(CompileContext* context) {
    ParseConditional(context);
    while (context->token == kTokenComma) {
        EmitTemplate(context, ",");
        NextTokenUnlessFailed(context);
        ParseConditional(context);
    }
}

// conditional := logicalOr [ "?" conditional ":" conditional ]
void ParseConditional(CompileContext* context) {
    ParseLogicalOr(context);
    if (context->token != kTokenQuestion) return;
    NextToken(context);
    ParseConditional(context);
    if (!Expect(context, kTokenColon)) return;
    ParseConditional(context);
    EmitTemplate(context, "?");
}

// logicalOr := logicalAnd { "||" logicalAnd }
void ParseLogicalOr(CompileContext* context) { ParseBinary(context, ParseLogicalAnd, kLogicalOr); }

// logicalAnd := bitOr { "&&" bitOr }
void ParseLogicalAnd(CompileContext* context) { ParseBinary(context, ParseBitOr, kLogicalAnd); }

// bitOr := bitAnd { ("|" | "^") bitAnd }
void ParseBitOr(CompileContext* context) { ParseBinary(context, ParseBitAnd, kBitOr); }

// bitAnd := shift { "&" shift }
void ParseBitAnd(CompileContext* context) { ParseBinary(context, ParseShift, kBitAnd); }

// shift := compare { ("<<" | ">>") compare }
void ParseShift(CompileContext* context) { ParseBinary(context, ParseCompare, kShift); }

// compare := additive { ("==" | "!=" | "<" | "<=" | ">" | ">=") additive }
void ParseCompare(CompileContext* context) { ParseBinary(context, ParseAdditive, kCompare); }

// additive := multiplicative { ("+" | "-") multiplicative }
void ParseAdditive(CompileContext* context) { ParseBinary(context, ParseMultiplicative, kAdditive); }

// multiplicative := unary { ("*" | "/" | "%") unary }
void ParseMultiplicative(CompileContext* context) { ParseBinary(context, ParseUnary, kMultiplicative); }

// unary := ("!" | "~" | "+" | "-") unary | primary
void ParseUnary(CompileContext* context) {
    const int32_t token = context->token;
    if (token != kTokenNot && token != kTokenComplement && token != kTokenPlus && token != kTokenMinus) {
        ParsePrimary(context);
        return;
    }
    NextToken(context);
    ParseUnary(context);
    if (token == kTokenNot) EmitTemplate(context, "!");
    if (token == kTokenComplement) EmitTemplate(context, "~");
    if (token == kTokenMinus) EmitTemplate(context, "negate");
}

// primary := number | name | "(" conditional ")"
void ParsePrimary(CompileContext* context) {
    switch (context->token) {
    case kTokenNumber: ParseNumber(context); return;
    case kTokenIdentifier: ParseName(context); return;
    case kTokenOpen:
        NextToken(context);
        ParseConditional(context);
        Expect(context, kTokenClose);
        return;
    default: EmitError(context); return;
    }
}

}  // namespace

// formula := prolog sequence epilog
void ParseFormula(CompileContext* context) {
    EmitTemplate(context, "prolog");
    NextTokenUnlessFailed(context);
    ParseSequence(context);
    EmitTemplate(context, "epilog");
}

void EmitTemplate(CompileContext* context, const char* name) {
    const uint8_t* code = nullptr;
    int32_t length = 0;
    if (!FindTemplate(context->templates, name, &code, &length)) {
        EmitError(context);
        return;
    }
    EmitBytes(context, code, length);
}

// A write must end strictly before codeEnd: an area of capacity C holds at
// most C - 1 bytes of code.
void EmitBytes(CompileContext* context, const uint8_t* bytes, int32_t count) {
    if (context->codeEnd - context->codePos <= count) {
        EmitError(context);
        return;
    }
    std::memcpy(context->codePos, bytes, static_cast<size_t>(count));
    context->codePos += count;
}

void EmitError(CompileContext* context) {
    context->codePos = context->codeStart;
    std::memcpy(context->codePos, kErrorBytes, kErrorSize);  // every capacity exceeds it
    context->codePos += kErrorSize;
    context->token = kTokenError;
}
