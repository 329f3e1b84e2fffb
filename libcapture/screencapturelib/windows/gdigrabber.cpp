#include "libcapture/screencapturelib/windows/gdigrabber.h"

#include <cstring>

#include "libcapture/screencapturelib/windows/cursordrawing.h"

namespace ScreenCaptureLib {

bool GdiGrabber::Dib::create(HDC reference, int w, int h)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    bitmap = CreateDIBSection(reference, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    dc = CreateCompatibleDC(reference);
    if (!bitmap || !dc || !pixels) {
        destroy();
        return false;
    }
    previous = SelectObject(dc, bitmap);
    bits = static_cast<uint8_t*>(pixels);
    width = w;
    height = h;
    return true;
}

void GdiGrabber::Dib::destroy()
{
    if (dc && previous) SelectObject(dc, previous);
    if (dc) DeleteDC(dc);
    if (bitmap) DeleteObject(bitmap);
    *this = Dib();
}

GdiGrabber::GdiGrabber() : pool_(FramePool::create()) {}

GdiGrabber::~GdiGrabber()
{
    window_.destroy();
    picture_.destroy();
    if (screen_) ReleaseDC(nullptr, screen_);
}

bool GdiGrabber::init(int width, int height)
{
    if (width <= 0 || height <= 0) return false;
    if (!screen_) screen_ = GetDC(nullptr);
    if (!screen_) return false;
    picture_.destroy();
    if (!picture_.create(screen_, width, height)) return false;
    width_ = width;
    height_ = height;
    return true;
}

bool GdiGrabber::grabScreen(int x, int y)
{
    if (!picture_.dc) return false;
    const BOOL copied =
        BitBlt(picture_.dc, 0, 0, width_, height_, screen_, x, y, SRCCOPY | CAPTUREBLT);
    GdiFlush();
    return copied != FALSE;
}

bool GdiGrabber::printWindow(HWND window, const RECT& visible)
{
    RECT rect{};
    if (!GetWindowRect(window, &rect)) return false;
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width == width_ && height == height_)
        return PrintWindow(window, picture_.dc, PW_RENDERFULLCONTENT) != FALSE;

    // Windows 10 draws invisible resize borders around the visible bounds:
    // print the whole window aside, then cut the visible part out.
    if (window_.width != width || window_.height != height) {
        window_.destroy();
        if (!window_.create(screen_, width, height)) return false;
    }
    if (!PrintWindow(window, window_.dc, PW_RENDERFULLCONTENT)) return false;
    return BitBlt(picture_.dc, 0, 0, width_, height_, window_.dc, visible.left - rect.left,
                  visible.top - rect.top, SRCCOPY) != FALSE;
}

bool GdiGrabber::grabWindow(HWND window, const RECT& visible)
{
    if (!picture_.dc) return false;
    bool grabbed = printWindow(window, visible);
    if (!grabbed)
        grabbed = BitBlt(picture_.dc, 0, 0, width_, height_, screen_, visible.left, visible.top,
                         SRCCOPY | CAPTUREBLT) != FALSE;
    GdiFlush();
    return grabbed;
}

void GdiGrabber::drawCursor(int originX, int originY)
{
    if (ScreenCaptureLib::drawCursor(picture_.dc, originX, originY)) GdiFlush();
}

std::shared_ptr<uint8_t> GdiGrabber::takeFrame(const std::shared_ptr<uint8_t>& previous, bool force)
{
    const size_t bytes = static_cast<size_t>(width_) * height_ * 4;
    if (!force && previous && std::memcmp(previous.get(), picture_.bits, bytes) == 0)
        return nullptr;
    std::shared_ptr<uint8_t> frame = pool_->acquire(bytes);
    std::memcpy(frame.get(), picture_.bits, bytes);
    return frame;
}

}  // namespace ScreenCaptureLib
