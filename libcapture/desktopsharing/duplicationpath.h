// The pipeline's second frame source, taken for codec texts other than "h264":
// desktop duplication of the first output with hardware encoding through NVENC
// for "h264_nvenc" (the software H.264 encoder otherwise). Only Windows has one
// (createDuplicationPath in devicefactory.h); elsewhere every codec takes the
// frame-source path.
#pragma once

#include <cstdint>
#include <string>

#include "libcapture/desktopsharing/capture.h"

class DuplicationPath {
public:
    virtual ~DuplicationPath() = default;

    // The capture, set up once for the life of the process; false means
    // "DXGIScreenCapture init err".
    virtual bool initCapture() = 0;
    virtual int captureWidth() const = 0;  // after initCapture
    virtual int captureHeight() const = 0;
    // NVENC for "h264_nvenc" where the machine has it; any failure leaves the
    // software encoder in charge, which the pipeline then opens itself.
    virtual void setUpEncoder(const std::string& codec, int width, int height, int frameRate,
                              int bitRate, int gop) = 0;
    virtual bool usesHardwareEncoder() const = 0;

    virtual bool start() = 0;  // true when the capture runs
    virtual bool isStarted() const = 0;
    virtual void stop() = 0;
    virtual void exit() = 0;  // releases the hardware encoder

    // One pass of the video loop, on its thread: encodes the current frame
    // and hands the packet to the callback (video, codec tag 2, timestamp).
    virtual void encodeFrame(PacketCallback callback, void* context, uint32_t timestamp) = 0;
};
