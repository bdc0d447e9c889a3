#include "SettingsFiles.h"

#include <cstring>

#include "DialogSteps.h"
#include "ErrorBox.h"
#include "PluginPath.h"
#include "Preview.h"
#include "RESOURCE.h"
#include "SettingsSaveLoad.h"

namespace {

constexpr const char* kSettingsExtension = "fbl";

// What both file dialogs are asked: the settings file types, the plug-in's
// folder to start in, and the default extension. The buffers belong to the
// caller.
struct SettingsFileRequest {
    char fileTypes[kMessageCapacity + 1];
    char folder[kPathCapacity];
    FileDialogRequest request;
};

void MakeRequest(const Services& services, SettingsFileRequest* r) {
    char text[kMessageCapacity];
    const bool types = services.loadString(IDS_SETTINGS_FILTER, text, sizeof text) > 0 &&
                       SplitFileTypes(text, r->fileTypes, sizeof r->fileTypes);
    const bool folder = MakePluginFolderPath(r->folder, sizeof r->folder, nullptr, nullptr, &services) != nullptr;
    r->request = FileDialogRequest{types ? r->fileTypes : nullptr, folder ? r->folder : nullptr, kSettingsExtension};
}

// The message of the string table that a failed save or load shows.
int32_t SettingsFileMessageId(SettingsFileResult result) {
    switch (result) {
    case kSettingsFileWriteError: return IDS_WRITE_FAILED;
    case kSettingsFileReadError: return IDS_READ_FAILED;
    default: return IDS_OPEN_FAILED;
    }
}

}  // namespace

bool SplitFileTypes(const char* text, char* list, int32_t capacity) {
    const size_t length = std::strlen(text);
    if (length == 0 || capacity < 2 || length + 1 > static_cast<size_t>(capacity)) {
        if (capacity > 0) list[0] = 0;
        return false;
    }
    const char separator = text[length - 1];
    for (size_t i = 0; i < length; ++i) list[i] = text[i] == separator ? 0 : text[i];
    list[length] = 0;  // the text ends with a separator: this ends the list
    return true;
}

void LoadSettings(const SettingsDialog& dialog, const DialogContext& context) {
    const ControlsPort& port = *dialog.port;
    SettingsFileRequest request;
    MakeRequest(*dialog.services, &request);
    char path[kPathCapacity] = "";
    if (!port.openFileDialog(dialog.window, &request.request, path, sizeof path)) return;

    FilterParams* params = context.params;
    // A file that fails part way leaves the block as it was.
    const SettingsFileResult result = LoadSettingsFile(path, params);
    if (result == kSettingsFileOpenError) {
        ErrorBox(*dialog.services, params, SettingsFileMessageId(result));
        return;
    }
    if (result == kSettingsFileDone) {
        FormulasToFields(dialog, params);
        SlidersToControls(dialog, params);
    } else {
        // The dialog shows what the block is to hold, edits not yet compiled included.
        FieldsToFormulas(dialog, params);
        ControlsToSliders(dialog, params);
    }
    CompileAll(context);
    UpdatePreview(dialog, context);
    if (result != kSettingsFileDone) ErrorBox(*dialog.services, params, SettingsFileMessageId(result));
}

// The save writes a new file and puts it in place of the old one only when
// everything was written: a failure never destroys the file that was there.
void SaveSettings(const SettingsDialog& dialog, const DialogContext& context) {
    const ControlsPort& port = *dialog.port;
    SettingsFileRequest request;
    MakeRequest(*dialog.services, &request);
    char path[kPathCapacity] = "";
    if (!port.saveFileDialog(dialog.window, &request.request, path, sizeof path)) return;
    const SettingsFileResult result = SaveSettingsFile(path, context.params);
    if (result != kSettingsFileDone) ErrorBox(*dialog.services, context.params, SettingsFileMessageId(result));
}
