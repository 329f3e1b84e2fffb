// GDI capture into a top-down 32-bit DIB section: the screen (BitBlt with
// CAPTUREBLT, so layered windows show) or one window through PrintWindow.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "libcapture/framepool/framepool.h"

namespace ScreenCaptureLib {

class GdiGrabber {
public:
    GdiGrabber();
    ~GdiGrabber();
    GdiGrabber(const GdiGrabber&) = delete;
    GdiGrabber& operator=(const GdiGrabber&) = delete;

    bool init(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }

    // The desktop rectangle whose top-left corner is (x, y).
    bool grabScreen(int x, int y);
    // The window's own content, also where other windows cover it
    // (PrintWindow with PW_RENDERFULLCONTENT), cut to `visible`, its visible
    // bounds; the screen area of `visible` where PrintWindow fails.
    bool grabWindow(HWND window, const RECT& visible);
    // The cursor over what was grabbed, (originX, originY) being the desktop
    // point of the picture's top-left pixel.
    void drawCursor(int originX, int originY);

    // The picture as a new frame buffer; null when it equals `previous`
    // (pixel for pixel) and `force` is not set.
    std::shared_ptr<uint8_t> takeFrame(const std::shared_ptr<uint8_t>& previous, bool force);

private:
    struct Dib {
        HDC dc = nullptr;
        HBITMAP bitmap = nullptr;
        HGDIOBJ previous = nullptr;
        uint8_t* bits = nullptr;
        int width = 0;
        int height = 0;
        bool create(HDC reference, int width, int height);
        void destroy();
    };
    bool printWindow(HWND window, const RECT& visible);

    HDC screen_ = nullptr;
    Dib picture_;
    Dib window_;  // the whole window rectangle, when it exceeds the visible bounds
    int width_ = 0;
    int height_ = 0;
    std::shared_ptr<FramePool> pool_;
};

}  // namespace ScreenCaptureLib
