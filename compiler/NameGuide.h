// What each name of the formula language means, in one line, for the
// tool's list of names and for editors. The names themselves come from the
// template catalogue: this guide only explains them, and its tests hold it
// to the catalogue row for row.
#pragma once

#include <cstdint>

#include "TemplateTable.h"

enum NameKind : int32_t { kNameVariable = 0, kNameOperator = 1, kNameFunction = 2 };

struct NameGuide {
    const char* name;     // as the catalogue spells it ("negate" is unary "-")
    const char* form;     // how a formula writes it: "x", "a + b", "min(a, b)"
    const char* meaning;  // one line
};

// The guide of a catalogue name, or nullptr when it has none.
const NameGuide* FindNameGuide(const char* name);

// Every entry of the guide; `count` receives their number.
const NameGuide* NameGuides(int32_t* count);

// True when a formula can use the row: a variable, an operator or a
// function; false for the structural rows (prolog, number, error, epilog).
bool IsLanguageRow(const Template& row);

// The kind of a language row: a function takes arguments, an operator is
// spelled in punctuation (or is unary minus), anything else is a variable.
NameKind KindOfRow(const Template& row);
