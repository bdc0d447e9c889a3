// The parser and code emitter: one procedure per precedence level, each
// appending the templates of its construct in postfix order as it goes.
// Every error rewinds the area to the "error" template and makes the
// current token the error token, which no level accepts.
#pragma once

#include <cstdint>

#include "Lexer.h"

void ParseFormula(CompileContext* context);
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

void EmitTemplate(CompileContext* context, const char* name);
void EmitBytes(CompileContext* context, const uint8_t* bytes, int32_t count);
void EmitError(CompileContext* context);

// Looks up an identifier: true and its arity when a formula may name it.
// The structural templates and "negate" are not values, so an identifier
// never finds them.
bool FindArity(const TemplateTable* table, const char* name, int32_t* arity);
