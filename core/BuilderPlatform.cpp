#include "BuilderPlatform.h"

#include "FileMapping.h"
#include "MessageBoxes.h"
#include "OwnModule.h"
#include "PluginCopy.h"
#include "Resources.h"

static_assert(kNoCopyHandle == kNoPortHandle);

namespace {

MappedFile Mapped(const WritableFile& file) {
    return MappedFile{file.bytes, file.size, true, {file.system[0], file.system[1]}};
}

WritableFile Writable(const MappedFile& file) {
    return WritableFile{file.bytes, file.size, {file.system[0], file.system[1]}};
}

bool MapWritable(const char* path, WritableFile* file) {
    MappedFile mapped{};
    const bool ok = MapFile(path, true, &mapped);
    *file = Writable(mapped);
    return ok;
}

bool UnmapWritable(WritableFile* file) {
    MappedFile mapped = Mapped(*file);
    const bool ok = UnmapFile(&mapped);
    *file = Writable(mapped);
    return ok;
}

}  // namespace

BuilderPorts PlatformBuilderPorts() {
    BuilderPorts ports{};
    ports.ownFilePath = OwnFilePath;
    ports.isModuleLoaded = IsModuleLoaded;
    ports.createCopyTarget = CreateCopyTarget;
    ports.openCopySource = OpenCopySource;
    ports.copyAll = CopyAll;
    ports.closeCopyHandle = CloseCopyHandle;
    ports.mapWritable = MapWritable;
    ports.unmapWritable = UnmapWritable;
    ports.loadString = LoadResourceString;
    ports.showError = ShowErrorBox;
    ports.showInformation = ShowInformationBox;
    return ports;
}
