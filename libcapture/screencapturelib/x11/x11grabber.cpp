#include "libcapture/screencapturelib/x11/x11grabber.h"

#include <X11/Xutil.h>

#include <cstring>

namespace ScreenCaptureLib {
namespace {

// Enough for the frame the consumer holds, the one being encoded, and one in
// flight; past that we copy into the frame pool instead of waiting.
constexpr size_t kShmImages = 4;

bool isBgrx(Display* display, Visual* visual, int depth)
{
    if ((depth != 24 && depth != 32) || ImageByteOrder(display) != LSBFirst) return false;
    if (visual->red_mask != 0xFF0000 || visual->green_mask != 0xFF00 || visual->blue_mask != 0xFF)
        return false;
    int count = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
    bool bits32 = false;
    for (int i = 0; i < count; ++i)
        if (formats[i].depth == depth) bits32 = formats[i].bits_per_pixel == 32;
    if (formats) XFree(formats);
    return bits32;
}

}  // namespace

bool Grabber::init(Display* display, Visual* visual, int depth, int width, int height)
{
    display_ = display;
    visual_ = visual;
    depth_ = depth;
    width_ = width;
    height_ = height;
    if (width <= 0 || height <= 0 || !isBgrx(display, visual, depth)) return false;
    framePool_ = FramePool::create(4);
    shmPool_ = ShmImagePool::create(display, visual, depth, width, height, kShmImages);
    return true;
}

std::shared_ptr<uint8_t> Grabber::grab(Drawable drawable, int x, int y)
{
    XImage* image = shmPool_ ? shmPool_->acquire() : nullptr;
    if (!image) return grabWithGetImage(drawable, x, y);

    // A round trip of its own: a failed grab (window gone) shows in the result.
    // The capture thread's error trap keeps the error from ending the process;
    // a nested trap here would cost three more round trips per frame.
    if (!XShmGetImage(display_, drawable, image, x, y, AllPlanes)) {
        shmPool_->release(image);
        return nullptr;
    }
    const size_t row = static_cast<size_t>(width_) * 4;
    if (static_cast<size_t>(image->bytes_per_line) == row) return shmPool_->publish(image);

    // Padded rows: one copy into a pooled buffer.
    std::shared_ptr<uint8_t> frame = framePool_->acquire(row * height_);
    for (int line = 0; line < height_; ++line)
        std::memcpy(frame.get() + line * row, image->data + line * image->bytes_per_line, row);
    shmPool_->release(image);
    return frame;
}

std::shared_ptr<uint8_t> Grabber::grabWithGetImage(Drawable drawable, int x, int y)
{
    const size_t row = static_cast<size_t>(width_) * 4;
    std::shared_ptr<uint8_t> frame = framePool_->acquire(row * height_);
    // An image around the pooled buffer: the reply lands in it directly.
    XImage* image =
        XCreateImage(display_, visual_, depth_, ZPixmap, 0, reinterpret_cast<char*>(frame.get()),
                     width_, height_, 32, static_cast<int>(row));
    if (!image) return nullptr;
    image->byte_order = LSBFirst;
    // As above: the reply or the error answers this request itself.
    const bool ok = XGetSubImage(display_, drawable, x, y, width_, height_, AllPlanes, ZPixmap,
                                 image, 0, 0) != nullptr;
    image->data = nullptr;  // the buffer belongs to the frame
    XDestroyImage(image);
    return ok ? frame : nullptr;
}

void Grabber::shutdown()
{
    if (shmPool_) shmPool_->detachAll();
}

}  // namespace ScreenCaptureLib
