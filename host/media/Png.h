// Still images as PNG files.
#pragma once

#include <cstdint>
#include <string>

#include "Frame.h"
#include "MediaResult.h"

// Reads an 8-bit or 16-bit PNG of any colour type (gray, gray + alpha, RGB,
// RGBA, palette, with or without tRNS) into a BGRA frame. Images without
// alpha get alpha 255; 16-bit samples are scaled to 8 bits. Returns
// kMediaOk, kMediaCannotOpen, kMediaNotPng, kMediaBadData or kMediaTooLarge;
// on failure `frame` is left empty and `message` says why in one line.
// Before anything is allocated, a size above kMaxFrameBytes is refused and
// so is a header that declares more pixels than the file can hold; reading
// stops after 3 GiB, so a device cannot keep it reading. An animated PNG
// gives its default image alone (see PngAnimationFrames).
// `sampleBits`, when given, receives the bits of the file's own samples.
MediaCode ReadPng(const char* path, Frame& frame, std::string& message, int32_t* sampleBits = nullptr);

// The frame count an animated PNG declares in its acTL chunk; 0 for a PNG
// that is not animated, or for a file that is no readable PNG.
uint32_t PngAnimationFrames(const char* path);

// True when the file begins with the PNG signature.
bool HasPngSignature(const char* path);

// Writes the frame as an 8-bit RGBA PNG. The file appears under `path` only
// once complete; on failure nothing is left and kMediaCannotWrite (or
// kMediaBadArgument for a frame without whole storage, kMediaInterrupted
// when `stop` said so between rows) is returned.
MediaCode WritePng(const char* path, const Frame& frame, std::string& message, StopProbe stop = nullptr);

// How hard the encoder compresses: a still is written small; the frames of
// a clip are written fast (about 4 times faster, in files 12 to 24 % larger).
enum PngEffort : int32_t { kPngSmall, kPngFast };

// The PNG encoder itself: writes straight into `file`, naming `shownPath` in
// messages. The caller owns staging and removes `file` on failure.
MediaCode EncodePngFile(const char* file, const char* shownPath, const Frame& frame, std::string& message,
                        StopProbe stop = nullptr, PngEffort effort = kPngSmall);
