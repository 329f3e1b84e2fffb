// What every Sender of one session shares with it: the lock around all queues,
// the condition the producers signal after each packet, and how to learn the
// audio format for the audio stream header.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "Comm/stagetimes.h"

struct Packet;

struct SendContext {
    std::mutex mutex;
    std::condition_variable packetsReady;
    // channels, sample rate, and two values that go into the reserved fields.
    std::function<void(int&, int&, int&, int&)> audioInfo;
    // Test and benchmark aid: called in a Sender's thread after the last byte of a
    // packet went out (media type 0 video, 1 audio).
    std::function<void(int mediaType, const Packet&)> onPacketWritten;
    // Every written video packet of every Sender: how long it waited in its
    // receiver's queue until the Sender took it, and how long its write took.
    StageTimes videoQueueing;
    StageTimes videoSocketWrite;
};
