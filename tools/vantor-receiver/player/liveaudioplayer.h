// Plays one cast's sound: AAC frames are decoded and written to the sound server
// on a thread of their own, each at the moment its picture is on the screen. A
// frame that would be heard too late after its picture is dropped, so the
// picture never waits for the sound; one that comes early waits.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace vantor::receiver {

class StreamClock;
class PulseOutput;
struct DecodedSound;

class LiveAudioPlayer {
public:
    static constexpr int kBufferMs = 50;

    explicit LiveAudioPlayer(const StreamClock* clock);
    ~LiveAudioPlayer();  // drops what waits and stops at once
    LiveAudioPlayer(const LiveAudioPlayer&) = delete;
    LiveAudioPlayer& operator=(const LiveAudioPlayer&) = delete;

    void start();
    void push(std::vector<uint8_t> adts, uint32_t timestampMs);

    uint64_t played() const { return played_; }
    uint64_t droppedLate() const { return droppedLate_; }

private:
    struct Packet {
        std::vector<uint8_t> adts;
        uint32_t timestamp;
    };
    void run();
    // Waits until the sound of this timestamp is due; false when it is too late.
    bool waitForItsPicture(uint32_t timestampMs, const PulseOutput& output);
    bool sleepUnlessStopped(int64_t ns);

    const StreamClock* clock_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Packet> queue_;
    bool stopping_ = false;
    std::atomic<uint64_t> played_{0};
    std::atomic<uint64_t> droppedLate_{0};
};

}  // namespace vantor::receiver
