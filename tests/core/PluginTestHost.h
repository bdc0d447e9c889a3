// The test host: loads the built plug-in as the real host does, by file and
// entry name (dlopen on Linux, LoadLibraryA on Windows), and drives it only
// through xFilter with real FilterRecord and PixelMap records reached by
// handle. Beside it, the same frame rendered through the library API, which
// the plug-in's frames must equal.
#pragma once

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "CompileDriver.h"
#include "DefaultParams.h"
#include "Entry.h"
#include "HostRecords.h"
#include "InstanceState.h"
#include "ReelInfo.h"
#include "ReelInfoTest.h"
#include "Render.h"
#include "TableResources.h"

#if defined(_WIN32)
// The image, loaded once; it stays loaded to the end. Tests have no user:
// every dialog the plug-in opens ends with Cancel (2) once it is set up.
inline HMODULE PluginModule() {
    static const HMODULE module = [] {
        RvTestEndDialogsOnOpen(1, 2);
        HMODULE loaded = LoadLibraryA(FABLIX_PLUGIN_PATH);
        if (loaded == nullptr) std::fprintf(stderr, "LoadLibraryA: error %lu\n", GetLastError());
        return loaded;
    }();
    return module;
}

inline XFilterEntry PluginEntry() {
    static const XFilterEntry entry =
        PluginModule()
            ? reinterpret_cast<XFilterEntry>(reinterpret_cast<void*>(GetProcAddress(PluginModule(), "xFilter")))
            : nullptr;
    return entry;
}
#else
// xFilter of FL-Fabx, looked up once; the library stays loaded to the end.
inline XFilterEntry PluginEntry() {
    static const XFilterEntry entry = [] {
        void* library = dlopen(FABLIX_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            std::fprintf(stderr, "dlopen: %s\n", dlerror());
            return XFilterEntry{};
        }
        return reinterpret_cast<XFilterEntry>(dlsym(library, "xFilter"));
    }();
    return entry;
}
#endif

// Channel p of the source pixel at (x, row): every byte distinct enough
// that a formula reading the wrong one shows.
inline uint8_t SourceByte(int32_t x, int32_t row, int32_t p) {
    return static_cast<uint8_t>(x * 37 + row * 53 + p * 71 + 11);
}

// What a destination holds before a render: a byte no formula here yields
// everywhere, so an unwritten pixel shows.
constexpr uint8_t kUnwritten = 0x5A;

// A frame buffer of the host, with its PixelMap and the handle to it.
struct HostFrame {
    std::vector<uint8_t> pixels;
    PixelMap map{};
    PixelMap* address = &map;

    HostFrame(int32_t width, int32_t height, int32_t padding, uint8_t fill) {
        map.bounds = {0, 0, width, height};
        map.rowBytes = width * 4 + padding;
        pixels.assign(static_cast<size_t>(map.rowBytes) * static_cast<size_t>(height), fill);
        map.baseAddress = pixels.data();
    }
    HostFrame(const HostFrame&) = delete;
    HostFrame& operator=(const HostFrame&) = delete;
    PixelMap** Handle() { return &address; }
    uint8_t* At(int32_t x, int32_t row) { return pixels.data() + row * map.rowBytes + x * 4; }
};

inline void FillSource(HostFrame& frame) {
    for (int32_t row = 0; row < frame.map.bounds.bottom; ++row)
        for (int32_t x = 0; x < frame.map.bounds.right; ++x)
            for (int32_t p = 0; p < 4; ++p) frame.At(x, row)[p] = SourceByte(x, row, p);
}

// One filter instance on one clip, as the host keeps it: the record, its
// handle, and the two frames. The host owns the InstanceState's handle once
// the plug-in stored it, and frees it with the record.
struct HostClip {
    HostFrame source;
    HostFrame destination;
    FilterRecord record{};
    FilterRecord* recordAddress = &record;

    explicit HostClip(int32_t width = 7, int32_t height = 5, int32_t padding = 0)
        : source(width, height, padding, 0), destination(width, height, padding, kUnwritten) {
        FillSource(source);
        record.sourceMap = source.Handle();
        record.destinationMap = destination.Handle();
        record.total = 9;
    }
    ~HostClip() { RvDisposeHandle(reinterpret_cast<RvHandle>(record.instanceHandle)); }
    HostClip(const HostClip&) = delete;
    HostClip& operator=(const HostClip&) = delete;

