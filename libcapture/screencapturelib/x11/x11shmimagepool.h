// Shared-memory images attached once to a capture thread's connection and
// handed out as frame buffers: the X server writes the pixels straight into the
// buffer we publish, with no copy. An image is reused only after the last
// holder of its published buffer has dropped it.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
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

    // An idle image, or a new one while fewer than maxImages exist; null when
    // every image is still held by someone.
    XImage* acquire();
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
        bool busy = false;
    };
    ShmImagePool(Display* display, Visual* visual, int depth, int width, int height,
                 size_t maxImages);
    std::unique_ptr<Slot> newSlot();  // talks to the server: called without the lock
    Slot* slotOf(XImage* image);

    Display* display_;
    Visual* visual_;
    int depth_;
    int width_;
    int height_;
    size_t maxImages_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Slot>> slots_;
    bool detached_ = false;
};

}  // namespace ScreenCaptureLib
