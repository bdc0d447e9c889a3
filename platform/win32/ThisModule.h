// The module instance of the image this code is linked into (the plug-in's
// DLL, or a test program): the linker's __ImageBase is the image's base
// address, which is the value the loader hands to DllMain as the instance.
#pragma once

#include <windows.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

inline HMODULE ThisModule() { return reinterpret_cast<HMODULE>(&__ImageBase); }
