#include "Render.h"

#include <cstring>

#include "Interpreter.h"
#include "Random.h"
#include "Folding.h"

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
    state->randomIndex = 0;
    state->randomLagIndex = 31;
    StartRandom(state, record->time);
    std::memset(state->putCells, 0, sizeof(state->putCells));
}

int32_t RenderFrame(FilterRecord* record, InstanceState* state, const FilterParams* params,
                    FormulaPrograms* programs, InputProbe probe) {
    PixelMap* source = *record->sourceMap;
    PixelMap* destination = *record->destinationMap;
    if (state->time != record->time && record->sourceFrameCallback != nullptr)
        record->sourceFrameCallback(record->time, record->sourceMap, source, record->callbackData);

    state->xMin = source->bounds.left;
    state->xMax = source->bounds.right;
    state->yMin = source->bounds.top;
    state->yMax = source->bounds.bottom;
    state->channelMin = 0;
    state->channelMax = 4;
    state->timeMin = 0;
    state->time = record->time;
    state->total = record->total;
    state->totalCopy = record->total;
    state->self = reinterpret_cast<uint8_t*>(state);
    state->rowBytes[kSourceSlot] = source->rowBytes;
    state->baseAddress[kSourceSlot] = state->rowAddress[kSourceSlot] = source->baseAddress;
    state->rowBytes[kDestinationSlot] = destination->rowBytes;
    state->baseAddress[kDestinationSlot] = state->rowAddress[kDestinationSlot] = destination->baseAddress;

    // A destination smaller than the source is written only within its own
    // extent; every pixel is still computed so "rnd" and "put" see the same
    // order whatever the destination.
    const int32_t storeColumns = Extent(destination->bounds.left, destination->bounds.right);
    const int32_t storeRows = Extent(destination->bounds.top, destination->bounds.bottom);
    const bool single = params->singleExpression != 0;
    // The programs that run: each specialised for the frame, its parts that
    // depend on the column alone tabulated, specialised for the row too when
    // it reads "y"; the four channels joined into one.
    const Program* running[kFormulaCount] = {};
    bool anyPerRow = false;
    bool perRow[kFormulaCount] = {};
    programs->columns.count = 0;
    for (int32_t i = single ? 3 : 0; i < kFormulaCount; ++i) {
        // row[i] is free until the first row: it holds the folded program
        // on its way to the tables.
        SpecializeProgram(&programs->program[i], state, kForFrame, &programs->row[i]);
        TabulateColumns(&programs->row[i], state, &programs->columns, &programs->frame[i]);
        perRow[i] = ProgramUses(&programs->frame[i], Op::Y);
        anyPerRow = anyPerRow || perRow[i];
        running[i] = perRow[i] ? &programs->row[i] : &programs->frame[i];
    }
    if (!single && !anyPerRow) JoinChannels(running, &programs->pixel);

    for (state->row = source->bounds.top; state->row < source->bounds.bottom; ++state->row) {
        state->pixelAddress[kSourceSlot] = state->rowAddress[kSourceSlot];
        state->pixelAddress[kDestinationSlot] = state->rowAddress[kDestinationSlot];
        const bool storeRow = state->row - state->yMin < storeRows;
        if (anyPerRow) {
            for (int32_t i = 0; i < kFormulaCount; ++i)
                if (perRow[i]) SpecializeProgram(&programs->frame[i], state, kForRow, &programs->row[i]);
            if (!single) JoinChannels(running, &programs->pixel);
        }
        for (state->x = source->bounds.left; state->x < source->bounds.right; ++state->x) {
            uint8_t* out = state->pixelAddress[kDestinationSlot];
            const bool store = storeRow && state->x - state->xMin < storeColumns;
            if (single) {
                state->channel = state->channelMin;
                const uint8_t value = ClampToByte(RunProgram(running[3], state));
                if (store) std::memset(out, value, 4);
            } else {
                int32_t values[kFormulaCount];
                RunPixelProgram(&programs->pixel, state, values);
                if (store) {
                    const uint8_t bytes[kFormulaCount] = {ClampToByte(values[0]), ClampToByte(values[1]),
                                                          ClampToByte(values[2]), ClampToByte(values[3])};
                    std::memcpy(out, bytes, kFormulaCount);
                }
            }
            state->pixelAddress[kSourceSlot] += 4;
            state->pixelAddress[kDestinationSlot] += 4;
        }
        state->rowAddress[kDestinationSlot] += state->rowBytes[kDestinationSlot];
        state->rowAddress[kSourceSlot] += state->rowBytes[kSourceSlot];
        if (probe != nullptr && probe()) return 0;
    }
    return 1;
}
