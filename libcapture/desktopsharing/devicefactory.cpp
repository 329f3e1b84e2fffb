#include "libcapture/desktopsharing/devicefactory.h"

#include "Comm/logging.h"
#include "libcapture/desktopsharing/duplicationpath.h"
#include "libcapture/desktopsharing/testsources/nullaudiorenderer.h"
#include "libcapture/desktopsharing/testsources/testpatternsource.h"
#include "libcapture/desktopsharing/testsources/testtonecapture.h"

#if defined(__linux__)
#include "libcapture/desktopsharing/audiodevices/pulse/pulseloopbackcapture.h"
#include "libcapture/desktopsharing/audiodevices/pulse/pulsesilenceplayer.h"
#include "libcapture/desktopsharing/screencapture/mixscreencapture.h"
#elif defined(_WIN32)
#include "libcapture/desktopsharing/audiodevices/wasapi/wasapicapture.h"
#include "libcapture/desktopsharing/audiodevices/wasapi/wasapiplayer.h"
#include "libcapture/desktopsharing/screencapture/dxgi/desktopduplicationpath.h"
#include "libcapture/desktopsharing/screencapture/mixscreencapture.h"
#endif

const char* videoSourceKindName(VideoSourceKind kind)
{
    switch (kind) {
        case VideoSourceKind::Screen:
            return "screen";
        case VideoSourceKind::TestPicture:
            return "test picture";
    }
    return "unknown";
}

const char* audioSourceKindName(AudioSourceKind kind)
{
    switch (kind) {
        case AudioSourceKind::System:
            return "system audio";
        case AudioSourceKind::TestTone:
            return "test tone";
        case AudioSourceKind::None:
            return "no audio";
    }
    return "unknown";
}

std::unique_ptr<FrameSource> createFrameSource(VideoSourceKind kind, int width, int height)
{
    switch (kind) {
        case VideoSourceKind::Screen:
#if defined(__linux__) || defined(_WIN32)
            return std::make_unique<MixScreenCapture>();
#else
            LOG(INFO) << "screen capture is not available in this build";
            return nullptr;
#endif
        case VideoSourceKind::TestPicture:
            return std::make_unique<TestPatternSource>(width, height);
    }
    return nullptr;
}

AudioDevices createAudioDevices(AudioSourceKind kind)
{
    AudioDevices devices;
    switch (kind) {
        case AudioSourceKind::System:
#if defined(__linux__)
            devices.capture = std::make_unique<PulseLoopbackCapture>();
            devices.renderer = std::make_unique<PulseSilencePlayer>();
#elif defined(_WIN32)
            devices.capture = std::make_unique<WASAPICapture>();
            devices.renderer = std::make_unique<WASAPIPlayer>();
#else
            LOG(INFO) << "system audio capture is not available in this build";
#endif
            break;
        case AudioSourceKind::TestTone:
            devices.capture = std::make_unique<TestToneCapture>();
            devices.renderer = std::make_unique<NullAudioRenderer>();
            break;
        case AudioSourceKind::None:
            break;
    }
    return devices;
}

std::unique_ptr<DuplicationPath> createDuplicationPath()
{
#if defined(_WIN32)
    return std::make_unique<DesktopDuplicationPath>();
#else
    return nullptr;
#endif
}
