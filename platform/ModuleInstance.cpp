// The load hook. Every notification succeeds and only attach does anything;
// nothing else is initialised at load time.
#include "ModuleInstance.h"

#include <cstdint>

namespace {

RvInstance gModuleInstance = nullptr;

}  // namespace

RvInstance ModuleInstance() { return gModuleInstance; }

#if defined(_WIN32)
// DllMain with the platform's own argument types spelled out, so that one
// file serves both platforms.
extern "C" int __stdcall DllMain(void* instance, uint32_t reason, void*) {
    const uint32_t kProcessAttach = 1;
    if (reason == kProcessAttach) gModuleInstance = static_cast<RvInstance>(instance);
    return 1;
}
#else
// An ELF image has no instance value of its own; the handle that the C++
// runtime keeps for each loaded image (__dso_handle, one per shared object)
// tells this image apart from every other, which is all it is used for.
extern "C" void* __dso_handle;

__attribute__((constructor)) static void StoreModuleInstance() {
    gModuleInstance = reinterpret_cast<RvInstance>(&__dso_handle);
}
#endif
