// Decodes one cast's video on a thread of its own and hands every picture to the
// window the moment it is decoded, so the connection is read on without waiting
// for the decoder. A decoder that falls far behind skips ahead to the next key
// frame instead of showing ever older pictures.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/vantor-receiver/player/frametiming.h"

namespace vantor::receiver {

class PlayerWindow;

class LiveVideoPlayer {
public:
    LiveVideoPlayer(PlayerWindow* window, int castNumber);
    ~LiveVideoPlayer();  // drops what waits and stops at once
    LiveVideoPlayer(const LiveVideoPlayer&) = delete;
    LiveVideoPlayer& operator=(const LiveVideoPlayer&) = delete;

    void start();
    void push(std::vector<uint8_t> annexB, uint32_t timestampMs, int64_t receivedNs);

private:
    struct Packet {
        std::vector<uint8_t> annexB;
        uint32_t timestamp;
        int64_t receivedNs;
    };
    void run();

    PlayerWindow* window_;
    const int castNumber_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Packet> queue_;
    bool stopping_ = false;
    bool skippingToKeyFrame_ = false;
};

}  // namespace vantor::receiver
