#include "tools/vantor-receiver/player/player.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <cstdio>
#include <cstdlib>

#include "tools/vantor-receiver/player/castplayback.h"
#include "tools/vantor-receiver/player/presentlatency.h"
#include "tools/vantor-receiver/player/streamclock.h"

namespace vantor::receiver {

namespace {
// How long the title says that the cast ended, with its last picture still shown,
// before the window waits for the next one.
constexpr int kEndedShownMs = 3000;

bool haveDisplay()
{
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return true;
    }
    return false;
}
}  // namespace

Player::Player(PlayerSettings settings, std::function<void()> closeRequested)
    : settings_(std::move(settings)), closeRequested_(std::move(closeRequested))
{
    backToWaiting_.setSingleShot(true);
    backToWaiting_.setInterval(kEndedShownMs);
    QObject::connect(&backToWaiting_, &QTimer::timeout, [this] {
        window_->clear();
        setState(PlayState::Waiting, {});
    });
}

Player::~Player()
{
    window_.reset();  // joins the window thread before anything it uses goes
}

bool Player::open(std::string* error)
{
    if (!haveDisplay()) {
        *error = "--play needs a display to show the picture on, and DISPLAY is not set";
        return false;
    }
    if (!settings_.latencyLogPath.empty() && !latencyLog_.open(settings_.latencyLogPath, error)) {
        *error = "cannot write the latency log " + *error;
        return false;
    }
    window_ = std::make_unique<PlayerWindow>(
        [this](const FrameTiming& timing) { frameDone(timing); },
        [this] {
            QMetaObject::invokeMethod(QCoreApplication::instance(), closeRequested_,
                                      Qt::QueuedConnection);
        });
    const std::string title =
        windowTitle(settings_.receiverName, settings_.code, PlayState::Waiting, {});
    if (!window_->open(title, settings_.fullscreen, error)) {
        window_.reset();
        *error = "--play: " + *error;
        return false;
    }
    return true;
}

std::unique_ptr<CastPlayback> Player::startCast(const std::string& sender)
{
    backToWaiting_.stop();
    auto latency = std::make_shared<PresentLatency>();
    auto clock = std::make_shared<StreamClock>();
    {
        std::lock_guard<std::mutex> lock(currentMutex_);
        currentCast_ = ++castCount_;
        currentLatency_ = latency;
        currentClock_ = clock;
    }
    setState(PlayState::Casting, sender);
    return std::unique_ptr<CastPlayback>(
        new CastPlayback(this, sender, castCount_, std::move(latency), std::move(clock)));
}

void Player::castEnded(const std::string& sender, bool failed)
{
    setState(failed ? PlayState::Failed : PlayState::Ended, sender);
    backToWaiting_.start();
}

void Player::frameDone(const FrameTiming& timing)
{
    latencyLog_.write(timing);
    std::shared_ptr<PresentLatency> latency;
    std::shared_ptr<StreamClock> clock;
    {
        std::lock_guard<std::mutex> lock(currentMutex_);
        if (timing.castNumber != currentCast_) return;
        latency = currentLatency_;
        clock = currentClock_;
    }
    latency->add(timing);
    if (timing.presentedNs > 0) clock->notePresented(timing.timestamp, timing.presentedNs);
}

void Player::setState(PlayState state, const std::string& sender)
{
    const std::string title = windowTitle(settings_.receiverName, settings_.code, state, sender);
    window_->setTitle(title);
    std::fprintf(stderr, "window: %s\n", title.c_str());
}

}  // namespace vantor::receiver
