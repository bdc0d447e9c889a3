#include "Render.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "Interpreter.h"
#include "Random.h"
#include "Folding.h"
#include "VectorExecutor.h"

namespace {

// Map i from sliders (s0, s1), each taken as an unsigned 16-bit number:
// a rising ramp when s0 >= s1, a falling one otherwise. Fills never run
// past the table, whatever the slider values.
void BuildMap(uint8_t* table, uint32_t s0, uint32_t s1) {
    const bool rising = s0 >= s1;
    const uint32_t low = rising ? s1 : s0;
    const uint32_t high = rising ? s0 : s1;
    const uint8_t below = rising ? 0 : 255;
    for (uint32_t k = 0; k <= low && k < kMapEntries; ++k) table[k] = below;
    for (uint32_t k = high; k < kMapEntries; ++k) table[k] = static_cast<uint8_t>(255 - below);
    for (uint32_t k = low + 1; k < high && k < kMapEntries; ++k) {
        const uint32_t step = ((k - low) * 256) / (high - low + 1);
        table[k] = static_cast<uint8_t>(rising ? step : 255 - step);
    }
}

inline uint8_t ClampToByte(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

int32_t Extent(int32_t low, int32_t high) { return high > low ? high - low : 0; }

constexpr int32_t kPixelBytes = 4;
constexpr int32_t kSingleFormula = 3;  // single-expression mode runs formula 3

// The vector executor addresses source pixels with 32-bit offsets.
bool FrameFitsLanes(const InstanceState* s) {
    const int64_t rowBytes = s->rowBytes[kSourceSlot];
    return rowBytes > 0 && rowBytes * Extent(s->yMin, s->yMax) < (int64_t{1} << 31);
}

// The program of formula i as it runs on the row `rows` was folded for.
const Program* Running(const FormulaPrograms* programs, const RowWorkspace* rows, int32_t i) {
    return programs->plan.perRow[i] ? &rows->row[i] : &programs->frame[i];
}

void JoinRunning(const FormulaPrograms* programs, const RowWorkspace* rows, Program* out) {
    const Program* parts[kFormulaCount];
    for (int32_t i = 0; i < kFormulaCount; ++i) parts[i] = Running(programs, rows, i);
    JoinChannels(parts, out);
}

// One row on the interpreter, pixel by pixel.
void InterpretRow(InstanceState* state, const FormulaPrograms* programs, const Program* program, uint8_t* out,
                  int32_t storeColumns) {
    const bool single = programs->plan.single;
    for (state->x = state->xMin; state->x < state->xMax; ++state->x) {
        const bool store = state->x - state->xMin < storeColumns;
        if (single) {
            state->channel = state->channelMin;
            const uint8_t value = ClampToByte(RunProgram(program, state));
            if (store) std::memset(out, value, kPixelBytes);
        } else {
            int32_t values[kFormulaCount];
            RunPixelProgram(program, state, values);
            if (store) {
                const uint8_t bytes[kFormulaCount] = {ClampToByte(values[0]), ClampToByte(values[1]),
                                                      ClampToByte(values[2]), ClampToByte(values[3])};
                std::memcpy(out, bytes, kFormulaCount);
            }
        }
        state->pixelAddress[kSourceSlot] += kPixelBytes;
        out += kPixelBytes;
    }
}

NativeIsa NativeChoice(FormulaPrograms* programs) {
    switch (programs->executor) {
    case kBestExecutor:
        if (!programs->isaKnown) programs->bestIsa = BestNativeIsa();
        programs->isaKnown = true;
        return programs->bestIsa;
    case kNativeAvx2Only: return NativeIsaSupported(kNativeAvx2) ? kNativeAvx2 : kNoNativeIsa;
    case kNativeAvx512Only: return NativeIsaSupported(kNativeAvx512) ? kNativeAvx512 : kNoNativeIsa;
    default: return kNoNativeIsa;
    }
}

// The kernel of the frame's programs, made when their operations changed;
// the programs folded per row give their shape by the first row.
NativeIsa PrepareNative(InstanceState* state, FormulaPrograms* programs) {
    const FramePlan& plan = programs->plan;
    const NativeIsa isa = NativeChoice(programs);
    if (isa == kNoNativeIsa || state->yMax <= state->yMin) return kNoNativeIsa;
    const Program* program = plan.single ? &programs->frame[kSingleFormula] : &programs->pixel;
    if (plan.anyPerRow) {
        const int32_t row = state->row;
        state->row = state->yMin;
        const Program* parts[kFormulaCount];
        for (int32_t i = 0; i < kFormulaCount; ++i) {
            parts[i] = &programs->frame[i];
            if (!plan.perRow[i] || (plan.single && i != kSingleFormula)) continue;
            SpecializeProgram(&programs->frame[i], state, kForRow, &programs->sampleRow[i]);
            parts[i] = &programs->sampleRow[i];
        }
        state->row = row;
        if (plan.single) {
            program = parts[kSingleFormula];
        } else {
            JoinChannels(parts, &programs->folded);
            program = &programs->folded;
        }
    }
    return PrepareNativeKernel(program, plan.single, isa, &programs->kernel) ? isa : kNoNativeIsa;
}

}  // namespace

void DecodeFormulas(const InstanceState* state, FormulaPrograms* programs) {
    for (int32_t i = 0; i < kFormulaCount; ++i)
        DecodeCodeArea(state->codeAreas[i], kCodeAreaSize, &programs->program[i]);
}

void PrepareFrame(const FilterRecord* record, InstanceState* state, const FilterParams* params) {
    for (int32_t k = 0; k < kSliderCount; ++k) state->sliderValues[k] = params->sliderValue[k];
    for (int32_t i = 0; i < kMapCount; ++i)
        BuildMap(state->mapTables[i], static_cast<uint16_t>(state->sliderValues[2 * i]),
                 static_cast<uint16_t>(state->sliderValues[2 * i + 1]));
    ResetRandom(state, record->time);
    std::memset(state->putCells, 0, sizeof(state->putCells));
}

void SetFrameContext(const FilterRecord* record, InstanceState* state) {
    const PixelMap* source = *record->sourceMap;
    state->xMin = source->bounds.left;
    state->xMax = source->bounds.right;
    state->yMin = source->bounds.top;
    state->yMax = source->bounds.bottom;
    state->channelMin = 0;
    state->channelMax = kPixelBytes;
    state->timeMin = 0;
    state->time = record->time;
    state->total = record->total;
    state->totalCopy = record->total;
    state->self = reinterpret_cast<uint8_t*>(state);
    state->rowBytes[kSourceSlot] = source->rowBytes;
    state->baseAddress[kSourceSlot] = state->rowAddress[kSourceSlot] = source->baseAddress;
    const PixelMap* destination = *record->destinationMap;
    state->rowBytes[kDestinationSlot] = destination->rowBytes;
    state->baseAddress[kDestinationSlot] = state->rowAddress[kDestinationSlot] = destination->baseAddress;
}

void PreparePrograms(InstanceState* state, const FilterParams* params, FormulaPrograms* programs) {
    FramePlan& plan = programs->plan;
    plan = FramePlan{};
    plan.single = params->singleExpression != 0;
    const bool lanes = programs->executor != kInterpreterOnly && FrameFitsLanes(state);
    plan.vector = lanes;
    programs->columns.count = 0;
    int32_t depth = 0;  // of the channels' values in the vector executor
    bool cells = false;
    const int32_t first = plan.single ? kSingleFormula : 0;
    // Each program specialised for the frame, its parts that depend on the
    // column alone tabulated; folded for the row too when it reads "y".
    for (int32_t i = first; i < kFormulaCount; ++i) {
        SpecializeProgram(&programs->program[i], state, kForFrame, &programs->folded);
        TabulateColumns(&programs->folded, state, &programs->columns, &programs->frame[i]);
        const Program* frame = &programs->frame[i];
        plan.perRow[i] = ProgramUses(frame, Op::Y);
        plan.anyPerRow = plan.anyPerRow || plan.perRow[i];
        cells = cells || ProgramUses(frame, Op::Put) || ProgramUses(frame, Op::Get);
        plan.vector = plan.vector && RunsVectorized(frame);
        plan.draws += DrawsPerPixel(frame);
        depth += frame->maxDepth;
    }
    // The cells' literals are those of the frame: folding per row keeps them.
    const Program* parts[kFormulaCount];
    for (int32_t i = first; i < kFormulaCount; ++i) parts[i - first] = &programs->frame[i];
    plan.cellsInPixel = cells && CellsStayInPixel(parts, kFormulaCount - first);
    // Programs are straight lines, every operation runs once per pixel (folding
    // keeps each "rnd"), so every pixel makes plan.draws draws and a band
    // can start the generator at its first pixel's place: "rnd" alone does
    // not tie rows to one thread.
    plan.inOrder = cells && !plan.cellsInPixel;
    plan.vector = plan.vector && plan.draws <= kMaxDrawsPerPixel && depth <= kMaxVectorDepth;
    if (!plan.single && !plan.anyPerRow) JoinRunning(programs, nullptr, &programs->pixel);
    const bool nativeMay = plan.vector || (lanes && plan.cellsInPixel && plan.draws <= kMaxDrawsPerPixel);
    plan.native = nativeMay ? PrepareNative(state, programs) : kNoNativeIsa;
    if (plan.native == kNoNativeIsa) programs->kernel.reset();
}

namespace {

// RenderRows once the row workspace's tables are prepared.
RenderResult RenderPreparedRows(InstanceState* state, const FormulaPrograms* programs, RowWorkspace* rows,
                                const PixelMap* destination, int32_t firstRow, int32_t endRow, InputProbe probe) {
    const FramePlan& plan = programs->plan;
    // A destination smaller than the source is written only within its own
    // extent; every pixel is still computed so "rnd" and "put" see the same
    // order whatever the destination.
    const int32_t storeColumns = Extent(destination->bounds.left, destination->bounds.right);
    const int32_t storeRows = Extent(destination->bounds.top, destination->bounds.bottom);
    const int32_t width = Extent(state->xMin, state->xMax);
    for (state->row = firstRow; state->row < endRow; ++state->row) {
        const int64_t index = state->row - state->yMin;
        state->rowAddress[kSourceSlot] = state->baseAddress[kSourceSlot] + index * state->rowBytes[kSourceSlot];
        state->rowAddress[kDestinationSlot] =
            state->baseAddress[kDestinationSlot] + index * state->rowBytes[kDestinationSlot];
        state->pixelAddress[kSourceSlot] = state->rowAddress[kSourceSlot];
        state->pixelAddress[kDestinationSlot] = state->rowAddress[kDestinationSlot];
        if (plan.anyPerRow) {
            for (int32_t i = 0; i < kFormulaCount; ++i)
                if (plan.perRow[i]) SpecializeProgram(&programs->frame[i], state, kForRow, &rows->row[i]);
            if (!plan.single) JoinRunning(programs, rows, &rows->pixel);
        }
        const Program* program = plan.single      ? Running(programs, rows, kSingleFormula)
                                 : plan.anyPerRow ? &rows->pixel
                                                  : &programs->pixel;
        const int32_t store = index < storeRows ? storeColumns : 0;
        const VectorRun run{program,
                            state->xMin,
                            width,
                            store < width ? store : width,
                            plan.draws,
                            plan.single,
                            state->rowAddress[kSourceSlot],
                            state->rowAddress[kDestinationSlot]};
        // A row whose program the kernel does not fit goes to the vector
        // executor, or to the interpreter when that cannot take it.
        const bool native = plan.native != kNoNativeIsa &&
                            RenderNativeRun(programs->kernel.get(), run, state, &rows->lanes, &rows->native);
        if (!native && plan.vector)
            RenderVectorRun(run, state, &rows->lanes);
        else if (!native)
            InterpretRow(state, programs, program, state->rowAddress[kDestinationSlot], store);
        if (probe != nullptr && probe()) return kRenderStopped;
    }
    return kRenderDone;
}

void PrepareRowTables(const InstanceState* state, const FormulaPrograms* programs, RowWorkspace* rows) {
    if (programs->plan.vector || programs->plan.native != kNoNativeIsa) PrepareVectorTables(state, &rows->lanes);
}

// Runs of rows handed out in turn: several per thread, so that a thread
// that started late or was held up by another process takes fewer, and
// short, so that the others wait little for the last one.
constexpr int32_t kRunsPerThread = 8;
constexpr int32_t kRowsPerRun = 16;

// One frame shared among workers: worker 0 is the calling thread with the
// frame's state, worker k > 0 helper k - 1 with a copy of it made before.
struct SharedFrame {
    InstanceState* state;
    RenderWorkspace* workspace;
    const RowHelper* helpers;
    const PixelMap* destination;
    InputProbe probe;
    int32_t workers;
    int32_t height;
    bool byRuns;   // runs taken in turn, else one band per worker
    int32_t runs;  // with byRuns
    std::atomic<int32_t> nextRun{0};
    std::atomic<bool> stopped{false};

