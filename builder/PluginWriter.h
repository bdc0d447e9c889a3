// Writing a stand-alone plug-in: a copy of a plug-in image whose PARM block,
// TEXT title and export DLL name are patched in place through one writable
// mapping of the whole copy. Every outcome is shown in a message box
// through the services; the results say which one, for callers and tests.
// The same copy and mapping write a frei0r plug-in, whose one patch is the
// block in its section.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Services.h"
#include "BuiltTiming.h"
#include "FilterParams.h"
#include "ReelInfo.h"

enum : int32_t {
    kDllNamePatchLength = 7,  // the characters of "FL-Fabx" before ".rvp"
    kTextTitleAt = 2,         // the title follows two bytes of TEXT data
};

// What PatchPluginImage did.
enum PatchResult : int32_t {
    kPatchedAll = 0,          // DLL name, PARM and TEXT
    kPatchedNameOnly = 1,     // no usable PARM or TEXT: only the DLL name
    kPatchNotPe = 2,          // not a PE image: nothing written
    kPatchNoDirectories = 3,  // no resource directory or no DLL name of 7 characters: nothing written
    kPatchNoMemory = 4,       // the copy of the block could not be had: only the DLL name written
    kPatchNotElf = 5,         // not a little-endian ELF image: nothing written
    kPatchNoBlock = 6,        // no block section of 8300 bytes of file data: nothing written
    kPatchImageCut = 7,       // the image is shorter than its headers say: nothing written
    kPatchNoTiming = 8,       // no timing section of 8 bytes, and a frame rate other than 25 asked: nothing written
};

// Patches the image in `image` (`size` bytes), which must hold all that its
// headers place in the file (CheckImageExtent) and whose resource walk must
// stay inside it, else kPatchImageCut: the first 7 characters of
// the export DLL name become the module name padded with "Z"; when a PARM
// 16000 of at least 8300 bytes and a TEXT 1000 of at least 3 bytes exist
// and lie inside the image, PARM receives the block with `built` 1 and TEXT
// from its third byte the title, with "..." when the block has controls,
// cut so that it ends inside the TEXT data with its terminator (the "..."
// kept whole when there is room for it). Writes nothing outside the image.
PatchResult PatchPluginImage(uint8_t* image, size_t size, const FilterParams* params);

// Patches a frei0r image: its block section (kBlockSectionName, exactly
// 8300 bytes of file data) receives the block with `built` 1; an image
// whose sections reach past its end (CheckElfExtent) gets kPatchImageCut. Its title
// names the plug-in to its hosts and the file's name comes from the caller,
// so nothing else changes. kPatchedAll, kPatchNotElf, kPatchImageCut or
// kPatchNoBlock.
PatchResult PatchFrei0rImage(uint8_t* image, size_t size, const FilterParams* params);

// Patches a frei0r image's timing section (kTimingSectionName, a
// BuiltTiming record) with `framesPerSecond`. An image without one (a
// fablix.so of an earlier version, whose "t" runs at 25 frames per second)
// takes 25 alone: kPatchedAll, nothing written; any other rate is
// kPatchNoTiming.
PatchResult PatchFrei0rTiming(uint8_t* image, size_t size, int32_t framesPerSecond);

// What WritePluginFile and WritePlugin did, for callers that report it in
// their own words; the message boxes have shown it already. The messages
// shown are those of the string table named beside each.
enum PluginWriteResult : int32_t {
    kWroteAll = 0,             // 1034
    kWroteNameOnly = 1,        // 1034: the image has no usable PARM or TEXT
    kWriteCreateFailed = 2,    // 1025; the target was not created
    kWriteSourceFailed = 3,    // 1025; the target stays, empty
    kWriteCopyFailed = 4,      // 1026; removed
    kWriteMapFailed = 5,       // opening or mapping the target: 1025; removed
    kWriteNotPe = 6,           // 1025, 1026; removed
    kWriteNoDirectories = 7,   // no resource directory or DLL name: 1026; removed
    kWriteNoMemory = 8,        // no copy of the block: 1026; removed
    kWriteNotWrittenBack = 9,  // the patches may not have reached the file: 1026; removed
    kWriteNoPath = 10,         // the plug-in's path, or the target's, cannot be had: 1025
    kWriteNoContext = 11,      // the window has no DialogContext: nothing shown
    kWriteNotElf = 12,         // a frei0r image that is no ELF image: removed
    kWriteNoBlock = 13,        // a frei0r image without its block section: removed
    kWriteImageCut = 14,       // an image shorter than its headers say: 1026 (none for frei0r); removed
    kWriteNoTiming = 15,       // a frei0r image without a timing section, for a rate other than 25: removed
};

// Copies the image at `sourcePath` to `targetPath`, patches the copy, and
// shows the outcome: message 1034 with the target path on success, else the
// error messages in order, with the target removed or (when the source
// cannot be opened) left empty.
PluginWriteResult WritePluginFile(const FilterParams* params, const char* sourcePath, const char* targetPath,
                                  const Services* services);

// The same for a frei0r plug-in (PatchFrei0rImage), without message
// boxes: only the command-line tool writes these, and it says what
// happened itself. The target is removed as above.
PluginWriteResult WriteFrei0rPluginFile(const FilterParams* params, const char* sourcePath, const char* targetPath,
                                        const Services* services,
                                        int32_t framesPerSecond = kDefaultBuiltFramesPerSecond);

// The Build command of the settings dialog `window`: writes the block of
// its DialogContext to "moduleName.rvp" in the folder of the plug-in's own
// file, copying that file.
PluginWriteResult WritePlugin(RvWindow window, const Services* services);
