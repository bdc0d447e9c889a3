#include "PluginWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "DialogContext.h"
#include "ElfImage.h"
#include "ImageReader.h"
#include "PluginPath.h"
#include "RESOURCE.h"
#include "SlotText.h"

namespace {

constexpr char kDllNamePadding = 'Z';
constexpr char kControlsSuffix[] = "...";  // the host's sign of a filter that opens a dialog
constexpr int32_t kSuffixLength = sizeof kControlsSuffix - 1;
constexpr int32_t kMessageSize = 256;  // a string-table text, with its terminator
constexpr int32_t kFormattedSize = kMessageSize + kPathBufferSize;

struct ResourceData {
    bool found;
    uint32_t offset;
    uint32_t size;
};

// The PARM and TEXT data, as the last matching records give them, when they
// lie inside the image and can take what is written there. False when a
// part of the walk or the data of either lies outside the image: a copy
// cut short, of which the host would read past the end.
bool FindPatchedResources(ImageBytes image, const ImageDirectories& directories, ResourceData* parm,
                          ResourceData* text) {
    ResourceLeaf table[kResourceLeafCapacity];
    int32_t outside = 0;
    const int32_t count = ListNamedResources(image, directories.resourceDirectory, directories.resourceDelta, table,
                                             kResourceLeafCapacity, &outside);
    *parm = ResourceData{};
    *text = ResourceData{};
    for (int32_t i = 0; i < count; ++i) {
        const ResourceLeaf& leaf = table[i];
        if (memcmp(leaf.typeName, FABLIX_RT_PARM, sizeof FABLIX_RT_PARM) == 0 && leaf.id == IDR_PARM)
            *parm = ResourceData{true, leaf.dataOffset, leaf.dataSize};
        else if (memcmp(leaf.typeName, FABLIX_RT_TEXT, sizeof FABLIX_RT_TEXT) == 0 && leaf.id == IDR_TEXT)
            *text = ResourceData{true, leaf.dataOffset, leaf.dataSize};
    }
    auto inside = [&](const ResourceData& data) {
        return !data.found || (data.offset <= image.size && data.size <= image.size - data.offset);
    };
    if (outside != 0 || !inside(*parm) || !inside(*text)) return false;
    parm->found = parm->found && parm->size >= kFilterParamsSize;
    text->found = text->found && text->size >= kTextTitleAt + 1;
    return true;
}

void PatchDllName(uint8_t* name, const FilterParams* params) {
    const size_t length = strnlen(params->moduleName, sizeof params->moduleName);
    for (size_t i = 0; i < kDllNamePatchLength; ++i)
        name[i] = i < length ? static_cast<uint8_t>(params->moduleName[i]) : kDllNamePadding;
}

// The title written into TEXT data of `dataSize` bytes, terminated, in
// `text` (256 bytes).
void MakeTextTitle(const FilterParams* params, uint32_t dataSize, char* text) {
    // Characters that fit before the terminator, at most a text slot's.
    const int64_t room = std::min<int64_t>(int64_t{dataSize} - kTextTitleAt - 1, kTextSlotSize - 1);
    const int64_t suffix = params->hasControls != 0 ? kSuffixLength : 0;
    const int64_t title = static_cast<int64_t>(strnlen(params->title, kTextSlotSize - 1));
    const int64_t keep = std::min(title, std::max<int64_t>(room - suffix, 0));
    memcpy(text, params->title, keep);
    memcpy(text + keep, kControlsSuffix, suffix);
    text[std::min(keep + suffix, room)] = '\0';
}

// Writes the block with `built` 1 and the title; false when the copy of the
// block cannot be had.
bool PatchResources(uint8_t* image, const ResourceData& parm, const ResourceData& text, const FilterParams* params) {
    RvHandle handle = RvNewHandle(kFilterParamsSize);
    if (handle == nullptr) return false;
    FilterParams* copy = static_cast<FilterParams*>(*handle);
    memcpy(copy, params, kFilterParamsSize);
    copy->built = 1;
    memcpy(image + parm.offset, copy, kFilterParamsSize);
    char title[kTextSlotSize];
    MakeTextTitle(params, text.size, title);
    memcpy(image + text.offset + kTextTitleAt, title, strlen(title) + 1);
    RvDisposeHandle(handle);
    return true;
}

// The string-table text `id` with its "%s" replaced by `argument`.
void FormatMessageText(const Services* services, int32_t id, const char* argument, char* out) {
    char text[kMessageSize];
    if (services->loadString(id, text, sizeof text) < 0) text[0] = '\0';
    const char* mark = strstr(text, "%s");
    if (mark == nullptr || argument == nullptr) {
        memcpy(out, text, strlen(text) + 1);
        return;
    }
    snprintf(out, kFormattedSize, "%.*s%s%s", static_cast<int>(mark - text), text, argument, mark + 2);
}

// Shows message `id` (with `argument` for its "%s") under the live block's title.
void ShowMessage(const Services* services, const FilterParams* params, int32_t id, const char* argument,
                 void (*show)(const char* caption, const char* text)) {
    char caption[kTextSlotSize];
    char text[kFormattedSize];
    CopySlotText(caption, params->title);
    FormatMessageText(services, id, argument, text);
    show(caption, text);
}

void ShowError(const Services* services, const FilterParams* params, int32_t id) {
    ShowMessage(services, params, id, nullptr, services->errorBox);
}

// A patch of the mapped copy, as a write outcome.
using TargetPatch = PluginWriteResult (*)(uint8_t* image, size_t size, const FilterParams* params,
                                          int32_t framesPerSecond);

PluginWriteResult PatchPeTarget(uint8_t* image, size_t size, const FilterParams* params, int32_t) {
    switch (PatchPluginImage(image, size, params)) {
    case kPatchNotPe: return kWriteNotPe;
    case kPatchNoDirectories: return kWriteNoDirectories;
    case kPatchNoMemory: return kWriteNoMemory;
    case kPatchImageCut: return kWriteImageCut;
    case kPatchedNameOnly: return kWroteNameOnly;
    default: return kWroteAll;
    }
}

PluginWriteResult PatchElfTarget(uint8_t* image, size_t size, const FilterParams* params, int32_t framesPerSecond) {
    switch (PatchFrei0rImage(image, size, params)) {
    case kPatchNotElf: return kWriteNotElf;
    case kPatchNoBlock: return kWriteNoBlock;
    case kPatchImageCut: return kWriteImageCut;
    default: break;
    }
    return PatchFrei0rTiming(image, size, framesPerSecond) == kPatchedAll ? kWroteAll : kWriteNoTiming;
}

bool Wrote(PluginWriteResult outcome) { return outcome == kWroteAll || outcome == kWroteNameOnly; }

// Steps 6 to 12 on the copied target: map it, patch it, unmap it. A patch
// that may not have reached the file is no plug-in.
PluginWriteResult PatchTarget(const FilterParams* params, int32_t framesPerSecond, const char* targetPath,
                              const Services* services, TargetPatch patch) {
    MappedFile file{};
    if (!services->mapFile(targetPath, true, &file)) return kWriteMapFailed;
    const PluginWriteResult patched = patch(file.bytes, static_cast<size_t>(file.size), params, framesPerSecond);
    const bool written = services->unmapFile(&file);
    return Wrote(patched) && !written ? kWriteNotWrittenBack : patched;
}

// Steps 3 to 12: the copy and its patches.
PluginWriteResult CopyAndPatch(const FilterParams* params, int32_t framesPerSecond, const char* sourcePath,
                               const char* targetPath, const Services* services, TargetPatch patch) {
    const CopyHandle target = services->createCopyTarget(targetPath);
    if (target == kNoCopyHandle) return kWriteCreateFailed;
    const CopyHandle source = services->openCopySource(sourcePath);
    if (source == kNoCopyHandle) {
        services->closeCopyHandle(target);
        return kWriteSourceFailed;
    }
    // A short copy would be patched and reported as a plug-in: refuse it.
    const bool copied = services->copyAll(source, target);
    services->closeCopyHandle(source);
    services->closeCopyHandle(target);
    return copied ? PatchTarget(params, framesPerSecond, targetPath, services, patch) : kWriteCopyFailed;
}

// A target that was never created is not removed; one whose source could
// not be opened stays, empty.
void RemoveFailedTarget(PluginWriteResult outcome, const char* targetPath) {
    if (outcome != kWriteCreateFailed && outcome != kWriteSourceFailed) remove(targetPath);
}

}  // namespace

