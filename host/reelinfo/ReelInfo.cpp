// The stand-in host services. One thread, as in the host: no locking here.
//
// Handles are real (a plug-in keeps its state in them); dialogs cannot be
// opened yet, and the drawing services have no screen to draw on, so they
// do nothing and return the neutral values documented at each.
#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_map>
#include <unordered_set>

#include "ReelInfo.h"
#include "ReelInfoTest.h"

namespace {

// A handle points at `block`, the first member, so the handle is the record.
struct HandleRecord {
    void* block;
    int32_t size;
};

struct Services {
    std::unordered_set<RvHandle> live;
    std::unordered_map<RvHandle, int32_t> lockCounts;  // only handles now locked
    std::unordered_map<RvWindow, RvHandle> dialogData;
    bool failNextNewHandle = false;
    int32_t misuses = 0;
    int32_t dialogRuns = 0;
    int32_t lastDialogTemplate = 0;
    RvWindow mainWindow = nullptr;
    RvTestDialogRunner dialogRunner = nullptr;
};

Services& State() {
    static Services services;
    return services;
}

// Distinct, stable, non-null values for the opaque window and instance.
char gMainWindowObject;
char gHostInstanceObject;

HandleRecord* RecordOf(RvHandle handle) { return reinterpret_cast<HandleRecord*>(handle); }

}  // namespace

extern "C" {

RvHandle RvNewHandle(int32_t size) {
    Services& s = State();
    if (s.failNextNewHandle) {
        s.failNextNewHandle = false;
        return nullptr;
    }
    if (size < 0) return nullptr;
    // malloc(0) may give nullptr; a handle always leads to a block.
    void* block = std::malloc(size > 0 ? static_cast<size_t>(size) : 1);
    HandleRecord* record = new (std::nothrow) HandleRecord{block, size};
    if (!block || !record) {
        std::free(block);
        delete record;
        return nullptr;
    }
    std::memset(block, kRvFreshByte, static_cast<size_t>(size));
    RvHandle handle = &record->block;
    s.live.insert(handle);
    return handle;
}

void RvDisposeHandle(RvHandle handle) {
    if (!handle) return;
    Services& s = State();
    if (s.live.erase(handle) == 0) {
        s.misuses++;
        return;
    }
    s.lockCounts.erase(handle);
    HandleRecord* record = RecordOf(handle);
    std::free(record->block);
    delete record;
}

void RvHLock(RvHandle handle) {
    if (handle) State().lockCounts[handle]++;
}

void RvHUnlock(RvHandle handle) {
    if (!handle) return;
    Services& s = State();
    auto it = s.lockCounts.find(handle);
    if (it == s.lockCounts.end()) {
        s.misuses++;
        return;
    }
    if (--it->second == 0) s.lockCounts.erase(it);
}

// No dialog templates exist on this platform: every run ends at once with
// -1, the code of a dialog that cannot be opened, unless a test stands in
// for the dialog.
intptr_t RvRunDialog(int32_t templateId, RvWindow owner, RvDialogProc procedure, RvHandle data,
                     RvInstance module) {
    Services& s = State();
    s.dialogRuns++;
    s.lastDialogTemplate = templateId;
    return s.dialogRunner ? s.dialogRunner(templateId, owner, procedure, data, module) : -1;
}

RvWindow RvGetMainWindow(void) {
    Services& s = State();
    return s.mainWindow ? s.mainWindow : reinterpret_cast<RvWindow>(&gMainWindowObject);
}

void RvSetDialogData(RvWindow dialog, RvHandle data) {
    Services& s = State();
    if (data)
        s.dialogData[dialog] = data;
    else
        s.dialogData.erase(dialog);
}

RvHandle RvGetDialogData(RvWindow dialog) {
    Services& s = State();
    auto it = s.dialogData.find(dialog);
    return it == s.dialogData.end() ? nullptr : it->second;
}

// Nothing to prepare without a window system.
void RvPrepareDialog(RvWindow) {}

// No controls exist: every rectangle is empty, all four sides 0.
void RvGetItemRect(RvWindow, int32_t, Rect* rect) {
    if (rect) *rect = Rect{0, 0, 0, 0};
}

// Drawing has no screen here: these draw nothing.
void rpixToScreen(PixelMap**, RvDeviceContext, const Rect*, const Rect*) {}
void RvFrameRect(RvDeviceContext, const Rect*, RvBrush) {}
void REELINFO_CALLBACK RvDrawThumb(RvWindow, RvDeviceContext) {}

// Black for every index.
uint32_t RvGetColor(int32_t) { return 0; }

// The plug-in ignores the answer; 0.
int32_t RvThumbDrawQuery(void) { return 0; }

RvInstance RvGetHostInstance(void) { return reinterpret_cast<RvInstance>(&gHostInstanceObject); }

// ---------------------------------------------------------------------------
// Test hooks

void RvTestFailNextNewHandle(void) { State().failNextNewHandle = true; }

int32_t RvTestLockCount(RvHandle handle) {
    Services& s = State();
    auto it = s.lockCounts.find(handle);
    return it == s.lockCounts.end() ? 0 : it->second;
}

int32_t RvTestLiveHandles(void) { return static_cast<int32_t>(State().live.size()); }

int32_t RvTestHandleSize(RvHandle handle) {
    return State().live.count(handle) ? RecordOf(handle)->size : -1;
}

int32_t RvTestMisuses(void) { return State().misuses; }

void RvTestSetMainWindow(RvWindow window) { State().mainWindow = window; }

int32_t RvTestDialogRuns(void) { return State().dialogRuns; }

int32_t RvTestLastDialogTemplate(void) { return State().lastDialogTemplate; }

void RvTestSetDialogRunner(RvTestDialogRunner runner) { State().dialogRunner = runner; }

}  // extern "C"