    FilterRecord** Handle() { return &recordAddress; }
    RvHandle LockHandle() { return reinterpret_cast<RvHandle>(&recordAddress); }
    InstanceState* State() { return record.instanceHandle ? *record.instanceHandle : nullptr; }
};

// Calls xFilter as the host does, and checks what every path owes: the
// record handle unlocked exactly as often as it was locked, and no call
// that broke the services' rules.
inline int16_t CallPlugin(HostClip& clip, int16_t selector) {
    const XFilterEntry entry = PluginEntry();
    EXPECT_NE(entry, nullptr);
    if (entry == nullptr) return INT16_MIN;
    const int32_t misuses = RvTestMisuses();
    const int16_t result = entry(selector, clip.Handle());
    EXPECT_EQ(RvTestLockCount(clip.LockHandle()), 0) << "selector " << selector;
    EXPECT_EQ(RvTestMisuses(), misuses) << "selector " << selector;
    return result;
}

// The default parameter block, as a new instance gets it.
inline FilterParams DefaultBlock() {
    FilterParams params{};
    LoadDefaultParams(&params);
    return params;
}

inline void SetFormulas(FilterParams& params, const char* f0, const char* f1, const char* f2, const char* f3) {
    const char* formulas[kFormulaCount] = {f0, f1, f2, f3};
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        std::memset(params.formula[i], 0, kFormulaSlotSize);
        std::strcpy(params.formula[i], formulas[i]);
    }
}

inline std::unique_ptr<InstanceState> ZeroState() {
    auto state = std::make_unique<InstanceState>();
    std::memset(state.get(), 0, sizeof(InstanceState));
    return state;
}

// A zeroed state holding `params`, compiled as the plug-in compiles it;
// with the tables of a setup call when `tables` is set.
inline std::unique_ptr<InstanceState> CompiledState(const FilterParams& params, bool tables) {
    auto state = ZeroState();
    state->params = params;
    if (tables) LoadLookupTables(state.get());
    CompileFormulas(state.get(), &state->params);
    return state;
}

// The frame the runtime renders for `params` at `time` of a clip like
// `clip` (same size, source and total), through the library API.
inline std::vector<uint8_t> LibraryFrame(const HostClip& clip, const FilterParams& params, bool tables, int32_t time) {
    const PixelMap& map = clip.source.map;
    HostFrame source(map.bounds.right, map.bounds.bottom, map.rowBytes - map.bounds.right * 4, 0);
    HostFrame destination(map.bounds.right, map.bounds.bottom, map.rowBytes - map.bounds.right * 4, kUnwritten);
    FillSource(source);
    FilterRecord record{};
    record.sourceMap = source.Handle();
    record.destinationMap = destination.Handle();
    record.time = time;
    record.total = clip.record.total;

    auto state = CompiledState(params, tables);
    auto workspace = std::make_unique<RenderWorkspace>();
    DecodeFormulas(state.get(), &workspace->programs);
    RenderFilterFrame(&record, state.get(), &state->params, workspace.get(), nullptr, kSourceHoldsFrame);
    return destination.pixels;
}

// The six prolog bytes that begin every compiled formula, and the first
// three of an area whose compile stopped on an error.
inline bool BeginsWithProlog(const uint8_t* area) {
    const uint8_t prolog[6] = {0x53, 0x56, 0x57, 0x55, 0x8B, 0xEC};
    return std::memcmp(area, prolog, sizeof prolog) == 0;
}
inline bool BeginsWithError(const uint8_t* area) {
    const uint8_t error[3] = {0x33, 0xC0, 0xC3};
    return std::memcmp(area, error, sizeof error) == 0;
}

// Clears the flags that a compile sets, so that the next call shows
// whether it compiled: CompileFormulas sets previewDirty and clears
// recompileNeeded.
inline void ArmCompileProbe(InstanceState* state) {
    state->previewDirty = 0;
    state->recompileNeeded = 1;
}
inline bool CompiledSinceArmed(const InstanceState* state) {
    return state->previewDirty == 1 && state->recompileNeeded == 0;
}
