// Plays one cast in the receiver's window and on the sound server: the Cast hands
// over each frame as it arrives; pictures and sound are decoded on their own
// threads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vantor::receiver {

class LiveAudioPlayer;
class LiveVideoPlayer;
class Player;
class PresentLatency;
class StreamClock;

class CastPlayback {
public:
    ~CastPlayback();  // ends the cast if end() was not called
    CastPlayback(const CastPlayback&) = delete;
    CastPlayback& operator=(const CastPlayback&) = delete;

    void addVideo(std::vector<uint8_t> annexB, uint32_t timestampMs, int64_t receivedNs);
    void addAudio(std::vector<uint8_t> adts, uint32_t timestampMs);
    // Stops decoding; the window shows that the cast ended (failed: with an error).
    void end(bool failed);

    // Median receive-to-present time in ms since the last call; -1 when nothing was shown.
    double takeReceiveToPresentMedianMs();
    uint64_t presentedFrames() const;
    uint64_t droppedFrames() const;
    uint64_t soundPlayed() const;
    uint64_t soundDroppedLate() const;

private:
    friend class Player;
    CastPlayback(Player* player, std::string sender, int castNumber,
                 std::shared_ptr<PresentLatency> latency, std::shared_ptr<StreamClock> clock);

    Player* player_;
    std::string sender_;
    std::shared_ptr<PresentLatency> latency_;
    std::shared_ptr<StreamClock> clock_;
    std::unique_ptr<LiveVideoPlayer> video_;
    std::unique_ptr<LiveAudioPlayer> audio_;
    uint64_t soundPlayed_ = 0, soundDroppedLate_ = 0;
    bool ended_ = false;
};

}  // namespace vantor::receiver
