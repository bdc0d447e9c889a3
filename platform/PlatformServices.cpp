#include "PlatformServices.h"

#include "Dialogs.h"
#include "FileMapping.h"
#include "Input.h"
#include "MessageBoxes.h"
#include "ModuleInstance.h"
#include "OwnModule.h"
#include "PluginCopy.h"
#include "RESOURCE.h"
#include "Resources.h"

namespace {

intptr_t RunBuildDialog(RvHandle context) {
    return RvRunDialog(IDD_BUILD, HostPopupOwner(), BuildDialogProcedure(), context, ModuleInstance());
}

const Services kPlatformServices = {
    .errorBox = ShowErrorBox,
    .informationBox = ShowInformationBox,
    .beep = SoundBeep,
    .inputWaiting = IsInputWaiting,
    .loadString = LoadResourceString,
    .runBuildDialog = RunBuildDialog,
    .ownFilePath = OwnFilePath,
    .isModuleLoaded = IsModuleLoaded,
    .createCopyTarget = CreateCopyTarget,
    .openCopySource = OpenCopySource,
    .copyAll = CopyAll,
    .closeCopyHandle = CloseCopyHandle,
    .mapFile = MapFile,
    .unmapFile = UnmapFile,
};

}  // namespace

const Services& PlatformServices() { return kPlatformServices; }
