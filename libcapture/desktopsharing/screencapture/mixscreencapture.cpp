#include "libcapture/desktopsharing/screencapture/mixscreencapture.h"

#include <chrono>

#include "Comm/logging.h"
#include "libcapture/desktopsharing/screencapture/windowenumeration.h"
#include "libcapture/screencapturelib/screencapturelib.h"

using ScreenCaptureLib::CaptureManager;
using ScreenCaptureLib::Monitor;

namespace {

constexpr int kWindowMode = 2;
// Until the video loop asks for its frames (prepareFrame), and for anyone who
// never does, the library may deliver up to 100 frames a second.
constexpr std::chrono::microseconds kFrameChangeInterval(10000);

// Mode 0 is the first monitor; 1 and anything else the last one.
int selectedIndex(int captureMode, size_t count)
{
    return captureMode == 0 ? 0 : static_cast<int>(count) - 1;
}

}  // namespace

MixScreenCapture::MixScreenCapture() = default;

MixScreenCapture::~MixScreenCapture()
{
    manager_.reset();  // joins the capture threads, which call back into us
}

int MixScreenCapture::init(int, int captureMode, WindowRecord target)
{
    LOG(INFO) << "MixScreenCapture::init";
    if (!initialized_) {
        captureMode_ = captureMode;
        target_ = target;
        initialized_ = true;
    }
    return 0;
}

int MixScreenCapture::start()
{
    LOG(INFO) << "MixScreenCapture::start";
    if (!initialized_) return -1;
    if (started_) {
        if (manager_) manager_->resume();
        return 0;
    }

    auto onFrame = [this](const ScreenCaptureLib::Frame& frame) { this->onFrame(frame); };
    manager_.reset();  // the previous configuration's threads end first
    if (captureMode_ == kWindowMode) {
        const uintptr_t handle = target_.handle;
        manager_ = std::make_shared<CaptureManager>(
            [handle] {
                std::vector<WindowRecord> windows;
                for (const WindowRecord& record : findWindow(handle))
                    if (record.handle == handle) windows.push_back(record);
                return windows;
            },
            onFrame);
    } else {
        const int mode = captureMode_;
        manager_ = std::make_shared<CaptureManager>(
            [mode] {
                std::vector<Monitor> monitors = ScreenCaptureLib::getMonitors();
                if (!monitors.empty())
                    monitors[selectedIndex(mode, monitors.size())].selected = true;
                return monitors;
            },
            onFrame);
    }
    manager_->setFrameChangeInterval(kFrameChangeInterval);
    manager_->start();
    started_ = true;
    return 0;
}

int MixScreenCapture::stop()
{
    LOG(INFO) << "MixScreenCapture::stop";
    if (manager_) manager_->pause();
    return 0;
}

int MixScreenCapture::exit()
{
    LOG(INFO) << "MixScreenCapture::exit";
    initialized_ = false;
    started_ = false;
    return 0;
}

bool MixScreenCapture::isStarted() const { return started_; }

int MixScreenCapture::frameWidth() const
{
    std::lock_guard<std::mutex> lock(frameMutex_);
    return frameWidth_;
}

int MixScreenCapture::frameHeight() const
{
    std::lock_guard<std::mutex> lock(frameMutex_);
    return frameHeight_;
}

bool MixScreenCapture::sourceSize(int& width, int& height) const
{
    if (captureMode_ == kWindowMode) {
        std::vector<WindowRecord> windows = findWindow(target_.handle);
        if (windows.empty()) return false;
        width = windows.front().width;
        height = windows.front().height;
        return true;
    }
    std::vector<Monitor> monitors = ScreenCaptureLib::getMonitors();
    if (monitors.empty()) return false;
    const Monitor& monitor = monitors[selectedIndex(captureMode_, monitors.size())];
    width = monitor.width;
    height = monitor.height;
    return true;
}

void MixScreenCapture::prepareFrame(std::chrono::steady_clock::time_point at)
{
    // The manager is made by start, before the video loop runs, and stays until
    // we are destroyed after it.
    if (manager_) preparedLook_ = manager_->lookBy(at);
}

void MixScreenCapture::awaitPreparedFrame(std::chrono::steady_clock::time_point deadline)
{
    if (manager_ && preparedLook_ != 0) manager_->awaitLook(preparedLook_, deadline);
}

int MixScreenCapture::getFrame(std::shared_ptr<uint8_t>& frame, int& size, int& width, int& height,
                               int64_t& capturedNs)
{
    std::lock_guard<std::mutex> lock(frameMutex_);
    if (!started_ || !frameBuffer_ || frameSize_ == 0 || frameBuffer_ == frame) return -1;
    frame = frameBuffer_;
    size = static_cast<int>(frameSize_);
    width = frameWidth_;
    height = frameHeight_;
    capturedNs = frameCapturedNs_;
    return 0;
}

int MixScreenCapture::captureBuilds() const { return manager_ ? manager_->builds() : 0; }

uint64_t MixScreenCapture::capturePasses() const { return manager_ ? manager_->passes() : 0; }

uint64_t MixScreenCapture::captureGrabs() const { return manager_ ? manager_->grabs() : 0; }

void MixScreenCapture::onFrame(const ScreenCaptureLib::Frame& frame)
{
    // The library hands us a pooled buffer that nobody writes again while it is
    // held, so publishing it is a reference hand-over, not a copy.
    std::lock_guard<std::mutex> lock(frameMutex_);
    frameBuffer_ = frame.data;
    frameWidth_ = frame.width;
    frameHeight_ = frame.height;
    frameSize_ = static_cast<uint32_t>(frame.width) * frame.height * 4;
    // Where the library cannot tell, the hand-over is the nearest we know.
    frameCapturedNs_ = frame.capturedNs != 0
                           ? frame.capturedNs
                           : std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count();
}
