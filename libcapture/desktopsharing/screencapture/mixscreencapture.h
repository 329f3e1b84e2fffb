// The pipeline's screen source: the first or last monitor, or one program
// window, captured by our capture library; the latest frame is kept for the
// video loop to collect.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "libcapture/desktopsharing/framesource.h"
#include "libcapture/desktopsharing/screencapture/windowrecord.h"

namespace ScreenCaptureLib {
class CaptureManager;
struct Frame;
}  // namespace ScreenCaptureLib

class MixScreenCapture : public FrameSource {
public:
    MixScreenCapture();
    ~MixScreenCapture() override;

    int init(int unused, int captureMode, WindowRecord target) override;
    int start() override;
    int stop() override;
    int exit() override;
    bool isStarted() const override;

    int frameWidth() const override;
    int frameHeight() const override;
    bool sourceSize(int& width, int& height) const override;
    // Only the video loop's thread calls these two.
    void prepareFrame(std::chrono::steady_clock::time_point at) override;
    void awaitPreparedFrame(std::chrono::steady_clock::time_point deadline) override;
    using FrameSource::getFrame;
    int getFrame(std::shared_ptr<uint8_t>& frame, int& size, int& width, int& height,
                 int64_t& capturedNs) override;

    // How often the capture manager built its threads (rebuilds included).
    int captureBuilds() const;
    // How often the capture threads have looked for a change (0 before start).
    uint64_t capturePasses() const;
    // How many pictures they grabbed and handed over (0 before start).
    uint64_t captureGrabs() const;

private:
    void onFrame(const ScreenCaptureLib::Frame& frame);

    WindowRecord target_;
    bool initialized_ = false;
    std::atomic<bool> started_{false};
    mutable std::mutex frameMutex_;
    std::shared_ptr<uint8_t> frameBuffer_;
    uint32_t frameSize_ = 0;
    int32_t captureMode_ = 0;
    int32_t frameWidth_ = 0;
    int32_t frameHeight_ = 0;
    int64_t frameCapturedNs_ = 0;
    std::shared_ptr<ScreenCaptureLib::CaptureManager> manager_;
    uint64_t preparedLook_ = 0;  // the video loop's latest ask
};
