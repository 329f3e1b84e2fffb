// Copies a rectangle of a drawable (the root, or a window's composite pixmap)
// into a frame buffer: packed 32-bit BGRA rows, top row first.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <memory>

#include "libcapture/framepool/framepool.h"
#include "libcapture/screencapturelib/x11/x11shmimagepool.h"

namespace ScreenCaptureLib {

class Grabber {
public:
    // False when the drawable's pixel format is not 32-bit BGR(A); usesShm
    // tells whether MIT-SHM is in use or plain GetImage.
    bool init(Display* display, Visual* visual, int depth, int width, int height);
    bool usesShm() const { return shmPool_ != nullptr; }

    // A buffer nobody else holds yet, or null when the server refused (the
    // drawable went away or the rectangle no longer fits it).
    std::shared_ptr<uint8_t> grab(Drawable drawable, int x, int y);

    // Before the connection closes.
    void shutdown();

private:
    std::shared_ptr<uint8_t> grabWithGetImage(Drawable drawable, int x, int y);

    Display* display_ = nullptr;
    Visual* visual_ = nullptr;
    int depth_ = 0;
    int width_ = 0;
    int height_ = 0;
    std::shared_ptr<ShmImagePool> shmPool_;
    std::shared_ptr<FramePool> framePool_;
};

}  // namespace ScreenCaptureLib
