// Setup through the loaded plug-in: which dialog the block's flags open (the
// Linux stand-in cannot open one and answers -1; on Windows the test host
// ends each at once with Cancel, 2), the compile-only path of a
// built plug-in without controls, setupDone, and the tables loaded on
// every call.
#include "PluginTestHost.h"

#include "DialogContext.h"
#include "RESOURCE.h"
#include "TestBlocks.h"

namespace {

void Create(HostClip& clip) {
    ASSERT_EQ(CallPlugin(clip, 5), -1);
    ASSERT_NE(clip.State(), nullptr);
}

// The tables as a setup call loads them.
std::unique_ptr<InstanceState> LoadedTables() {
    auto state = ZeroState();
    LoadLookupTables(state.get());
    return state;
}

void ExpectLoadedTables(const InstanceState* state) {
    auto expected = LoadedTables();
    EXPECT_EQ(std::memcmp(state->cosineTable, expected->cosineTable, sizeof expected->cosineTable), 0);
    EXPECT_EQ(std::memcmp(state->arctanTable, expected->arctanTable, sizeof expected->arctanTable), 0);
    EXPECT_EQ(std::memcmp(state->vectorTable, expected->vectorTable, sizeof expected->vectorTable), 0);
    EXPECT_EQ(int32_t{state->cosineTable[0]}, 16384);  // loaded, not left zero
}

// A first call with setup on the editor block: created, then the full
// dialog, which does not end with OK.
TEST(Setup, TheEditorBlockOpensTemplate101) {
    HostClip clip;
    const int32_t live = RvTestLiveHandles();
    const int32_t runs = RvTestDialogRuns();
    EXPECT_EQ(CallPlugin(clip, kSelectorSetup), 1);
    ASSERT_NE(clip.State(), nullptr);
    EXPECT_EQ(RvTestDialogRuns(), runs + 1);
    EXPECT_EQ(RvTestLastDialogTemplate(), IDD_SETTINGS);
    EXPECT_EQ(int32_t{clip.State()->setupDone}, 1);
    ExpectLoadedTables(clip.State());
    // The DialogContext was freed again; only the state stays.
    EXPECT_EQ(RvTestLiveHandles(), live + 1);
    // Compiling is the dialog's work on this path: the real one compiles as
    // it opens; where no dialog opens nothing is compiled.
#if defined(_WIN32)
    EXPECT_TRUE(BeginsWithProlog(clip.State()->codeAreas[0]));
    EXPECT_EQ(int32_t{clip.State()->previewDirty}, 1);
#else
    EXPECT_FALSE(BeginsWithProlog(clip.State()->codeAreas[0]));
    EXPECT_EQ(int32_t{clip.State()->previewDirty}, 0);
#endif
}

// A dialog that does not end with 1 makes setup answer 1, and setupDone is
// still set.
TEST(Setup, ADialogNotEndedWithOkAnswers1AndSetsSetupDone) {
    struct Flags {
        int32_t built;
        int32_t hasControls;
        int32_t templateId;
    };
    const Flags cases[] = {{0, 0, IDD_SETTINGS}, {0, 1, IDD_SETTINGS}, {1, 1, IDD_COMPACT_SETTINGS}};
    for (const Flags& f : cases) {
        HostClip clip;
        Create(clip);
        clip.State()->params.built = f.built;
        clip.State()->params.hasControls = f.hasControls;
        for (int call = 0; call < 2; ++call) {
            clip.State()->setupDone = 0;
            const int32_t runs = RvTestDialogRuns();
            EXPECT_EQ(CallPlugin(clip, kSelectorSetup), 1);
            EXPECT_EQ(int32_t{clip.State()->setupDone}, 1);
            EXPECT_EQ(RvTestDialogRuns(), runs + 1);
            EXPECT_EQ(RvTestLastDialogTemplate(), f.templateId) << f.built << " " << f.hasControls;
        }
    }
}

// A built plug-in with controls opens the compact dialog and never the full
// one, whatever nonzero values the flags hold; `built` 0 always opens 101.
TEST(Setup, BuiltWithControlsOpens102AndBuilt0Opens101) {
    struct Flags {
        int32_t built;
        int32_t hasControls;
        int32_t templateId;
    };
    const Flags cases[] = {{1, 1, IDD_COMPACT_SETTINGS},  {1, -1, IDD_COMPACT_SETTINGS}, {7, 256, IDD_COMPACT_SETTINGS},
                           {-1, 1, IDD_COMPACT_SETTINGS}, {0, 0, IDD_SETTINGS},          {0, 1, IDD_SETTINGS},
                           {0, -5, IDD_SETTINGS}};
    for (const Flags& f : cases) {
        HostClip clip;
        Create(clip);
        clip.State()->params.built = f.built;
        clip.State()->params.hasControls = f.hasControls;
        const int32_t runs = RvTestDialogRuns();
        EXPECT_EQ(CallPlugin(clip, kSelectorSetup), 1);
        EXPECT_EQ(RvTestDialogRuns(), runs + 1) << f.built << " " << f.hasControls;
        EXPECT_EQ(RvTestLastDialogTemplate(), f.templateId) << f.built << " " << f.hasControls;
    }
}

TEST(Setup, TheSeventiesPopBlockOpens102) {
    HostClip clip;
    Create(clip);
    std::memcpy(&clip.State()->params, kSeventiesPopBlock, kFilterParamsSize);
    ASSERT_NE(int32_t{clip.State()->params.built}, 0);
    ASSERT_NE(int32_t{clip.State()->params.hasControls}, 0);
    EXPECT_EQ(CallPlugin(clip, kSelectorSetup), 1);
    EXPECT_EQ(RvTestLastDialogTemplate(), IDD_COMPACT_SETTINGS);
}

// A built plug-in without controls shows nothing: it compiles the four
// formulas and accepts.
TEST(Setup, BuiltWithoutControlsCompilesOnlyAndAnswers0) {
    HostClip clip;
    Create(clip);
    InstanceState* state = clip.State();
    state->params.built = 1;
    state->params.hasControls = 0;
    SetFormulas(state->params, "x*10", "r g", "min(1)", "a");
    const int32_t live = RvTestLiveHandles();
    const int32_t runs = RvTestDialogRuns();
    ArmCompileProbe(state);
    EXPECT_EQ(CallPlugin(clip, kSelectorSetup), 0);
    EXPECT_EQ(RvTestDialogRuns(), runs);
    EXPECT_EQ(RvTestLiveHandles(), live);
    EXPECT_EQ(int32_t{state->setupDone}, 1);
    EXPECT_TRUE(CompiledSinceArmed(state));
    ExpectLoadedTables(state);
    auto expected = CompiledState(state->params, true);
    for (int32_t i = 0; i < kFormulaCount; ++i) {
        EXPECT_EQ(int32_t{state->compileFailed[i]}, int32_t{expected->compileFailed[i]}) << i;
        EXPECT_EQ(int32_t{state->errorStart[i]}, int32_t{expected->errorStart[i]}) << i;
        EXPECT_EQ(int32_t{state->errorEnd[i]}, int32_t{expected->errorEnd[i]}) << i;
        EXPECT_EQ(int32_t{state->codeLength[i]}, int32_t{expected->codeLength[i]}) << i;
        EXPECT_EQ(std::memcmp(state->codeAreas[i], expected->codeAreas[i], kCodeAreaSize), 0) << i;
    }
    EXPECT_EQ(int32_t{state->compileFailed[1]}, 1);
    EXPECT_EQ(int32_t{state->compileFailed[2]}, 1);

    // Every setup compiles again on this path; execute then compiles no
    // more and renders that code.
    std::strcpy(state->params.formula[0], "x*20");
    ArmCompileProbe(state);
    EXPECT_EQ(CallPlugin(clip, kSelectorSetup), 0);
    EXPECT_TRUE(CompiledSinceArmed(state));
    ArmCompileProbe(state);
    EXPECT_EQ(CallPlugin(clip, kSelectorExecute), 0);
    EXPECT_FALSE(CompiledSinceArmed(state));
    EXPECT_EQ(clip.destination.At(3, 0)[0], 60);
    EXPECT_EQ(clip.destination.pixels, LibraryFrame(clip, state->params, true, 0));
}

// Every setup call loads the tables again, over whatever the state holds.
TEST(Setup, LoadsTheTablesOnEveryCall) {
    const int32_t flags[][2] = {{0, 0}, {1, 1}, {1, 0}};
    for (const auto& f : flags) {
        HostClip clip;
        Create(clip);
        InstanceState* state = clip.State();
        state->params.built = f[0];
        state->params.hasControls = f[1];
        CallPlugin(clip, kSelectorSetup);
        ExpectLoadedTables(state);
        std::memset(state->cosineTable, 0x11, sizeof state->cosineTable);
        std::memset(state->arctanTable, 0x22, sizeof state->arctanTable);
        std::memset(state->vectorTable, 0x33, sizeof state->vectorTable);
        CallPlugin(clip, kSelectorSetup);
        ExpectLoadedTables(state);
    }
}

// No DialogContext, no dialog: setup answers 1 as for a dialog that cannot
// open, with the tables loaded and setupDone set.
TEST(Setup, ADialogContextThatCannotBeAllocatedOpensNothingAndAnswers1) {
    const int32_t builtFlags[] = {0, 1};
    for (int32_t built : builtFlags) {
        HostClip clip;
        Create(clip);
        clip.State()->params.built = built;
        clip.State()->params.hasControls = 1;
        const int32_t live = RvTestLiveHandles();
        const int32_t runs = RvTestDialogRuns();
        RvTestFailNextNewHandle();
        EXPECT_EQ(CallPlugin(clip, kSelectorSetup), 1);
        EXPECT_EQ(RvTestDialogRuns(), runs);
        EXPECT_EQ(RvTestLiveHandles(), live);
        EXPECT_EQ(int32_t{clip.State()->setupDone}, 1);
        ExpectLoadedTables(clip.State());
        // The next setup gets its context and runs the dialog.
        EXPECT_EQ(CallPlugin(clip, kSelectorSetup), 1);
        EXPECT_EQ(RvTestDialogRuns(), runs + 1);
        EXPECT_EQ(RvTestLiveHandles(), live);
    }
}

// What the dialog saw while it ran, and the end code it gives.
struct DialogRun {
    int32_t templateId;
    RvWindow owner;
    bool hasProcedure;
    RvInstance module;
    int32_t handleSize;
    DialogContext context;
    intptr_t endCode;
};
DialogRun gRun;

intptr_t RecordDialogRun(int32_t templateId, RvWindow owner, RvDialogProc procedure, RvHandle data, RvInstance module) {
    gRun.templateId = templateId;
    gRun.owner = owner;
    gRun.hasProcedure = procedure != nullptr;
    gRun.module = module;
    gRun.handleSize = RvTestHandleSize(data);
    std::memcpy(&gRun.context, *data, sizeof gRun.context);
    return gRun.endCode;
}

// The dialog runs over a DialogContext in a host handle, owned by the
// host's window, from the plug-in's module; only end code 1 accepts, and
// the context is freed whatever the dialog answered.
TEST(Setup, RunsTheDialogOverADialogContextAndAcceptsOnlyEndCode1) {
    struct Case {
        int32_t built;
        intptr_t endCode;
        int16_t result;
    };
    const Case cases[] = {{0, 1, 0}, {0, 2, 1}, {0, 0, 1}, {0, -1, 1}, {1, 1, 0}, {1, 2, 1}};
    RvTestSetDialogRunner(RecordDialogRun);
    for (const Case& c : cases) {
        HostClip clip;
        Create(clip);
        clip.State()->params.built = c.built;
        clip.State()->params.hasControls = 1;
        const int32_t live = RvTestLiveHandles();
        gRun = DialogRun{};
        gRun.endCode = c.endCode;
        EXPECT_EQ(CallPlugin(clip, kSelectorSetup), c.result) << c.built << " " << c.endCode;
        EXPECT_EQ(gRun.templateId, c.built ? IDD_COMPACT_SETTINGS : IDD_SETTINGS);
        EXPECT_EQ(gRun.handleSize, kDialogContextSize);
        EXPECT_EQ(gRun.context.compact, c.built ? 1 : 0);
        EXPECT_EQ(gRun.context.filterRecord, clip.recordAddress);
        EXPECT_EQ(gRun.context.instanceState, clip.State());
        EXPECT_EQ(gRun.context.params, &clip.State()->params);
        EXPECT_EQ(gRun.owner, RvGetMainWindow());  // its last active pop-up: itself, having none
        EXPECT_NE(gRun.module, nullptr);
#if defined(_WIN32)
        EXPECT_TRUE(gRun.hasProcedure);
#else
        EXPECT_FALSE(gRun.hasProcedure);  // no window system, no procedure
#endif
        EXPECT_EQ(RvTestLiveHandles(), live);
        EXPECT_EQ(int32_t{clip.State()->setupDone}, 1);
    }
    RvTestSetDialogRunner(nullptr);
}

}  // namespace
