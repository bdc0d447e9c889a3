// The compiler as the rest of the system sees it: the compile drivers,
// which turn formula texts into code areas, recording per formula whether
// it compiled, the error span and the code length; and the formula's tokens
// with the spans the drivers report, for a reader that explains a failed
// compile. The catalogue of names is TemplateTable.h; the compiler's parts
// meet in CompilerInternal.h.
#pragma once

#include <cstdint>

#include "FilterParams.h"
#include "InstanceState.h"

enum Token : int32_t {
    kTokenNone = 0,        // before the first scan
    kTokenEnd = 1,         // end of text
    kTokenError = 2,       // a bad character, or "=" without a second "="
    kTokenIdentifier = 3,  // a letter, then letters and digits
    kTokenNumber = 4,      // a digit, then hexadecimal digits ("0x" allowed)
    kTokenComma = 5,
    kTokenQuestion = 6,
    kTokenColon = 7,
    kTokenNot = 8,          // !
    kTokenLogicalAnd = 9,   // &&
    kTokenLogicalOr = 10,   // ||
    kTokenComplement = 11,  // ~
    kTokenBitAnd = 12,      // &
    kTokenBitOr = 13,       // |
    kTokenBitXor = 14,      // ^
    kTokenEqual = 15,       // ==
    kTokenNotEqual = 16,    // !=
    kTokenLess = 17,
    kTokenLessEqual = 18,
    kTokenGreater = 19,
    kTokenGreaterEqual = 20,
    kTokenShiftLeft = 21,
    kTokenShiftRight = 22,
    kTokenPlus = 23,
    kTokenMinus = 24,
    kTokenStar = 25,
    kTokenSlash = 26,
    kTokenPercent = 27,
    kTokenOpen = 28,
    kTokenClose = 29,
};

enum : int32_t { kTokenTextSize = 256 };  // 255 characters and the terminator

// Compiles text[*start, *end) into `area` of `*capacity` bytes. On return
// [*start, *end) is the span of the token at which parsing stopped and
// *capacity the code length. True when the formula compiled.
bool CompileFormula(const char* text, int32_t* start, int32_t* end, uint8_t* area, int32_t* capacity);

// Compiles formula[0..3] of `params` into the code areas of `state` and
// records the four results; then clears recompileNeeded and sets
// previewDirty.
void CompileFormulas(InstanceState* state, const FilterParams* params);

// One token as the compiler cuts it, with the span a compile that stops at
// it reports.
struct FormulaToken {
    int32_t token;  // a Token
    int32_t start;  // the span [start, end)
    int32_t end;
    int32_t length;  // characters kept in text: a longer token keeps its first 255
    char text[kTokenTextSize];
};

// The first token of text[0, length) at or after `from`. Starting at 0 and
// then at each token's end cuts the text as a compile does, up to the end
// token (kTokenEnd, span [length, length)).
FormulaToken ScanFormulaToken(const char* text, int32_t length, int32_t from);

// Converts a number token's text; true when every character was used.
bool ConvertNumber(const char* text, int32_t* value);
