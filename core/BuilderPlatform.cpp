#include "BuilderPlatform.h"

#include "MessageBox.h"
#include "ModuleLookup.h"
#include "PluginFiles.h"
#include "Resources.h"

static_assert(kNoFileHandle == kNoPortHandle);

BuilderPorts PlatformBuilderPorts() {
    BuilderPorts ports{};
    ports.ownFilePath = OwnFilePath;
    ports.isModuleLoaded = IsModuleLoaded;
    ports.createCopyTarget = CreateCopyTarget;
    ports.openCopySource = OpenCopySource;
    ports.copyAll = CopyAll;
    ports.closeCopyHandle = CloseCopyHandle;
    ports.openForUpdate = OpenForUpdate;
    ports.createMapping = CreateWholeMapping;
    ports.mapView = MapWholeView;
    ports.unmapView = UnmapWholeView;
    ports.closeMapping = CloseWholeMapping;
    ports.closeFile = CloseUpdatedFile;
    ports.loadString = LoadResourceString;
    ports.showError = ShowErrorBox;
    ports.showInformation = ShowInformationBox;
    return ports;
}
