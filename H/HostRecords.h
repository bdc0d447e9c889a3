// The host's records for one filter instance on one clip. The host owns them
// and passes them by handle (the address of a variable holding the record's
// address); the plug-in honours exactly these offsets. Like InstanceState,
// each layout is written once over its address types: 4-byte addresses in
// the 32-bit image, the native width elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>

#include "RecordLayout.h"

#if defined(__i386__) || defined(_M_IX86)
#define FABLIX_STDCALL __attribute__((stdcall))
#else
#define FABLIX_STDCALL
#endif

struct Rect {
    int32_t left, top, right, bottom;  // right and bottom exclusive
};

#pragma pack(push, 1)
// A frame buffer of 4-byte pixels: byte 0 blue, 1 green, 2 red, 3 alpha.
template <class Pixels>
struct PixelMapOf {
    Rect bounds;       // doubles as the frame's rectangle
    int32_t rowBytes;  // distance from one row to the next
    uint8_t unused[8];
    Pixels baseAddress;  // the pixel at (left, top)
};

// One filter instance on one clip. `Addresses` names the types of its
// handle, value and routine fields.
template <class Addresses>
struct FilterRecordOf {
    typename Addresses::InstanceHandle instanceHandle;  // 0 until the first call
    typename Addresses::MapHandle sourceMap;            // the input frame
    typename Addresses::MapHandle destinationMap;       // the output frame
    int32_t time;                                       // frame to render
    int32_t total;                                      // clip length, same scale
    uint8_t unused;
    typename Addresses::Value callbackData;            // handed back to the callback
    typename Addresses::Callback sourceFrameCallback;  // loads the frame at a time
};
#pragma pack(pop)

template <class A>
struct InstanceStateOf;

using PixelMap = PixelMapOf<uint8_t*>;
using PixelMap32 = PixelMapOf<uint32_t>;
using PixelMap64 = PixelMapOf<uint64_t>;

// Frames above this many pixel bytes are refused rather than allocated, so a
// damaged header cannot make a host ask for gigabytes (16384 x 16384 fits).
constexpr int64_t kMaxFrameBytes = int64_t(1) << 30;

// True for a size of at least 1 x 1 whose pixels fit kMaxFrameBytes.
inline bool FrameSizeFits(int32_t width, int32_t height) {
    return width >= 1 && height >= 1 && int64_t(width) * 4 <= kMaxFrameBytes / height;
}

// The host routine that loads the frame at `time` into the source map. On
// 32-bit x86 it removes its own four arguments from the stack.
using SourceFrameCallback = void(FABLIX_STDCALL*)(int32_t time, PixelMap** sourceMap, PixelMap* map,
                                                  intptr_t callbackData);

struct NativeRecordAddresses {
    using InstanceHandle = InstanceStateOf<uint8_t*>**;
    using MapHandle = PixelMap**;
    using Value = intptr_t;
    using Callback = SourceFrameCallback;
};
template <class Address>
struct FixedRecordAddresses {
    using InstanceHandle = Address;
    using MapHandle = Address;
    using Value = Address;
    using Callback = Address;
};

using FilterRecord = FilterRecordOf<NativeRecordAddresses>;
using FilterRecord32 = FilterRecordOf<FixedRecordAddresses<uint32_t>>;
using FilterRecord64 = FilterRecordOf<FixedRecordAddresses<uint64_t>>;

// A FilterRecord over two frames a host holds in memory, with the maps and
// the handles the record reaches them through. It points into itself, so
// it stays where it was made.
struct HostedFilterRecord {
    PixelMap source{}, destination{};
    PixelMap* sourceHandle = &source;
    PixelMap* destinationHandle = &destination;
    FilterRecord record{nullptr, &sourceHandle, &destinationHandle};

    HostedFilterRecord() = default;
    HostedFilterRecord(const HostedFilterRecord&) = delete;
    HostedFilterRecord& operator=(const HostedFilterRecord&) = delete;
};

FABLIX_CHECK_LAYOUT(PixelMap, bounds, 0, 0);
FABLIX_CHECK_LAYOUT(PixelMap, rowBytes, 16, 0);
FABLIX_CHECK_LAYOUT(PixelMap, unused, 20, 0);
FABLIX_CHECK_LAYOUT(PixelMap, baseAddress, 28, 0);
static_assert(sizeof(PixelMap32) == 32);
static_assert(sizeof(PixelMap) == 32 + kAddressWidening);

FABLIX_CHECK_LAYOUT(FilterRecord, instanceHandle, 0, 0);
FABLIX_CHECK_LAYOUT(FilterRecord, sourceMap, 4, 1);
FABLIX_CHECK_LAYOUT(FilterRecord, destinationMap, 8, 2);
FABLIX_CHECK_LAYOUT(FilterRecord, time, 12, 3);
FABLIX_CHECK_LAYOUT(FilterRecord, total, 16, 3);
FABLIX_CHECK_LAYOUT(FilterRecord, unused, 20, 3);
FABLIX_CHECK_LAYOUT(FilterRecord, callbackData, 21, 3);
FABLIX_CHECK_LAYOUT(FilterRecord, sourceFrameCallback, 25, 4);
static_assert(sizeof(FilterRecord32) == 29);
static_assert(sizeof(FilterRecord) == 29 + 5 * kAddressWidening);
