// The copy port over the compressed-file copy service: LZCopy expands a
// compressed source and copies a plain one, such as the plug-in's own file,
// byte for byte.
#include "PluginCopy.h"

#include <windows.h>
#include <lzexpand.h>

namespace {

intptr_t Open(const char* path, WORD mode) {
    OFSTRUCT status{};
    const INT handle = LZOpenFileA(const_cast<LPSTR>(path), &status, mode);
    return handle < 0 ? kNoCopyHandle : handle;
}

}  // namespace

intptr_t CreateCopyTarget(const char* path) { return Open(path, OF_CREATE); }

intptr_t OpenCopySource(const char* path) { return Open(path, OF_READ); }

bool CopyAll(intptr_t source, intptr_t target) {
    return LZCopy(static_cast<INT>(source), static_cast<INT>(target)) >= 0;
}

void CloseCopyHandle(intptr_t handle) { LZClose(static_cast<INT>(handle)); }
