#include "tools/vantor-receiver/player/castplayback.h"

#include "tools/vantor-receiver/player/liveaudioplayer.h"
#include "tools/vantor-receiver/player/livevideoplayer.h"
#include "tools/vantor-receiver/player/player.h"
#include "tools/vantor-receiver/player/presentlatency.h"
#include "tools/vantor-receiver/player/streamclock.h"

namespace vantor::receiver {

CastPlayback::CastPlayback(Player* player, std::string sender, int castNumber,
                           std::shared_ptr<PresentLatency> latency,
                           std::shared_ptr<StreamClock> clock)
    : player_(player),
      sender_(std::move(sender)),
      latency_(std::move(latency)),
      clock_(std::move(clock)),
      video_(std::make_unique<LiveVideoPlayer>(player->window_.get(), castNumber)),
      audio_(std::make_unique<LiveAudioPlayer>(clock_.get()))
{
    video_->start();
    audio_->start();
}

CastPlayback::~CastPlayback() { end(false); }

void CastPlayback::addVideo(std::vector<uint8_t> annexB, uint32_t timestampMs, int64_t receivedNs)
{
    if (video_) video_->push(std::move(annexB), timestampMs, receivedNs);
}

void CastPlayback::addAudio(std::vector<uint8_t> adts, uint32_t timestampMs)
{
    if (audio_) audio_->push(std::move(adts), timestampMs);
}

void CastPlayback::end(bool failed)
{
    if (ended_) return;
    ended_ = true;
    video_.reset();
    soundPlayed_ = audio_->played();
    soundDroppedLate_ = audio_->droppedLate();
    audio_.reset();
    player_->castEnded(sender_, failed);
}

double CastPlayback::takeReceiveToPresentMedianMs() { return latency_->takeMedianMs(); }
uint64_t CastPlayback::presentedFrames() const { return latency_->presented(); }
uint64_t CastPlayback::droppedFrames() const { return latency_->dropped(); }
uint64_t CastPlayback::soundPlayed() const { return audio_ ? audio_->played() : soundPlayed_; }
uint64_t CastPlayback::soundDroppedLate() const
{
    return audio_ ? audio_->droppedLate() : soundDroppedLate_;
}

}  // namespace vantor::receiver
