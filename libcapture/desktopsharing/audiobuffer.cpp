#include "libcapture/desktopsharing/audiobuffer.h"

#include <algorithm>
#include <cstring>

AudioBuffer::AudioBuffer(int capacityBytes)
    : capacity_(std::max(0, capacityBytes)),
      storage_(std::make_shared<std::vector<char>>(static_cast<size_t>(capacity_), 0))
{
}

uint32_t AudioBuffer::write(const uint8_t* data, uint32_t bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    uint32_t room = static_cast<uint32_t>(capacity_) - writePos_;
    uint32_t n = std::min(room, bytes);
    if (n > 0) {
        std::memcpy(storage_->data() + writePos_, data, n);
        writePos_ += n;
    }
    compact();
    return n;
}

bool AudioBuffer::read(uint8_t* destination, uint32_t bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (writePos_ - readPos_ < bytes) return false;
    std::memcpy(destination, storage_->data() + readPos_, bytes);
    readPos_ += bytes;
    if (readPos_ == writePos_) readPos_ = writePos_ = 0;
    compact();
    return true;
}

void AudioBuffer::clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    readPos_ = writePos_ = 0;
}

uint32_t AudioBuffer::unreadBytes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return writePos_ - readPos_;
}

uint32_t AudioBuffer::readPosition() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return readPos_;
}

uint32_t AudioBuffer::writePosition() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return writePos_;
}

void AudioBuffer::compact()
{
    if (readPos_ == 0 || writePos_ == 0) return;
    // Only the unread bytes move (normally less than one AAC frame); the storage
    // keeps its size, so the steady state never allocates.
    std::memmove(storage_->data(), storage_->data() + readPos_, writePos_ - readPos_);
    writePos_ -= readPos_;
    readPos_ = 0;
}
