#include "libcapture/desktopsharing/capture.h"

#include <mutex>

#include "Comm/logging.h"
#include "libcapture/desktopsharing/desktopsharing.h"

namespace {

// The setters run on the session's thread, init on the thread that runs the
// pipeline's set-up: the lock hands the record over whole.
std::mutex configMutex;
CaptureConfig captureConfig;
VideoSourceKind videoSource = VideoSourceKind::Screen;
AudioSourceKind audioSource = AudioSourceKind::System;

}  // namespace

namespace Capture {

int init(PacketCallback callback, void* context, int32_t captureMode, WindowRecord target)
{
    LOG(INFO) << "Capture::init " << captureMode;
    CaptureConfig config;
    VideoSourceKind video;
    AudioSourceKind audio;
    {
        std::lock_guard<std::mutex> lock(configMutex);
        config = captureConfig;
        video = videoSource;
        audio = audioSource;
    }
    DesktopSharing& sharing = DesktopSharing::instance();
    // A second init while a cast runs must leave it untouched, sources included.
    if (!sharing.isInitialized()) sharing.selectSources(video, audio);
    if (!sharing.init(config, callback, context, captureMode, target)) LOG(INFO) << " err \n ";
    return 0;
}

int start()
{
    LOG(INFO) << "Capture::start";
    DesktopSharing::instance().start();
    return 0;
}

int stop()
{
    LOG(INFO) << "Capture::stop";
    DesktopSharing::instance().stop();
    DesktopSharing::instance().exit();
    return 0;
}

int requestKeyFrame()
{
    LOG(INFO) << "Capture::requestKeyFrame";
    DesktopSharing::instance().requestKeyFrame();
    return 0;
}

int setBitrate(int32_t value)
{
    LOG(INFO) << "Capture::setBitrate " << value;
    uint32_t bitRate = static_cast<uint32_t>(value) << 20;
    if (bitRate < 1000000u || bitRate > 21000000u) bitRate = 6000000u;
    std::lock_guard<std::mutex> lock(configMutex);
    captureConfig.bitRate = static_cast<int32_t>(bitRate);
    return 0;
}

int setFps(int32_t value)
{
    LOG(INFO) << "Capture::setFps " << value;
    std::lock_guard<std::mutex> lock(configMutex);
    captureConfig.frameRate = (value < 10 || value > 60) ? 25 : value;
    return 0;
}

int setResolution(int32_t value)
{
    LOG(INFO) << "Capture::setResolution " << value;
    int32_t width = 0, height = 0;
    switch (value) {
        case 640:
            width = 640, height = 480;
            break;
        case 1280:
            width = 1280, height = 720;
            break;
        case 1920:
            width = 1920, height = 1080;
            break;
        case 3840:
            width = 3840, height = 2160;
            break;
        default:
            break;  // the pipeline takes the frame source's size
    }
    std::lock_guard<std::mutex> lock(configMutex);
    captureConfig.width = width;
    captureConfig.height = height;
    return 0;
}

int getAudioInfo(int32_t& channels, int32_t& sampleRate, int32_t& reserved1, int32_t& reserved2)
{
    LOG(INFO) << "Capture::getAudioInfo";
    int c = 0, r = 0;
    DesktopSharing::instance().audioInfo(c, r);
    channels = c;
    sampleRate = r;
    reserved1 = 0;
    reserved2 = 0;
    return 0;
}

int setVideoSource(VideoSourceKind kind)
{
    LOG(INFO) << "Capture::setVideoSource " << videoSourceKindName(kind);
    std::lock_guard<std::mutex> lock(configMutex);
    videoSource = kind;
    return 0;
}

int setAudioSource(AudioSourceKind kind)
{
    LOG(INFO) << "Capture::setAudioSource " << audioSourceKindName(kind);
    std::lock_guard<std::mutex> lock(configMutex);
    audioSource = kind;
    return 0;
}

CaptureConfig config()
{
    std::lock_guard<std::mutex> lock(configMutex);
    return captureConfig;
}

}  // namespace Capture
