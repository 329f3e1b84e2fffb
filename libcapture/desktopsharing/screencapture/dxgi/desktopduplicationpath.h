// The desktop-duplication path on Windows: DXGIScreenCapture of the first
// output of adapter 0, encoded by NVENC (the capture's shared texture, or the
// CPU frame uploaded) or by the software H264Encoder.
#pragma once

#include <memory>
#include <vector>

#include "libcapture/desktopsharing/duplicationpath.h"
#include "libcapture/desktopsharing/screencapture/dxgi/dxgiscreencapture.h"

class DesktopDuplicationPath : public DuplicationPath {
public:
    DesktopDuplicationPath() = default;
    ~DesktopDuplicationPath() override;

    bool initCapture() override;
    int captureWidth() const override { return capture_.width(); }
    int captureHeight() const override { return capture_.height(); }
    void setUpEncoder(const std::string& codec, int width, int height, int frameRate, int bitRate,
                      int gop) override;
    bool usesHardwareEncoder() const override { return nvencHandle_ != nullptr; }

    bool start() override;
    bool isStarted() const override { return capture_.isStarted(); }
    void stop() override;
    void exit() override;

    void encodeFrame(PacketCallback callback, void* context, uint32_t timestamp) override;

    DXGIScreenCapture& capture() { return capture_; }

private:
    int encodeWithNvenc();
    int uploadAndEncode();  // the CPU frame through the handle's upload texture

    DXGIScreenCapture capture_;
    void* nvencHandle_ = nullptr;
    // Room for one 1920 x 1080 BGRA picture, more than any encoded frame:
    // from start to exit (the video loop has been joined by then).
    std::vector<uint8_t> output_;
    std::shared_ptr<uint8_t> frame_;
};
