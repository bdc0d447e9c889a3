// The host entry of the loaded plug-in: what the first call for a record
// creates, what any other selector answers, a failed allocation, and the
// library's entry. (That xFilter is its only export, PluginExports.cmake
// checks on the file.)
#include "PluginTestHost.h"

namespace {

TEST(PluginLibrary, LoadsAndExportsXFilter) { EXPECT_NE(PluginEntry(), nullptr); }

// The first call, whatever the selector, leaves a zeroed InstanceState with
// the default block behind; only a selector that is neither 0 nor 1 then
// answers -1 and does nothing else.
TEST(FirstCall, AnyOtherSelectorCreatesZeroesFillsAndReturnsMinusOne) {
    HostClip clip;
    const int32_t live = RvTestLiveHandles();
    const int32_t runs = RvTestDialogRuns();
    const std::vector<uint8_t> destination = clip.destination.pixels;

    EXPECT_EQ(CallPlugin(clip, 5), -1);

    ASSERT_NE(clip.record.instanceHandle, nullptr);
    EXPECT_EQ(RvTestLiveHandles(), live + 1);
    EXPECT_EQ(RvTestHandleSize(reinterpret_cast<RvHandle>(clip.record.instanceHandle)), kInstanceStateSize);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(clip.State());
    // The stand-in fills new blocks with 0xA5: every byte before the block
    // reads zero only because the entry zeroed it.
    for (size_t i = 0; i < offsetof(InstanceState, params); ++i) ASSERT_EQ(bytes[i], 0) << "offset " << i;
    const FilterParams expected = DefaultBlock();
    EXPECT_EQ(std::memcmp(&clip.State()->params, &expected, sizeof expected), 0);
    EXPECT_EQ(expected.size, kFilterParamsSize);  // the resource is the whole block
    EXPECT_EQ(RvTestDialogRuns(), runs);
    EXPECT_EQ(clip.destination.pixels, destination);
}

TEST(FirstCall, KeepsTheHandleForEveryLaterCall) {
    HostClip clip;
    EXPECT_EQ(CallPlugin(clip, 7), -1);
    InstanceState** handle = clip.record.instanceHandle;
    const int32_t live = RvTestLiveHandles();
    EXPECT_EQ(CallPlugin(clip, 7), -1);
    EXPECT_EQ(CallPlugin(clip, kSelectorExecute), 0);
    EXPECT_EQ(CallPlugin(clip, kSelectorSetup), 1);
    EXPECT_EQ(clip.record.instanceHandle, handle);
    EXPECT_EQ(RvTestLiveHandles(), live);
}

TEST(OtherSelectors, AnswerMinusOneAndChangeNothing) {
    HostClip clip;
    ASSERT_EQ(CallPlugin(clip, kSelectorExecute), 0);
    const std::vector<uint8_t> destination = clip.destination.pixels;
    std::vector<uint8_t> before(kInstanceStateSize);
    std::memcpy(before.data(), clip.State(), before.size());
    const int32_t live = RvTestLiveHandles();
    const int32_t runs = RvTestDialogRuns();
    const int16_t selectors[] = {-1, 2, 3, 5, 255, 256, INT16_MAX, INT16_MIN};
    for (int16_t selector : selectors) {
        EXPECT_EQ(CallPlugin(clip, selector), -1) << selector;
        EXPECT_EQ(std::memcmp(before.data(), clip.State(), before.size()), 0) << selector;
    }
    EXPECT_EQ(clip.destination.pixels, destination);
    EXPECT_EQ(RvTestLiveHandles(), live);
    EXPECT_EQ(RvTestDialogRuns(), runs);
}

// A failed allocation answers -108 whatever the selector, stores nothing,
// leaves the record unlocked, and the next call starts again.
TEST(FirstCall, FailedAllocationReturnsMinus108AndTheNextCallCreates) {
    const int16_t selectors[] = {kSelectorExecute, kSelectorSetup, 5};
    for (int16_t selector : selectors) {
        HostClip clip;
        const int32_t live = RvTestLiveHandles();
        const int32_t runs = RvTestDialogRuns();
        const std::vector<uint8_t> destination = clip.destination.pixels;
        RvTestFailNextNewHandle();
        const int16_t result = CallPlugin(clip, selector);
        EXPECT_EQ(result, -108) << selector;
        EXPECT_EQ(static_cast<uint16_t>(result), 0xFF94);
        EXPECT_EQ(clip.record.instanceHandle, nullptr) << selector;
        EXPECT_EQ(RvTestLiveHandles(), live);
        EXPECT_EQ(RvTestDialogRuns(), runs);
        EXPECT_EQ(clip.destination.pixels, destination) << selector;

        EXPECT_EQ(CallPlugin(clip, 5), -1);
        EXPECT_NE(clip.record.instanceHandle, nullptr);
        EXPECT_EQ(RvTestLiveHandles(), live + 1);
    }
}

}  // namespace