PatchResult PatchPluginImage(uint8_t* image, size_t size, const FilterParams* params) {
    const ImageBytes bytes{image, size};
    const ImageResult extent = CheckImageExtent(bytes);
    if (extent == kImageNotPe) return kPatchNotPe;
    if (extent != kImageWhole) return kPatchImageCut;
    ImageDirectories directories{};
    if (LocateDirectories(bytes, &directories) != kImageFound ||
        TextLengthAt(bytes, directories.dllName) < kDllNamePatchLength)
        return kPatchNoDirectories;
    ResourceData parm{};
    ResourceData text{};
    if (!FindPatchedResources(bytes, directories, &parm, &text)) return kPatchImageCut;
    PatchDllName(image + directories.dllName, params);
    if (!parm.found || !text.found) return kPatchedNameOnly;
    return PatchResources(image, parm, text, params) ? kPatchedAll : kPatchNoMemory;
}

PatchResult PatchFrei0rImage(uint8_t* image, size_t size, const FilterParams* params) {
    const ElfResult extent = CheckElfExtent(ImageBytes{image, size});
    if (extent == kElfNotElf) return kPatchNotElf;
    if (extent != kElfFound) return kPatchImageCut;
    ElfSection block{};
    const ElfResult found = FindElfSection(ImageBytes{image, size}, kBlockSectionName, &block);
    if (found == kElfNotElf) return kPatchNotElf;
    if (found != kElfFound || block.size != kFilterParamsSize) return kPatchNoBlock;
    memcpy(image + block.offset, params, kFilterParamsSize);
    const int32_t built = 1;
    memcpy(image + block.offset + offsetof(FilterParams, built), &built, sizeof built);
    return kPatchedAll;
}

