// Shared-memory images attached once to a capture thread's connection and
// handed out as frame buffers: the X server writes the pixels straight into the
// buffer we publish, with no copy. An image is reused only after the last
// holder of its published buffer has dropped it.
//
// Every image is attached when the pool is made and they are handed out in
// turn, so all the memory the capture will ever hold is in use within its first
// frames: a long cast stays level instead of stepping up the first time a slow
// moment needs one more image.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace ScreenCaptureLib {

class ShmImagePool : public std::enable_shared_from_this<ShmImagePool> {
public:
    // Null when the server has no MIT-SHM or cannot attach our segments (a
    // remote display, for example).
    static std::shared_ptr<ShmImagePool> create(Display* display, Visual* visual, int depth,
                                                int width, int height, size_t maxImages);
    ~ShmImagePool();

    // The image idle the longest; null when every image is still held.
    XImage* acquire();
    size_t imageCount() const;
    // The image's pixels as a shared buffer; the image returns when it is dropped.
    std::shared_ptr<uint8_t> publish(XImage* image);
    // Back to the idle images without publishing.
    void release(XImage* image);
    // The server forgets the segments; call before the connection closes.
    void detachAll();

private:
    struct Slot {
        XImage* image = nullptr;
        XShmSegmentInfo segment{};
    };
    ShmImagePool(Display* display, Visual* visual, int depth, int width, int height);
    std::unique_ptr<Slot> newSlot();
    bool owns(XImage* image) const;

    Display* display_;
    Visual* visual_;
    int depth_;
    int width_;
    int height_;
    std::vector<std::unique_ptr<Slot>> slots_;  // fixed once made
    mutable std::mutex mutex_;
    std::deque<XImage*> idle_;  // oldest release first
    bool detached_ = false;
};

}  // namespace ScreenCaptureLib
