#include "Build.h"

// The build dialog and the plug-in writer are not part of this image yet:
// Build shows nothing and changes nothing. They hook in here as
// "RunBuildDialog, then WritePlugin with the dialog's window on OK".
void RunBuildCommand(const SettingsDialog&, const DialogContext&) {}
