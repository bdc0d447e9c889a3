#include "ThumbPainter.h"

namespace {

enum : int32_t {
    kButtonFaceRings = 4,
    kThumbColorIndex = 1,  // the host's colour for the thumb's core
};

void Shrink(Rect* r, int32_t dx, int32_t dy) {
    r->left += dx;
    r->right -= dx;
    r->top += dy;
    r->bottom -= dy;
}

}  // namespace

void PaintThumb(const ControlsPort& port, RvWindow slider, RvDeviceContext dc) {
    port.thumbDrawQuery();
    RvBrush face = port.createSolidBrush(port.buttonFaceColor());
    Rect r{};
    port.windowClientRect(slider, &r);
    port.frameRect(dc, &r, face);
    for (int32_t ring = 1; ring < kButtonFaceRings; ++ring) {
        Shrink(&r, 1, 1);
        port.frameRect(dc, &r, face);
    }
    Shrink(&r, 0, 1);
    port.frameRect(dc, &r, port.stockBrush(kBlackBrush));
    Shrink(&r, 1, 1);
    port.frameRect(dc, &r, port.stockBrush(kWhiteBrush));
    Shrink(&r, 1, 1);
    RvBrush core = port.createSolidBrush(port.hostColor(kThumbColorIndex));
    port.fillRect(dc, &r, core);
    port.frameRect(dc, &r, port.stockBrush(kBlackBrush));
    port.deleteBrush(face);
    port.deleteBrush(core);
}
