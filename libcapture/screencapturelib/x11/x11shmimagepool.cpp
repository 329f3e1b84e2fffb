#include "libcapture/screencapturelib/x11/x11shmimagepool.h"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include "libcapture/screencapturelib/x11/x11errortrap.h"

namespace ScreenCaptureLib {

std::shared_ptr<ShmImagePool> ShmImagePool::create(Display* display, Visual* visual, int depth,
                                                   int width, int height, size_t maxImages)
{
    if (!XShmQueryExtension(display)) return nullptr;
    std::shared_ptr<ShmImagePool> pool(
        new ShmImagePool(display, visual, depth, width, height, maxImages));
    // Prove that attaching works before anyone relies on it.
    XImage* first = pool->acquire();
    if (!first) return nullptr;
    pool->release(first);
    return pool;
}

ShmImagePool::ShmImagePool(Display* display, Visual* visual, int depth, int width, int height,
                           size_t maxImages)
    : display_(display),
      visual_(visual),
      depth_(depth),
      width_(width),
      height_(height),
      maxImages_(maxImages)
{
}

ShmImagePool::~ShmImagePool()
{
    for (auto& slot : slots_) {
        shmdt(slot->segment.shmaddr);
        slot->image->data = nullptr;  // the pixels were the segment
        XDestroyImage(slot->image);
    }
}

std::unique_ptr<ShmImagePool::Slot> ShmImagePool::newSlot()
{
    auto slot = std::make_unique<Slot>();
    slot->image = XShmCreateImage(display_, visual_, depth_, ZPixmap, nullptr, &slot->segment,
                                  width_, height_);
    if (!slot->image) return nullptr;
    size_t bytes = static_cast<size_t>(slot->image->bytes_per_line) * height_;
    slot->segment.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (slot->segment.shmid < 0) {
        XDestroyImage(slot->image);
        return nullptr;
    }
    void* address = shmat(slot->segment.shmid, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(slot->segment.shmid, IPC_RMID, nullptr);
        XDestroyImage(slot->image);
        return nullptr;
    }
    slot->segment.shmaddr = slot->image->data = static_cast<char*>(address);
    slot->segment.readOnly = False;
    bool attached = false;
    {
        ErrorTrap trap(display_);
        attached = XShmAttach(display_, &slot->segment) && !trap.failed();
    }
    // Marked for removal now, so the segment goes with its last attachment.
    shmctl(slot->segment.shmid, IPC_RMID, nullptr);
    if (!attached) {
        shmdt(address);
        slot->image->data = nullptr;
        XDestroyImage(slot->image);
        return nullptr;
    }
    return slot;
}

XImage* ShmImagePool::acquire()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (detached_) return nullptr;
        for (auto& slot : slots_)
            if (!slot->busy) {
                slot->busy = true;
                return slot->image;
            }
        if (slots_.size() >= maxImages_) return nullptr;
    }
    // A new image costs a round trip to the server (the attach is checked): done
    // without the lock, so the consumers' releases never wait on the server. Only
    // the capture thread acquires, so nobody else adds a slot meanwhile.
    std::unique_ptr<Slot> slot = newSlot();
    if (!slot) return nullptr;
    slot->busy = true;
    std::lock_guard<std::mutex> lock(mutex_);
    slots_.push_back(std::move(slot));
    return slots_.back()->image;
}

ShmImagePool::Slot* ShmImagePool::slotOf(XImage* image)
{
    for (auto& slot : slots_)
        if (slot->image == image) return slot.get();
    return nullptr;
}

std::shared_ptr<uint8_t> ShmImagePool::publish(XImage* image)
{
    std::shared_ptr<ShmImagePool> self = shared_from_this();
    return std::shared_ptr<uint8_t>(reinterpret_cast<uint8_t*>(image->data),
                                    [self, image](uint8_t*) { self->release(image); });
}

void ShmImagePool::release(XImage* image)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (Slot* slot = slotOf(image)) slot->busy = false;
}

void ShmImagePool::detachAll()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (detached_) return;
    detached_ = true;
    for (auto& slot : slots_) XShmDetach(display_, &slot->segment);
    XSync(display_, False);
}

}  // namespace ScreenCaptureLib