PluginWriteResult WritePluginFile(const FilterParams* params, const char* sourcePath, const char* targetPath,
                                  const Services* services) {
    const PluginWriteResult outcome =
        CopyAndPatch(params, kDefaultBuiltFramesPerSecond, sourcePath, targetPath, services, PatchPeTarget);
    if (Wrote(outcome)) {
        ShowMessage(services, params, IDS_PLUGIN_CREATED, targetPath, services->informationBox);
        return outcome;
    }
    // 1025 for what could not be opened; 1026 from the clean-up once the
    // target was mapped (and for a failed copy).
    const bool openFailed = outcome == kWriteCreateFailed || outcome == kWriteSourceFailed ||
                            outcome == kWriteMapFailed || outcome == kWriteNotPe;
    if (openFailed) ShowError(services, params, IDS_OPEN_FAILED);
    if (!openFailed || outcome == kWriteNotPe) ShowError(services, params, IDS_WRITE_FAILED);
    RemoveFailedTarget(outcome, targetPath);
    return outcome;
}

PatchResult PatchFrei0rTiming(uint8_t* image, size_t size, int32_t framesPerSecond) {
    ElfSection section{};
    const bool found = FindElfSection(ImageBytes{image, size}, kTimingSectionName, &section) == kElfFound &&
                       section.size == sizeof(BuiltTiming);
    if (!found) return framesPerSecond == kDefaultBuiltFramesPerSecond ? kPatchedAll : kPatchNoTiming;
    const BuiltTiming timing = {sizeof(BuiltTiming), framesPerSecond};
    memcpy(image + section.offset, &timing, sizeof timing);
    return kPatchedAll;
}

PluginWriteResult WriteFrei0rPluginFile(const FilterParams* params, const char* sourcePath, const char* targetPath,
                                        const Services* services, int32_t framesPerSecond) {
    const PluginWriteResult outcome =
        CopyAndPatch(params, framesPerSecond, sourcePath, targetPath, services, PatchElfTarget);
    if (!Wrote(outcome)) RemoveFailedTarget(outcome, targetPath);
    return outcome;
}

PluginWriteResult WritePlugin(RvWindow window, const Services* services) {
    RvHandle handle = RvGetDialogData(window);
    if (handle == nullptr || *handle == nullptr) return kWriteNoContext;
    const FilterParams* params = static_cast<const DialogContext*>(*handle)->params;
    char targetPath[kPathBufferSize];
    char ownPath[kPathBufferSize];
    char moduleName[kTextSlotSize];
    CopySlotText(moduleName, params->moduleName);
    if (MakePluginFolderPath(targetPath, sizeof targetPath, moduleName, kPluginExtension, services) == nullptr ||
        services->ownFilePath(ownPath, sizeof ownPath) < 0) {
        ShowError(services, params, IDS_OPEN_FAILED);
        return kWriteNoPath;
    }
    return WritePluginFile(params, ownPath, targetPath, services);
}
