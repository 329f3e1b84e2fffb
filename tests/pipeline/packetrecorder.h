// Records what the pipeline hands to its packet callback, from both loops.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

struct RecordedPacket {
    int mediaType = 0;
    std::vector<uint8_t> data;
    int codecTag = 0;
    uint32_t timestamp = 0;
};

class PacketRecorder {
public:
    static int callback(void* context, int mediaType, uint8_t* data, int size, int codecTag,
                        uint32_t timestamp)
    {
        auto* self = static_cast<PacketRecorder*>(context);
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->packets_.push_back(
            {mediaType, std::vector<uint8_t>(data, data + size), codecTag, timestamp});
        return 0;
    }

    std::vector<RecordedPacket> packets(int mediaType) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<RecordedPacket> selected;
        for (const RecordedPacket& packet : packets_)
            if (packet.mediaType == mediaType) selected.push_back(packet);
        return selected;
    }

    size_t count() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return packets_.size();
    }

    size_t count(int mediaType) const { return timestamps(mediaType).size(); }

    // The timestamps of one medium, in the order the packets came.
    std::vector<int64_t> timestamps(int mediaType) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<int64_t> selected;
        for (const RecordedPacket& packet : packets_)
            if (packet.mediaType == mediaType) selected.push_back(packet.timestamp);
        return selected;
    }

private:
    mutable std::mutex mutex_;
    std::vector<RecordedPacket> packets_;
};
