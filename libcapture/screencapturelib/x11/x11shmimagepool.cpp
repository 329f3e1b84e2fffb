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
    std::shared_ptr<ShmImagePool> pool(new ShmImagePool(display, visual, depth, width, height));
    for (size_t i = 0; i < maxImages; ++i) {
        std::unique_ptr<Slot> slot = pool->newSlot();
        if (!slot) break;  // out of shared memory: fewer images still work
        pool->idle_.push_back(slot->image);
        pool->slots_.push_back(std::move(slot));
    }
    if (pool->slots_.empty()) return nullptr;
    return pool;
}

ShmImagePool::ShmImagePool(Display* display, Visual* visual, int depth, int width, int height)
    : display_(display), visual_(visual), depth_(depth), width_(width), height_(height)
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
    std::lock_guard<std::mutex> lock(mutex_);
    if (detached_ || idle_.empty()) return nullptr;
    XImage* image = idle_.front();
    idle_.pop_front();
    return image;
}

size_t ShmImagePool::imageCount() const { return slots_.size(); }

bool ShmImagePool::owns(XImage* image) const
{
    for (const auto& slot : slots_)
        if (slot->image == image) return true;
    return false;
}

std::shared_ptr<uint8_t> ShmImagePool::publish(XImage* image)
{
    std::shared_ptr<ShmImagePool> self = shared_from_this();
    return std::shared_ptr<uint8_t>(reinterpret_cast<uint8_t*>(image->data),
                                    [self, image](uint8_t*) { self->release(image); });
}

void ShmImagePool::release(XImage* image)
{
    if (!owns(image)) return;
    std::lock_guard<std::mutex> lock(mutex_);
    // Once only: an image listed twice would be handed to two frames at once.
    for (XImage* idle : idle_)
        if (idle == image) return;
    idle_.push_back(image);
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
