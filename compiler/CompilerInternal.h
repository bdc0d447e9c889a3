// How the compiler's parts meet, for its own sources and tests: the lexer,
// which cuts one formula into tokens one byte of look-ahead at a time and
// reports nothing (a character that starts no token is the error token);
// and the parser and code emitter, one procedure per precedence level, each
// appending the templates of its construct in postfix order as it goes.
// Every error rewinds the area to the "error" template and makes the
// current token the error token, which no level accepts.
#pragma once

#include <cstdint>

#include "CompileDriver.h"
#include "TemplateTable.h"

// One compile of one formula: the lexer's state and the emitter's.
struct CompileContext {
    int32_t lookahead;    // current character 0..255; 0 is the end of text
    int32_t token;        // the current Token
    int32_t tokenLength;  // characters kept in tokenText, 0..255
    char tokenText[kTokenTextSize];
    const uint8_t* textStart;
    const uint8_t* textPos;  // next character to read
    const uint8_t* textEnd;  // one past the last character
    uint8_t* codeStart;      // the code area being filled
    uint8_t* codePos;        // next byte to write; always below codeEnd
    uint8_t* codeEnd;        // codeStart plus the capacity
    const TemplateTable* templates;
};

// Scans the next token into token, tokenText and tokenLength, leaving the
// character after it in lookahead.
void NextToken(CompileContext* context);

void ReadChar(CompileContext* context);
void KeepChar(CompileContext* context);

int32_t IsSpace(int32_t c);
int32_t IsLetter(int32_t c);
int32_t IsDigit(int32_t c);
int32_t IsHexDigit(int32_t c);

// formula := prolog sequence epilog
void ParseFormula(CompileContext* context);

void EmitTemplate(CompileContext* context, const char* name);
void EmitBytes(CompileContext* context, const uint8_t* bytes, int32_t count);
void EmitError(CompileContext* context);
