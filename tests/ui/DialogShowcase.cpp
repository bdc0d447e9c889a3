// Opens the real settings dialog of the Windows image for its pictures in
// docs/ (scripts/dialog-screenshots): `full` shows the editor's own block,
// `failing` the same with a green formula that does not compile, `compact`
// a built plug-in's block ("70s Pop"), `built` the dialog of the plug-in
// file PLUGIN as it was built, each over a colourful frame. The dialog's
// screen rectangle goes to standard output; after SECONDS the dialog is
// cancelled.
//   settings_dialog_showcase full|failing|compact SECONDS
//   settings_dialog_showcase built SECONDS PLUGIN
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Entry.h"
#include "HostRecords.h"
#include "InstanceState.h"
#include "ReelInfo.h"
#include "TestBlocks.h"

namespace {

constexpr int32_t kWidth = 320, kHeight = 240;

struct Showing {
    const char* caption;
    DWORD seconds;
};

void FABLIX_STDCALL LoadFrame(int32_t, PixelMap**, PixelMap*, intptr_t) {}

// A sunset over hills: something whose colours a filter visibly changes.
void PaintFrame(std::vector<uint8_t>& pixels) {
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            uint8_t* p = &pixels[static_cast<size_t>((y * kWidth + x) * 4)];
            const double hill = 150 + 25 * std::sin(x / 37.0) + 12 * std::sin(x / 11.0);
            const double sun = std::hypot(x - 220.0, y - 110.0);
            int red = 255 - y / 2, green = 120 + y / 3, blue = 200 - y / 2;
            if (sun < 34) red = 255, green = 230, blue = 90;
            if (y > hill) red = 40 + (x % 40), green = 110 + (y - 150) / 2, blue = 50;
            p[0] = static_cast<uint8_t>(blue);
            p[1] = static_cast<uint8_t>(green);
            p[2] = static_cast<uint8_t>(red);
            p[3] = 255;
        }
    }
}

DWORD WINAPI ShowThenCancel(void* argument) {
    const Showing& showing = *static_cast<Showing*>(argument);
    HWND dialog = nullptr;
    for (int i = 0; i < 200 && dialog == nullptr; ++i) {
        Sleep(50);
        dialog = FindWindowA(nullptr, showing.caption);
    }
    if (dialog == nullptr) return 1;
    RECT r;
    GetWindowRect(dialog, &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    std::fflush(stdout);
    Sleep(showing.seconds * 1000);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool built = argc == 4 && std::strcmp(argv[1], "built") == 0;
    if (argc != 3 && !built) {
        std::fprintf(stderr,
                     "usage: settings_dialog_showcase full|failing|compact SECONDS\n"
                     "       settings_dialog_showcase built SECONDS PLUGIN\n");
        return 2;
    }
    const bool compact = std::strcmp(argv[1], "compact") == 0;
    HMODULE library = LoadLibraryA(built ? argv[3] : "FL-Fabx.rvp");
    if (library == nullptr) return 1;
    auto entry = reinterpret_cast<XFilterEntry>(reinterpret_cast<void*>(GetProcAddress(library, "xFilter")));

    std::vector<uint8_t> source(kWidth * kHeight * 4), destination(source.size());
    PaintFrame(source);
    PixelMap sourceMap{{0, 0, kWidth, kHeight}, kWidth * 4, {}, source.data()};
    PixelMap destinationMap{{0, 0, kWidth, kHeight}, kWidth * 4, {}, destination.data()};
    PixelMap* sourceAddress = &sourceMap;
    PixelMap* destinationAddress = &destinationMap;
    FilterRecord record{};
    record.sourceMap = &sourceAddress;
    record.destinationMap = &destinationAddress;
    record.total = 100;
    record.sourceFrameCallback = LoadFrame;
    FilterRecord* recordAddress = &record;
    entry(5, &recordAddress);  // creates the state with the editor's block
    FilterParams& params = (*record.instanceHandle)->params;
    if (compact) std::memcpy(&params, kSeventiesPopBlock, sizeof params);
    if (std::strcmp(argv[1], "failing") == 0) std::strcpy(params.formula[1], "g*(2+x");

    char caption[300];
    std::snprintf(caption, sizeof caption, "%s Settings", params.title);
    Showing showing{caption, static_cast<DWORD>(std::atoi(argv[2]))};
    HANDLE thread = CreateThread(nullptr, 0, ShowThenCancel, &showing, 0, nullptr);
    entry(kSelectorSetup, &recordAddress);
    WaitForSingleObject(thread, INFINITE);
    return 0;
}
