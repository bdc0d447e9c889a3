// Specialisation: every part of a formula that depends only on the frame
// (literals, bounds, time, sliders, maps, tables), or only on the frame and
// the row, is computed once and replaced by its value, so the per-pixel path
// runs only what varies from pixel to pixel. Operators left with a literal
// operand become their literal forms. The values are computed by the
// interpreter itself, so a specialised program computes exactly what the
// original does.
#pragma once

#include "InstanceState.h"
#include "Program.h"

enum SpecializeScope : int32_t {
    kForFrame,  // fold what depends on the frame alone
    kForRow,    // also fold "y", for the row that `state` describes
};

// True when an operation's value depends on nothing but the frame and its
// operands, and it changes nothing.
bool IsFrameConstant(Op op);

// True when the program runs `op` somewhere.
bool ProgramUses(const Program* program, Op op);

// True when no pixel can see another's "put" cells: in the channel
// programs parts[0..count), run in order for one pixel, every "put" and
// "get" names its cell by literals, and every "get" of a cell comes after
// a "put" to it, by the facts the decoder proved of each (CellFacts). The
// pixels may then run in any order, each with cells of its own.
bool CellsStayInPixel(const Program* const parts[], int32_t count);

// Writes into `out` the program `in` with its constant parts folded, for
// the frame (and row) that `state` describes: bounds, time, sliders, maps
// and tables set, and `row` for kForRow.
void SpecializeProgram(const Program* in, InstanceState* state, SpecializeScope scope, Program* out);

enum : int32_t {
    kMaxColumnTables = 16,
    kMaxColumns = 8192,   // wider frames are not tabulated
    kColumnPadding = 64,  // read, never used, by vector lanes past the last column
    kMaxColumnKey = 96,   // longer parts get a table of their own each time
};

// The values of the column-only parts of a frame's programs, one table per
// part, indexed by column - xMin; with the code of each part (operations
// and literals, the constants of "scl" in place of their index), so that
// parts alike, in one program or in several, share one table.
struct ColumnTables {
    int32_t count;
    int32_t keyLength[kMaxColumnTables];  // -1: too long to share
    int32_t keys[kMaxColumnTables][kMaxColumnKey];
    int32_t values[kMaxColumnTables * kMaxColumns + kColumnPadding];
};

// Writes into `out` the program `in` (specialised for the frame) with each
// part of more than one operation that depends on "x" alone replaced by a
// lookup in a table of `tables`, computed here for every column of the
// frame that `state` describes. Parts that find no free table stay.
void TabulateColumns(const Program* in, InstanceState* state, ColumnTables* tables, Program* out);

// Joins the four channel programs of a pixel into one, in channel order:
// each Return but the last becomes NextChannel, and the constants of each
// part are carried along.
void JoinChannels(const Program* const parts[kFormulaCount], Program* out);
