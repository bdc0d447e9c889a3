#include "Build.h"

#include "BuildDialog.h"
#include "PluginWriter.h"

// The writer finds the block through this dialog's context, which the
// build dialog edited in place; it shows every outcome itself.
void RunBuildCommand(const SettingsDialog& dialog, const DialogContext& context) {
    if (!RunBuildDialog(*dialog.services, context.filterRecord, context.instanceState, context.params)) return;
    WritePlugin(dialog.window, dialog.services);
}
