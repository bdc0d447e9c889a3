// Helper threads over the system's own threads; the processor count from
// the process's affinity mask, so a host confined to some processors
// starts no more helpers than it may run.
#include <windows.h>

#include "ThreadStart.h"
#include "Threads.h"

namespace {

DWORD WINAPI RunShare(void* share) {
    RunThreadShare(*static_cast<const ThreadShare*>(share));
    return 0;
}

}  // namespace

int32_t UsableProcessors() {
    DWORD_PTR process = 0, system = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) return 1;
    int32_t count = 0;
    for (; process != 0; process &= process - 1) ++count;
    return count > 0 ? count : 1;
}

bool StartShareThread(ThreadShare* share, StartedThread* thread) {
    const HANDLE started = CreateThread(nullptr, 0, RunShare, share, 0, nullptr);
    if (started == nullptr) return false;
    *thread = reinterpret_cast<StartedThread>(started);
    return true;
}

void JoinShareThread(StartedThread thread) {
    const HANDLE handle = reinterpret_cast<HANDLE>(thread);
    WaitForSingleObject(handle, INFINITE);
    CloseHandle(handle);
}
