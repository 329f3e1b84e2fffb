// Byte FIFO between the audio capture's thread (writes) and the pipeline's audio
// loop (reads one AAC frame at a time). Fixed capacity: when full, the newest
// bytes are dropped. Unread bytes are kept at the start of the storage.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class AudioBuffer {
public:
    explicit AudioBuffer(int capacityBytes);

    // Stores as many of `bytes` as fit; returns how many were stored.
    uint32_t write(const uint8_t* data, uint32_t bytes);
    // Copies exactly `bytes` or nothing; returns true when copied.
    bool read(uint8_t* destination, uint32_t bytes);
    void clear();

    uint32_t unreadBytes() const;
    uint32_t readPosition() const;
    uint32_t writePosition() const;
    int capacity() const { return capacity_; }

private:
    void compact();  // caller holds mutex_

    mutable std::mutex mutex_;
    const int capacity_;
    std::shared_ptr<std::vector<char>> storage_;
    uint32_t readPos_ = 0;
    uint32_t writePos_ = 0;
};
