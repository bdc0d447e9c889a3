// Paths in the folder of the plug-in's own file, and the rules a new
// plug-in's module name must pass, shared by the dialogs (Load, Save and
// Build), the writer and the command-line tool.
#pragma once

#include <cstdint>

#include "Services.h"

enum : int32_t {
    kPathBufferSize = 256,  // every path buffer of the builder
};

// The extension of plug-in files, which the host looks for.
constexpr char kPluginExtension[] = "rvp";

// Fills `buffer` (`size` bytes) with the folder of `pluginPath` (up to its
// last '/' or '\\', or a drive's ':') joined with `name` and `extension` (a
// dot is put before an extension that has none); with neither, the folder
// alone. Returns the buffer, or nullptr when `pluginPath` is empty or the
// result does not fit.
char* JoinPluginFolderPath(const char* pluginPath, char* buffer, int32_t size, const char* name, const char* extension);

// The same in the folder of the plug-in's own file; nullptr also when its
// path cannot be had.
char* MakePluginFolderPath(char* buffer, int32_t size, const char* name, const char* extension,
                           const Services* services);

// True when `name` holds '/', '\\' or ':', which name folders or drives on
// one platform or another.
bool HoldsFolderSeparator(const char* name);

// True when `name` is the name of a module that a Windows host has loaded
// while it runs its plug-ins: the editor, its support library REELINFO, the
// plug-in image FL-Fabx and the system libraries these load. Compared as
// Windows compares module names, ignoring case, with or without the file's
// extension. A fixed list, for builds made away from such a host, where no
// query of the running process can tell.
bool IsWindowsHostModule(const char* name);

// What keeps `name` from naming a Windows file "NAME.rvp".
enum WindowsNameFault : int32_t {
    kWindowsNameFine = 0,
    kWindowsNameReservedCharacter = 1,   // one of < > : " / \ | ? *
    kWindowsNameControlCharacter = 2,    // a byte below 32
    kWindowsNameDevice = 3,              // CON, PRN, AUX, NUL, COM1..9, LPT1..9, with any extension
    kWindowsNameTrailingDotOrSpace = 4,  // which Windows drops from or reads specially in names
};
WindowsNameFault WindowsFileNameFault(const char* name);

// The checks of a module name: 0 when it may be used, IDS_RESERVED_NAME when
// a module of that name is loaded in the process or the name holds a folder
// separator ('/', '\\' or ':'), IDS_NAME_EXISTS when
// "NAME.rvp" exists in the plug-in's folder (a file, a folder or a link of
// that name). A path that cannot be formed passes: writing it fails later,
// with its own message.
int32_t CheckModuleNameRules(const char* name, const Services* services);
