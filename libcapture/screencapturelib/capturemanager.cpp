#include "Comm/logging.h"
#include "libcapture/screencapturelib/capturestate.h"

namespace ScreenCaptureLib {
namespace {

// After an expected error the screen or window is left alone this long before
// the threads are built again.
constexpr std::chrono::seconds kRebuildDelay(1);

template <typename Target, typename Body>
std::thread launch(const std::shared_ptr<CaptureState>& state, Target target, Body body)
{
    return std::thread([state, target, body] {
        ThreadEnd end = body(*state, target);
        if (end == ThreadEnd::ExpectedError) {
            LOG(INFO) << "Exiting Thread due to expected error";
            state->raiseExpectedError();
        } else if (end == ThreadEnd::DisplayLost) {
            LOG(INFO) << "Exiting Thread: display lost";
            state->raiseDisplayLost();
        } else if (end == ThreadEnd::UnexpectedError) {
            LOG(INFO) << "Exiting Thread due to Unexpected error";
        }
    });
}

}  // namespace

void logWindowCaptureMode(bool composite)
{
    static std::atomic<bool> logged{false};
    if (logged.exchange(true)) return;
    if (composite)
        LOG(INFO) << "Window capture through Composite: the window's own content is captured "
                     "even where other windows cover it";
    else
        LOG(INFO) << "No Composite extension: window capture takes the screen area, covering "
                     "windows show";
}

CaptureManager::CaptureManager(MonitorProvider monitors, FrameCallback onFrame)
    : monitorProvider_(std::move(monitors)), state_(std::make_shared<CaptureState>())
{
    state_->onFrame = std::move(onFrame);
}

CaptureManager::CaptureManager(WindowProvider windows, FrameCallback onFrame)
    : windowProvider_(std::move(windows)), state_(std::make_shared<CaptureState>())
{
    state_->onFrame = std::move(onFrame);
}

CaptureManager::~CaptureManager()
{
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->shutdown = true;
        state_->changed.notify_all();
    }
    if (supervisor_.joinable()) supervisor_.join();
}

void CaptureManager::start()
{
    if (!supervisor_.joinable()) supervisor_ = std::thread([this] { supervise(); });
}

void CaptureManager::pause()
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->paused = true;
}

void CaptureManager::resume()
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->paused = false;
    state_->changed.notify_all();
}

bool CaptureManager::isPaused() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->paused;
}

void CaptureManager::setFrameChangeInterval(std::chrono::microseconds interval)
{
    state_->intervalMicroseconds = interval.count();
}

uint64_t CaptureManager::lookBy(std::chrono::steady_clock::time_point by)
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    const uint64_t ask = ++state_->askSerial;
    state_->askedBy = by;
    state_->lastAskAt = std::chrono::steady_clock::now();
    state_->changed.notify_all();
    return ask;
}

bool CaptureManager::awaitLook(uint64_t ask, std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(state_->mutex);
    CaptureState& state = *state_;
    return state.changed.wait_until(lock, deadline, [&state, ask] {
        return state.answeredSerial >= ask || state.askServers == 0 || state.paused ||
               state.stopThreads || state.shutdown;
    });
}

int CaptureManager::builds() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->builds;
}

uint64_t CaptureManager::passes() const { return state_->passes.load(); }
uint64_t CaptureManager::grabs() const { return state_->grabs.load(); }
uint64_t CaptureManager::displayRequests() const { return state_->requests.load(); }

int CaptureManager::pausedThreads() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->pausedThreads;
}

bool CaptureManager::captureOver() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->over;
}

void CaptureManager::buildThreads()
{
    if (monitorProvider_) {
        for (const Monitor& monitor : monitorProvider_())
            if (monitor.selected) threads_.push_back(launch(state_, monitor, runMonitorCapture));
    } else if (windowProvider_) {
        for (const WindowRecord& window : windowProvider_())
            threads_.push_back(launch(state_, window, runWindowCapture));
    }
    std::lock_guard<std::mutex> lock(state_->mutex);
    ++state_->builds;
}

void CaptureManager::stopThreads()
{
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->stopThreads = true;
        state_->changed.notify_all();
    }
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->stopThreads = false;
    state_->expectedError = false;
}

void CaptureManager::supervise()
{
    for (;;) {
        buildThreads();
        {
            std::unique_lock<std::mutex> lock(state_->mutex);
            state_->changed.wait(lock, [this] {
                return state_->shutdown || state_->expectedError || state_->displayLost;
            });
        }
        stopThreads();
        if (displayLost()) {  // nothing to capture any more
            std::lock_guard<std::mutex> lock(state_->mutex);
            state_->over = true;
            return;
        }
        std::unique_lock<std::mutex> lock(state_->mutex);
        if (state_->changed.wait_for(lock, kRebuildDelay, [this] { return state_->shutdown; }))
            return;
    }
}

}  // namespace ScreenCaptureLib
