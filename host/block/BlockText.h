// The block as `fablix show` prints it.
#pragma once

#include <string>

#include "FilterParams.h"

// One byte of a formula as plain text: printable ASCII as it stands, a
// backslash doubled, tab, line feed and carriage return as \t, \n, \r, and
// every other byte as \xHH, so that nothing in a formula can disturb the
// terminal or hide a character.
std::string ReadableByte(unsigned char c);

// ReadableByte of each byte of a formula slot, as one line. A slot without
// terminator stops at its end.
std::string ReadableFormula(const char* slot);

// ReadableByte of each byte of `text`.
std::string ReadableText(const std::string& text);

// Four lines "B (formula 0): text" in index order, the eight slider values,
// and whether single expression mode is on:
//   formulas:
//     B (0): sin(...)
//     ...
//   sliders: 0=21 1=99 2=141 3=67 4=54 5=16 6=130 7=56
//   single expression: off
// An empty formula shows as "(empty)".
std::string BlockText(const FilterParams& params);

// The block as one JSON object, for editors: the four formulas (as stored,
// up to their terminator), the slider positions, single expression mode,
// and the fields a built plug-in carries (title, author, module name, the
// maps' and sliders' names and which of them are enabled).
std::string BlockJson(const FilterParams& params);
