#include "libcapture/framepool/framepool.h"

std::shared_ptr<FramePool> FramePool::create(size_t maxIdle)
{
    return std::shared_ptr<FramePool>(new FramePool(maxIdle));
}

FramePool::~FramePool()
{
    for (const Idle& buffer : idle_) delete[] buffer.data;
}

std::shared_ptr<uint8_t> FramePool::acquire(size_t bytes)
{
    uint8_t* data = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        while (!idle_.empty()) {
            Idle buffer = idle_.back();
            idle_.pop_back();
            if (buffer.bytes == bytes) {
                data = buffer.data;
                break;
            }
            delete[] buffer.data;
        }
        if (!data) ++allocations_;
    }
    if (!data) data = new uint8_t[bytes > 0 ? bytes : 1];

    // The deleter holds the pool only weakly: buffers outliving the pool are freed.
    std::weak_ptr<FramePool> weakPool = shared_from_this();
    return std::shared_ptr<uint8_t>(data, [weakPool, bytes](uint8_t* p) {
        if (auto pool = weakPool.lock())
            pool->giveBack(p, bytes);
        else
            delete[] p;
    });
}

void FramePool::giveBack(uint8_t* buffer, size_t bytes)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (idle_.size() < maxIdle_) {
            idle_.push_back({buffer, bytes});
            return;
        }
    }
    delete[] buffer;
}

size_t FramePool::idleCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return idle_.size();
}

size_t FramePool::allocations() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return allocations_;
}
