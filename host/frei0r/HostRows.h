// Where a host keeps the rows of the frames it hands the plug-in. frei0r
// passes bare pixel pointers and promises rows packed one after another;
// MLT and GStreamer keep that promise, FFmpeg's libavfilter does not: it
// pads each row to the CPU's vector alignment and passes no pitch. Inside
// FFmpeg the plug-in reads each frame's pitch from FFmpeg's own frame
// record, which its caller holds on the stack.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes from the start of one row to the start of the next (negative for
// frames stored bottom row first).
struct FrameRows {
    int64_t inPitch = 0;
    int64_t outPitch = 0;
};

// FFmpeg aligns rows to at most 64 bytes (the AVX-512 vector): frames of a
// width that is a multiple of 16 pixels have packed rows on every CPU.
constexpr int32_t kUnpaddedWidths = 16;

enum class HostCaller : int32_t {
    kPacked = 0,       // a host that keeps frei0r's packed rows
    kLibavfilter = 1,  // FFmpeg's frei0r filter: rows padded
};

// The host behind a call returning to `returnAddress`: FFmpeg when that
// code lies in the loaded object that holds libavfilter.
HostCaller ClassifyCaller(const void* returnAddress);

// Looks through `count` words copied from the caller's stack for FFmpeg
// frame records of `width` x `height` BGRA pixels whose first plane is
// `in`, and one whose first plane is `out`; the nearest of each gives its
// pitch. Every word is only a guess at a record's address: the records are
// read through the kernel, so a word that points nowhere cannot fault.
// False when either is missing or this process's libavutil lays out its
// records differently from the one the plug-in was built against.
bool FindFrameRows(const uintptr_t* words, size_t count, const void* in, const void* out, int32_t width, int32_t height,
                   FrameRows* rows);

// FindFrameRows over the stack from the caller's own frame up through
// `frameAddress` (that of the function FFmpeg called, which saved FFmpeg's
// registers in its frame: see __builtin_unwind_init) and the frames of the
// functions that called it.
bool FindLibavfilterRows(const void* frameAddress, const void* in, const void* out, int32_t width, int32_t height,
                         FrameRows* rows);
