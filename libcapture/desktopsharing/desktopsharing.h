// The process-wide engine that turns the frame source and the audio capture into
// timed H.264 and AAC packets handed to one callback. Two loops: the video loop
// paces capture and encoding at the frame rate, the audio loop encodes one AAC
// frame whenever enough audio is buffered.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "libcapture/desktopsharing/capture.h"
#include "libcapture/desktopsharing/devicefactory.h"
#include "libcapture/desktopsharing/framesource.h"
#include "libcapture/desktopsharing/screencapture/windowrecord.h"
#include "libcapture/desktopsharing/videostagetimes.h"

class DuplicationPath;

class DesktopSharing {
public:
    static DesktopSharing& instance();

    // Devices used by the next init.
    void selectSources(VideoSourceKind video, AudioSourceKind audio);

    bool init(const CaptureConfig& config, PacketCallback callback, void* context, int captureMode,
              WindowRecord target);
    void start();
    void stop();
    // The next video packet is a key frame with its parameter sets (a receiver
    // joined the running cast).
    void requestKeyFrame();
    void exit();

    bool isInitialized() const;
    // Why the latest init failed (its log line); empty after a successful one.
    std::string lastInitError() const;
    bool isRunning() const { return running_; }
    int outputWidth() const;
    int outputHeight() const;
    bool hasAudio() const;
    // The frame source of the current cast (empty when idle); front ends and
    // tests reach the test picture through it.
    std::shared_ptr<FrameSource> frameSource() const;
    // Channels and sample rate of the audio stream: the audio capture's, or 2 and
    // 48000 when casting without audio; zeros before anything was initialised.
    void audioInfo(int& channels, int& sampleRate) const;

    // Milliseconds each video frame spent in the encoder since the last init
    // (the latest kEncodeTimeSamples at most).
    std::vector<double> encodeTimesMs() const;
    static constexpr size_t kEncodeTimeSamples = 100000;
    // Where the video frames' time went since the last init (the software encoder's
    // path); readable from any thread.
    const VideoStageTimes& videoStageTimes() const { return stageTimes_; }

    // A block whose first and last 128 bytes all are 0x00, 0x01 or 0xFF.
    static bool isSilentBlock(const uint8_t* block, size_t bytes);

    void pushVideo();
    void pushAudio();

private:
    DesktopSharing();
    ~DesktopSharing();
    uint32_t millisecondsSinceStart() const;
    void stopLocked();
    bool failInit(const char* reason);
    void recordEncodeTime(double ms);

    void* callbackContext_ = nullptr;
    PacketCallback callback_ = nullptr;
    bool initialized_ = false;
    std::atomic<bool> running_{false};
    struct {
        int32_t bitRate = 0, frameRate = 0, gop = 0, width = 0, height = 0;
    } requested_;
    std::string codec_ = "h264";
    int32_t channels_ = 2;
    int32_t sampleRate_ = 48000;
    int32_t audioBitRate_ = 64000;
    int32_t videoWidth_ = 1920;
    int32_t videoHeight_ = 1080;
    int32_t videoBitRate_ = 4000000;
    int32_t videoFrameRate_ = 25;
    int32_t videoGop_ = 25;
    // init, start, stop and exit one at a time. They may wait seconds for the
    // sound server or for the loops to end, so the queries never take this one.
    std::mutex lifecycleMutex_;
    // Guards what the queries read (initialized_, the output size, the audio
    // format, the frame source, initError_): held only for a moment; those fields
    // are written under lifecycleMutex_ as well.
    mutable std::mutex stateMutex_;
    std::string initError_;
    std::shared_ptr<std::thread> videoThread_;
    std::shared_ptr<std::thread> audioThread_;
    // The desktop-duplication path for codec texts other than "h264" (null
    // where the platform has none), for the life of the process.
    std::unique_ptr<DuplicationPath> duplication_;
    bool useDuplication_ = false;  // this cast takes it
    std::shared_ptr<FrameSource> mixCapture_;
    bool useMixCapture_ = false;
    uint32_t lastVideoTimestamp_ = 0;

    VideoSourceKind videoKind_ = VideoSourceKind::Screen;
    AudioSourceKind audioKind_ = AudioSourceKind::System;
    bool audioEnabled_ = false;  // audio capture initialised for this cast
    bool everInitialized_ = false;
    std::atomic<int64_t> startTimeNs_{0};

    mutable std::mutex encodeTimesMutex_;
    std::deque<double> encodeTimesMs_;
    VideoStageTimes stageTimes_;
};
