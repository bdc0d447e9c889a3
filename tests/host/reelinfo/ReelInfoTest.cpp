// The stand-in host services: the life of handles, lock counts, the
// allocation-failure hook, dialog data, and the neutral answers of the
// services that have nothing to do on this platform.
#include "ReelInfoTest.h"

#include <gtest/gtest.h>

#include <cstring>

#include "ReelInfo.h"

namespace {

// ---------------------------------------------------------------------------
// Handles

TEST(Handles, NewHandleLeadsToABlockOfThatSize) {
    const int32_t sizes[] = {34346, 16, 8300, 1, 0};
    for (int32_t size : sizes) {
        int32_t live = RvTestLiveHandles();
        RvHandle h = RvNewHandle(size);
        ASSERT_NE(h, nullptr) << size;
        ASSERT_NE(*h, nullptr) << size;
        EXPECT_EQ(RvTestHandleSize(h), size);
        EXPECT_EQ(RvTestLiveHandles(), live + 1);
        RvDisposeHandle(h);
        EXPECT_EQ(RvTestLiveHandles(), live);
        EXPECT_EQ(RvTestHandleSize(h), -1);
    }
}

TEST(Handles, ContentIsNotZeroed) {
    RvHandle h = RvNewHandle(64);
    ASSERT_NE(h, nullptr);
    const uint8_t* block = static_cast<const uint8_t*>(*h);
    for (int i = 0; i < 64; i++) ASSERT_EQ(block[i], kRvFreshByte) << i;
    RvDisposeHandle(h);
}

TEST(Handles, BlocksAreWritableAndDistinct) {
    RvHandle a = RvNewHandle(8300);
    RvHandle b = RvNewHandle(8300);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_NE(*a, *b);
    std::memset(*a, 1, 8300);
    std::memset(*b, 2, 8300);
    EXPECT_EQ(static_cast<uint8_t*>(*a)[8299], 1);
    EXPECT_EQ(static_cast<uint8_t*>(*b)[0], 2);
    RvDisposeHandle(a);
    RvDisposeHandle(b);
}

TEST(Handles, NegativeSizeFails) {
    int32_t live = RvTestLiveHandles();
    EXPECT_EQ(RvNewHandle(-1), nullptr);
    EXPECT_EQ(RvTestLiveHandles(), live);
}

TEST(Handles, FailNextAllocationFailsExactlyOnce) {
    int32_t live = RvTestLiveHandles();
    RvTestFailNextNewHandle();
    EXPECT_EQ(RvNewHandle(34346), nullptr);
    EXPECT_EQ(RvTestLiveHandles(), live);
    RvHandle h = RvNewHandle(34346);
    EXPECT_NE(h, nullptr);
    EXPECT_EQ(RvTestLiveHandles(), live + 1);
    RvDisposeHandle(h);
}

TEST(Handles, DisposingZeroIsIgnored) {
    int32_t misuses = RvTestMisuses();
    RvDisposeHandle(nullptr);
    EXPECT_EQ(RvTestMisuses(), misuses);
}

TEST(Handles, DisposingTwiceIsCountedAndIgnored) {
    int32_t misuses = RvTestMisuses();
    RvHandle h = RvNewHandle(16);
    RvDisposeHandle(h);
    int32_t live = RvTestLiveHandles();
    RvDisposeHandle(h);
    EXPECT_EQ(RvTestMisuses(), misuses + 1);
    EXPECT_EQ(RvTestLiveHandles(), live);
}

TEST(Handles, DisposingAForeignHandleIsCountedAndIgnored) {
    int32_t misuses = RvTestMisuses();
    char block[4] = {1, 2, 3, 4};
    void* pointer = block;
    RvDisposeHandle(&pointer);
    EXPECT_EQ(RvTestMisuses(), misuses + 1);
    EXPECT_EQ(pointer, static_cast<void*>(block));
    EXPECT_EQ(block[3], 4);
}

// ---------------------------------------------------------------------------
// Locks

TEST(Locks, CountGoesUpAndDownPerHandle) {
    RvHandle a = RvNewHandle(29);
    RvHandle b = RvNewHandle(29);
    EXPECT_EQ(RvTestLockCount(a), 0);
    RvHLock(a);
    EXPECT_EQ(RvTestLockCount(a), 1);
    EXPECT_EQ(RvTestLockCount(b), 0);
    RvHLock(a);
    RvHLock(b);
    EXPECT_EQ(RvTestLockCount(a), 2);
    EXPECT_EQ(RvTestLockCount(b), 1);
    RvHUnlock(a);
    EXPECT_EQ(RvTestLockCount(a), 1);
    RvHUnlock(a);
    RvHUnlock(b);
    EXPECT_EQ(RvTestLockCount(a), 0);
    EXPECT_EQ(RvTestLockCount(b), 0);
    RvDisposeHandle(a);
    RvDisposeHandle(b);
}

TEST(Locks, LockingKeepsTheBlockInPlace) {
    RvHandle h = RvNewHandle(29);
    void* block = *h;
    RvHLock(h);
    EXPECT_EQ(*h, block);
    RvHUnlock(h);
    EXPECT_EQ(*h, block);
    RvDisposeHandle(h);
}

TEST(Locks, HandleMadeByTheHostCanBeLocked) {
    char record[29];
    void* pointer = record;
    RvHandle h = &pointer;
    int32_t misuses = RvTestMisuses();
    RvHLock(h);
    EXPECT_EQ(RvTestLockCount(h), 1);
    RvHUnlock(h);
    EXPECT_EQ(RvTestLockCount(h), 0);
    EXPECT_EQ(RvTestMisuses(), misuses);
}

TEST(Locks, UnlockingAnUnlockedHandleIsCountedAndIgnored) {
    RvHandle h = RvNewHandle(29);
    int32_t misuses = RvTestMisuses();
    RvHUnlock(h);
    EXPECT_EQ(RvTestMisuses(), misuses + 1);
    EXPECT_EQ(RvTestLockCount(h), 0);
    RvHLock(h);
    EXPECT_EQ(RvTestLockCount(h), 1);
    RvHUnlock(h);
    RvDisposeHandle(h);
}

TEST(Locks, DisposingForgetsTheCount) {
    RvHandle h = RvNewHandle(29);
    RvHLock(h);
    RvDisposeHandle(h);
    EXPECT_EQ(RvTestLockCount(h), 0);
}

// ---------------------------------------------------------------------------
// Windows, dialogs and the neutral services

RvWindow FakeWindow(uintptr_t n) { return reinterpret_cast<RvWindow>(n); }

#if !defined(_WIN32)
// Without a window system windows are opaque numbers; the Windows services
// meet real windows in ReelInfoWindowsTest.cpp.

TEST(Dialogs, DataIsAttachedPerWindow) {
    RvHandle a = RvNewHandle(16);
    RvHandle b = RvNewHandle(16);
    EXPECT_EQ(RvGetDialogData(FakeWindow(0x100)), nullptr);
    RvSetDialogData(FakeWindow(0x100), a);
    RvSetDialogData(FakeWindow(0x200), b);
    EXPECT_EQ(RvGetDialogData(FakeWindow(0x100)), a);
    EXPECT_EQ(RvGetDialogData(FakeWindow(0x200)), b);
    RvSetDialogData(FakeWindow(0x100), b);
    EXPECT_EQ(RvGetDialogData(FakeWindow(0x100)), b);
    RvSetDialogData(FakeWindow(0x100), nullptr);
    RvSetDialogData(FakeWindow(0x200), nullptr);
    EXPECT_EQ(RvGetDialogData(FakeWindow(0x100)), nullptr);
    EXPECT_EQ(RvGetDialogData(FakeWindow(0x200)), nullptr);
    RvDisposeHandle(a);
    RvDisposeHandle(b);
}

intptr_t REELINFO_CALLBACK NeverCalled(RvWindow, uint32_t, uintptr_t, intptr_t) {
    ADD_FAILURE() << "no dialog can be opened yet";
    return 0;
}

TEST(Dialogs, RunDialogCannotOpenADialogYet) {
    const int32_t templates[] = {101, 102, 104};
    for (int32_t id : templates) {
        int32_t runs = RvTestDialogRuns();
        RvHandle data = RvNewHandle(16);
        EXPECT_EQ(RvRunDialog(id, RvGetMainWindow(), NeverCalled, data, RvGetHostInstance()), -1);
        EXPECT_EQ(RvTestDialogRuns(), runs + 1);
        EXPECT_EQ(RvTestLastDialogTemplate(), id);
        RvDisposeHandle(data);
    }
}

#endif  // !_WIN32

TEST(Windows, MainWindowIsStableAndCanBeChosen) {
    RvWindow own = RvGetMainWindow();
    EXPECT_NE(own, nullptr);
    EXPECT_EQ(RvGetMainWindow(), own);
    RvTestSetMainWindow(FakeWindow(0x1234));
    EXPECT_EQ(RvGetMainWindow(), FakeWindow(0x1234));
    RvTestSetMainWindow(nullptr);
    EXPECT_EQ(RvGetMainWindow(), own);
}

TEST(Windows, HostInstanceIsStableAndDiffersFromTheMainWindow) {
    RvInstance instance = RvGetHostInstance();
    EXPECT_NE(instance, nullptr);
    EXPECT_EQ(RvGetHostInstance(), instance);
    EXPECT_NE(static_cast<void*>(instance), static_cast<void*>(RvGetMainWindow()));
}

#if !defined(_WIN32)
TEST(NeutralServices, ItemRectIsEmpty) {
    Rect r{5, 6, 7, 8};
    RvGetItemRect(FakeWindow(0x100), 1001, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 0);
    EXPECT_EQ(r.bottom, 0);
    RvGetItemRect(FakeWindow(0x100), 1001, nullptr);  // no rectangle, no write
}

TEST(NeutralServices, ColourAndThumbQueryAreZero) {
    EXPECT_EQ(RvGetColor(1), 0u);
    EXPECT_EQ(RvThumbDrawQuery(), 0);
}

TEST(NeutralServices, DrawingLeavesItsArgumentsAlone) {
    PixelMap map{};
    map.bounds = Rect{0, 0, 160, 120};
    map.rowBytes = 640;
    PixelMap* pointer = &map;
    Rect source{0, 0, 160, 120};
    Rect destination{10, 10, 170, 130};
    rpixToScreen(&pointer, nullptr, &source, &destination);
    RvFrameRect(nullptr, &destination, nullptr);
    RvPrepareDialog(FakeWindow(0x100));
    RvThumbPainter painter = RvDrawThumb;
    painter(FakeWindow(0x300), nullptr);
    EXPECT_EQ(pointer, &map);
    EXPECT_EQ(map.rowBytes, 640);
    EXPECT_EQ(map.bounds.right, 160);
}

#endif  // !_WIN32

}  // namespace
