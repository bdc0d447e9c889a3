// The lexer: cuts one formula into tokens, one byte of look-ahead at a time.
// It reports nothing; a character that starts no token is the error token.
#pragma once

#include <cstdint>

#include "TemplateTable.h"

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

// One compile of one formula: the lexer's state and the emitter's.
struct CompileContext {
    int32_t lookahead;   // current character 0..255; 0 is the end of text
    int32_t token;       // the current Token
    int32_t tokenLength; // characters kept in tokenText, 0..255
    char tokenText[kTokenTextSize];
    const uint8_t* textStart;
    const uint8_t* textPos;    // next character to read
    const uint8_t* textEnd;    // one past the last character
    uint8_t* codeStart;        // the code area being filled
    uint8_t* codePos;          // next byte to write; always below codeEnd
    uint8_t* codeEnd;          // codeStart plus the capacity
    const TemplateTable* templates;
};

// Scans the next token into token, tokenText and tokenLength, leaving the
// character after it in lookahead.
void NextToken(CompileContext* context);

// Converts a number token's text; true when every character was used.
bool ConvertNumber(const char* text, int32_t* value);

void ReadChar(CompileContext* context);
void KeepChar(CompileContext* context);

int32_t IsSpace(int32_t c);
int32_t IsLetter(int32_t c);
int32_t IsDigit(int32_t c);
int32_t IsHexDigit(int32_t c);
