// Recycles frame buffers. A fresh multi-megabyte allocation costs milliseconds of
// page faults per frame; a pooled buffer comes back to the pool when its last
// holder drops it, so a published frame is still never written while held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class FramePool : public std::enable_shared_from_this<FramePool> {
public:
    // maxIdle: buffers kept for reuse; more than that are freed on return.
    static std::shared_ptr<FramePool> create(size_t maxIdle = 6);

    // A buffer of exactly `bytes` bytes (contents undefined). Buffers of another
    // size waiting in the pool are freed: a frame size change drains them.
    std::shared_ptr<uint8_t> acquire(size_t bytes);

    size_t idleCount() const;
    size_t allocations() const;  // buffers allocated so far (not reused)

private:
    explicit FramePool(size_t maxIdle) : maxIdle_(maxIdle) {}
    void giveBack(uint8_t* buffer, size_t bytes);

    struct Idle {
        uint8_t* data;
        size_t bytes;
    };
    mutable std::mutex mutex_;
    std::vector<Idle> idle_;
    size_t maxIdle_;
    size_t allocations_ = 0;

public:
    ~FramePool();
};
