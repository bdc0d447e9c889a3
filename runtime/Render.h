// Frame preparation and the render loop: one piece of code whatever
// executor runs the formulas.
#pragma once

#include <cstdint>

#include "FilterParams.h"
#include "Folding.h"
#include "HostRecords.h"
#include "InstanceState.h"
#include "NativeExecutor.h"
#include "Program.h"
#include "VectorExecutor.h"

// How a frame's programs run, decided once per frame.
struct FramePlan {
    bool single;                 // single-expression mode: formula 3 for all four bytes
    bool perRow[kFormulaCount];  // the program reads "y": folded again at every row
    bool anyPerRow;
    bool vector;        // the vector executor runs the frame, else the interpreter
    NativeIsa native;   // with vector: rows whose program has native code run on the kernel at this set
    bool inOrder;       // cells a pixel may see of another: rows render in order, on one thread
    bool cellsInPixel;  // "put" and "get" only within a pixel (CellsStayInPixel)
    int32_t draws;      // "rnd" draws per pixel, the same at every pixel: a band skips those of the rows above
};

// Which executors may run a frame: the best that computes it exactly; the
// interpreter alone (the reference, for tests and comparisons); the vector
// executor without native code; native code at one instruction set where
// the program has it (the vector executor elsewhere). Each falls back to
// the interpreter for what the vector executor does not take.
enum ExecutorChoice : int32_t {
    kBestExecutor = 0,
    kInterpreterOnly = 1,
    kVectorOnly = 2,
    kNativeAvx2Only = 3,
    kNativeAvx512Only = 4,
};

// The four code areas of a state, decoded once per compile; the same
// programs specialised for the frame, their column-only parts tabulated;
// and those joined into one program per pixel when none is folded per row.
// Shared, read only, by every worker that renders rows of the frame.
struct FormulaPrograms {
    Program program[kFormulaCount];
    Program frame[kFormulaCount];
    Program folded;  // a frame's program on its way to the tables
    Program pixel;
    Program sampleRow[kFormulaCount];  // folded for the first row: the shape of every row's
    ColumnTables columns;
    FramePlan plan;
    ExecutorChoice executor = kBestExecutor;
    bool isaKnown = false;  // the processor's best native set, asked once (a query costs a VM exit)
    NativeIsa bestIsa = kNoNativeIsa;
    NativeKernelPtr kernel;  // made once per compile, kept while the programs' operations stay
};

// What one worker needs for its rows: the programs folded for the row it
// renders, and the vector executor's lanes.
struct RowWorkspace {
    Program row[kFormulaCount];
    Program pixel;
    VectorWorkspace lanes;
    NativeWorkspace native;
};

// Everything one instance needs to render a frame on one thread.
struct RenderWorkspace {
    FormulaPrograms programs;
    RowWorkspace rows;
};

void DecodeFormulas(const InstanceState* state, FormulaPrograms* programs);

// Asked once per rendered row: true when the user pressed a key or the
// left mouse button and the render should stop.
using InputProbe = bool (*)();

// Derives the per-frame state from the block and the frame time: sliders,
// the four map tables, the random generator and the "put" cells.
void PrepareFrame(const FilterRecord* record, InstanceState* state, const FilterParams* params);

// The parts of the render loop, for callers that share a frame's rows
// among workers. SetFrameContext fills the pixel context from the record's
// maps (source bounds and addresses, time, total); PreparePrograms
// specialises the programs for the frame and plans how they run.
void SetFrameContext(const FilterRecord* record, InstanceState* state);
void PreparePrograms(InstanceState* state, const FilterParams* params, FormulaPrograms* programs);

// What a render came to.
enum RenderResult : int32_t {
    kRenderDone = 0,      // every row was rendered
    kRenderStopped = 1,   // `probe` asked to stop after a row; the destination is incomplete
    kRenderNoMemory = 2,  // no workspace could be had: nothing was rendered
};

// Renders rows [firstRow, endRow) (host coordinates within the source
// bounds) into `destination`. `state` is the worker's own: prepared, with
// the frame context set. kRenderStopped when `probe` asked to stop after a row.
RenderResult RenderRows(InstanceState* state, const FormulaPrograms* programs, RowWorkspace* rows,
                        const PixelMap* destination, int32_t firstRow, int32_t endRow, InputProbe probe);

// Another thread's share of a frame: its own state (a copy of the prepared
// one is made for each frame) and row workspace.
struct RowHelper {
    InstanceState* state;
    RowWorkspace* rows;
};

// The threads for a frame's bands: a host's pool kept across frames, or
// threads started for the frame. `run` calls work(context, k) for every k
// in [0, count): k = 0 on the calling thread, the others on other threads
// (or after it on the calling thread, when one cannot be had); and returns
// when every call has.
struct BandThreads {
    void (*run)(void* pool, int32_t count, void (*work)(void* context, int32_t k), void* context);
    void* pool;
};

// The render loop: loads the source through the record's callback when the
// state's time differs, then renders the record's source frame into its
// destination, pixel by pixel and channel by channel. A frame whose cells
// no pixel sees of another is shared among the calling thread and the
// helpers, on `threads` (null: threads started for the frame): one band of
// rows each when "rnd" draws, each band's generator skipped to the draws of
// its first pixel; otherwise runs of rows that each takes in turn as it
// comes free. The result is the same byte for byte.
// kRenderDone when every row was rendered, kRenderStopped when `probe` (may
// be null; asked on the calling thread only) reported input after a row:
// the helpers then stop at the end of their run of rows.
RenderResult RenderFrame(FilterRecord* record, InstanceState* state, const FilterParams* params,
                         RenderWorkspace* workspace, InputProbe probe, const RowHelper* helpers = nullptr,
                         int32_t helperCount = 0, const BandThreads* threads = nullptr);

// Where the frame to render comes from.
enum FrameSource : int32_t {
    kSourceHoldsFrame,  // the source map already shows the frame at record->time
    kSourceByCallback,  // the render loop asks the record's callback when the time changed
};

// Renders one frame the way every caller does: takes the record's time
// when the source holds the frame, prepares the frame, runs the loop.
RenderResult RenderFilterFrame(FilterRecord* record, InstanceState* state, const FilterParams* params,
                               RenderWorkspace* workspace, InputProbe probe, FrameSource source,
                               const RowHelper* helpers = nullptr, int32_t helperCount = 0,
                               const BandThreads* threads = nullptr);

// For callers that keep no workspace between calls (the plug-in's execute
// and preview): decodes the state's code areas into a workspace of this
// call's own (a decode costs microseconds, a frame milliseconds), then
// RenderFilterFrame, on up to `threadCount` of `threads` (null: the
// calling thread alone) with helpers of this call's own; a frame large
// enough to gain it back gets native code made for the call, and a small
// one fewer helpers. `probe` is asked on the calling thread only. kRenderNoMemory,
// with nothing rendered, when the workspace cannot be had.
RenderResult RenderInOwnWorkspace(FilterRecord* record, InstanceState* state, const FilterParams* params,
                                  InputProbe probe, FrameSource source, const BandThreads* threads = nullptr,
                                  int32_t threadCount = 1);
