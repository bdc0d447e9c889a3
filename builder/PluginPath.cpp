#include "PluginPath.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <filesystem>
#include <system_error>

#include "RESOURCE.h"

namespace {

// Past the last folder separator of `path`, or past a drive's colon: where
// the file name begins. Both separators count, as Windows paths take either.
size_t FolderLength(const char* path) {
    size_t folder = 0;
    for (size_t i = 0; path[i] != 0; ++i)
        if (path[i] == '/' || path[i] == '\\' || (i == 1 && path[i] == ':')) folder = i + 1;
    return folder;
}

// The modules a Windows host of plug-ins has loaded by the time it loads
// one: its own, its support library, the plug-in image every plug-in is
// copied from, the system libraries these import and those the system
// loads with them.
constexpr const char* kWindowsHostModules[] = {
    "Reelvane.exe", "REELINFO.dll", "FL-Fabx.rvp",  "kernel32.dll", "kernelbase.dll", "ntdll.dll",    "user32.dll",
    "gdi32.dll",    "win32u.dll",   "comctl32.dll", "comdlg32.dll", "advapi32.dll",   "shell32.dll",  "shlwapi.dll",
    "ole32.dll",    "oleaut32.dll", "combase.dll",  "rpcrt4.dll",   "msvcrt.dll",     "ucrtbase.dll", "lz32.dll",
    "version.dll",  "imm32.dll",    "uxtheme.dll",  "winmm.dll",    "sechost.dll",
};

// Device names that Windows keeps in every folder, whatever follows a dot.
constexpr const char* kWindowsDevices[] = {"CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4",
                                           "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3",
                                           "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};

constexpr char kWindowsReservedCharacters[] = "<>:\"/\\|?*";
constexpr unsigned char kFirstPrintable = 32;

// ASCII letters alike in either case, whatever locale the process has set.
char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return FoldCase(x) == FoldCase(y); });
}

}  // namespace

bool IsWindowsHostModule(const char* name) {
    const std::string_view wanted(name);
    for (const char* module : kWindowsHostModules) {
        const std::string_view file(module);
        if (SameIgnoringCase(wanted, file) || SameIgnoringCase(wanted, file.substr(0, file.rfind('.')))) return true;
    }
    return false;
}

WindowsNameFault WindowsFileNameFault(const char* name) {
    const std::string_view text(name);
    if (text.find_first_of(kWindowsReservedCharacters) != std::string_view::npos) return kWindowsNameReservedCharacter;
    for (char c : text)
        if (static_cast<unsigned char>(c) < kFirstPrintable) return kWindowsNameControlCharacter;
    if (!text.empty() && (text.back() == '.' || text.back() == ' ')) return kWindowsNameTrailingDotOrSpace;
    // "CON.txt" and "CON .rvp" are the device too.
    std::string_view stem = text.substr(0, text.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
    for (const char* device : kWindowsDevices)
        if (SameIgnoringCase(stem, device)) return kWindowsNameDevice;
    return kWindowsNameFine;
}

bool HoldsFolderSeparator(const char* name) { return strpbrk(name, "/\\:") != nullptr; }

char* JoinPluginFolderPath(const char* pluginPath, char* buffer, int32_t size, const char* name,
                           const char* extension) {
    if (size <= 0 || pluginPath == nullptr || pluginPath[0] == '\0') return nullptr;
    const bool hasExtension = extension != nullptr && extension[0] != '\0';
    const char* dot = hasExtension && extension[0] != '.' ? "." : "";
    const int written =
        snprintf(buffer, static_cast<size_t>(size), "%.*s%s%s%s", static_cast<int>(FolderLength(pluginPath)),
                 pluginPath, name ? name : "", dot, hasExtension ? extension : "");
    return written >= 0 && written < size ? buffer : nullptr;
}

char* MakePluginFolderPath(char* buffer, int32_t size, const char* name, const char* extension,
                           const Services* services) {
    char own[kPathBufferSize];
    if (services->ownFilePath(own, sizeof own) < 0) return nullptr;
    return JoinPluginFolderPath(own, buffer, size, name, extension);
}

int32_t CheckModuleNameRules(const char* name, const Services* services) {
    // A folder in the name would put the plug-in outside the plug-in's folder.
    if (HoldsFolderSeparator(name) || services->isModuleLoaded(name)) return IDS_RESERVED_NAME;
    char path[kPathBufferSize];
    if (MakePluginFolderPath(path, sizeof path, name, kPluginExtension, services) == nullptr) return 0;
    std::error_code error;
    const bool exists = std::filesystem::exists(std::filesystem::symlink_status(path, error));
    return exists ? IDS_NAME_EXISTS : 0;
}