    // First row of band k of `parts` equal parts.
    int32_t Start(int32_t k, int32_t parts) const {
        return state->yMin + static_cast<int32_t>(int64_t{height} * k / parts);
    }
};

void RenderShare(void* context, int32_t k) {
    SharedFrame& frame = *static_cast<SharedFrame*>(context);
    const FormulaPrograms* programs = &frame.workspace->programs;
    InstanceState* state = frame.state;
    RowWorkspace* rows = &frame.workspace->rows;
    if (k > 0) {
        state = frame.helpers[k - 1].state;
        rows = frame.helpers[k - 1].rows;
    }
    PrepareRowTables(state, programs, rows);
    // Only the calling thread looks for input: the host's queue is its
    // own. The others see its verdict after each run of rows.
    const InputProbe probe = k == 0 ? frame.probe : nullptr;
    const auto renderRows = [&](int32_t first, int32_t end) {
        if (RenderPreparedRows(state, programs, rows, frame.destination, first, end, probe) == kRenderStopped)
            frame.stopped = true;
    };
    if (!frame.byRuns) {
        const int32_t first = frame.Start(k, frame.workers);
        const int32_t end = frame.Start(k + 1, frame.workers);
        const uint64_t pixelsAbove = uint64_t(first - state->yMin) * uint64_t(Extent(state->xMin, state->xMax));
        SkipRandoms(state, pixelsAbove * uint64_t(programs->plan.draws));
        // The band's generator runs on from one run of rows to the next.
        for (int32_t row = first; row < end && !frame.stopped; row += kRowsPerRun)
            renderRows(row, std::min(row + kRowsPerRun, end));
        return;
    }
    for (int32_t run = frame.nextRun++; run < frame.runs && !frame.stopped; run = frame.nextRun++)
        renderRows(frame.Start(run, frame.runs), frame.Start(run + 1, frame.runs));
}

// Threads started for one frame, for callers that keep none.
void RunOnFreshThreads(void*, int32_t count, void (*work)(void*, int32_t), void* context) {
    std::vector<std::thread> threads;
    for (int32_t k = 1; k < count; ++k) threads.emplace_back(work, context, k);
    work(context, 0);
    for (std::thread& thread : threads) thread.join();
}

}  // namespace

RenderResult RenderRows(InstanceState* state, const FormulaPrograms* programs, RowWorkspace* rows,
                        const PixelMap* destination, int32_t firstRow, int32_t endRow, InputProbe probe) {
    PrepareRowTables(state, programs, rows);
    return RenderPreparedRows(state, programs, rows, destination, firstRow, endRow, probe);
}

RenderResult RenderFrame(FilterRecord* record, InstanceState* state, const FilterParams* params,
                         RenderWorkspace* workspace, InputProbe probe, const RowHelper* helpers, int32_t helperCount,
                         const BandThreads* threads) {
    PixelMap* source = *record->sourceMap;
    if (state->time != record->time && record->sourceFrameCallback != nullptr)
        record->sourceFrameCallback(record->time, record->sourceMap, source, record->callbackData);
    SetFrameContext(record, state);
    const FormulaPrograms* programs = &workspace->programs;
    PreparePrograms(state, params, &workspace->programs);
    const PixelMap* destination = *record->destinationMap;
    const int32_t height = Extent(state->yMin, state->yMax);
    const int32_t workers = programs->plan.inOrder || height < 2 ? 1 : std::min(1 + helperCount, height);
    if (workers == 1)
        return RenderRows(state, programs, &workspace->rows, destination, state->yMin, state->yMax, probe);

    // Copied before any worker starts: worker 0 renders with the original.
    for (int32_t k = 1; k < workers; ++k) std::memcpy(helpers[k - 1].state, state, sizeof(InstanceState));
    SharedFrame frame{state, workspace, helpers, destination, probe, workers, height, programs->plan.draws == 0, 0};
    frame.runs = std::max(std::min(workers * kRunsPerThread, height), height / kRowsPerRun);
    const BandThreads fresh{RunOnFreshThreads, nullptr};
    const BandThreads& run = threads != nullptr ? *threads : fresh;
    run.run(run.pool, workers, RenderShare, &frame);
    return frame.stopped ? kRenderStopped : kRenderDone;
}

RenderResult RenderFilterFrame(FilterRecord* record, InstanceState* state, const FilterParams* params,
                               RenderWorkspace* workspace, InputProbe probe, FrameSource source,
                               const RowHelper* helpers, int32_t helperCount, const BandThreads* threads) {
    if (source == kSourceHoldsFrame) state->time = record->time;
    PrepareFrame(record, state, params);
    return RenderFrame(record, state, params, workspace, probe, helpers, helperCount, threads);
}

namespace {

// A helper's own state and rows, for a caller that keeps none.
struct OwnHelper {
    InstanceState state;
    RowWorkspace rows;
};

// Starting a thread, or making native code, costs tens of microseconds:
// about what this many pixels take to render. A frame gets a helper per
// such share, and native code from one share on.
constexpr int64_t kPixelsPerShare = int64_t(1) << 16;

int64_t SourcePixels(const FilterRecord* record) {
    const Rect& bounds = (*record->sourceMap)->bounds;
    return int64_t(Extent(bounds.left, bounds.right)) * Extent(bounds.top, bounds.bottom);
}

}  // namespace

RenderResult RenderInOwnWorkspace(FilterRecord* record, InstanceState* state, const FilterParams* params,
                                  InputProbe probe, FrameSource source, const BandThreads* threads,
                                  int32_t threadCount) {
    std::unique_ptr<RenderWorkspace> workspace(new (std::nothrow) RenderWorkspace);
    if (workspace == nullptr) return kRenderNoMemory;
    DecodeFormulas(state, &workspace->programs);
    const int64_t shares = SourcePixels(record) / kPixelsPerShare;
    workspace->programs.executor = shares > 0 ? kBestExecutor : kVectorOnly;
    // Helpers that cannot be had leave their rows to the others.
    int32_t helperCount =
        threads != nullptr ? int32_t(std::max<int64_t>(0, std::min<int64_t>(threadCount, shares) - 1)) : 0;
    std::unique_ptr<OwnHelper[]> own(helperCount > 0 ? new (std::nothrow) OwnHelper[size_t(helperCount)] : nullptr);
    std::unique_ptr<RowHelper[]> helpers(own ? new (std::nothrow) RowHelper[size_t(helperCount)] : nullptr);
    if (!helpers) helperCount = 0;
    for (int32_t k = 0; k < helperCount; ++k) helpers[k] = {&own[k].state, &own[k].rows};
    return RenderFilterFrame(record, state, params, workspace.get(), probe, source, helpers.get(), helperCount,
                             threads);
}
