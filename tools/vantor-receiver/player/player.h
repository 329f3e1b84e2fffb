// --play: the window that lives as long as the receiver, the optional latency log,
// and one CastPlayback per cast that feeds them. Used on the main thread.
#pragma once

#include <QTimer>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "tools/vantor-receiver/player/latencylog.h"
#include "tools/vantor-receiver/player/playerwindow.h"
#include "tools/vantor-receiver/player/windowtitle.h"

namespace vantor::receiver {

class CastPlayback;
class PresentLatency;
class StreamClock;

struct PlayerSettings {
    std::string receiverName;
    std::string code;
    bool fullscreen = false;
    std::string latencyLogPath;  // empty: none
};

class Player {
public:
    // closeRequested runs on the main thread when the person closes the window.
    Player(PlayerSettings settings, std::function<void()> closeRequested);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Opens the window (and the latency log). False with the reason in *error.
    bool open(std::string* error);
    // sender: "host (address)" or the address.
    std::unique_ptr<CastPlayback> startCast(const std::string& sender);

private:
    friend class CastPlayback;
    void castEnded(const std::string& sender, bool failed);
    void frameDone(const FrameTiming& timing);  // window thread
    void setState(PlayState state, const std::string& sender);

    PlayerSettings settings_;
    std::function<void()> closeRequested_;
    LatencyLog latencyLog_;
    QTimer backToWaiting_;
    int castCount_ = 0;

    std::mutex currentMutex_;  // the cast the window's pictures belong to
    int currentCast_ = 0;
    std::shared_ptr<PresentLatency> currentLatency_;
    std::shared_ptr<StreamClock> currentClock_;

    // Last: its thread calls frameDone, so it goes first.
    std::unique_ptr<PlayerWindow> window_;
};

}  // namespace vantor::receiver
