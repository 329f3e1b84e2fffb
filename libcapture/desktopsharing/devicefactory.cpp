#include "libcapture/desktopsharing/devicefactory.h"

#include "Comm/logging.h"
#include "libcapture/desktopsharing/testsources/nullaudiorenderer.h"
#include "libcapture/desktopsharing/testsources/testpatternsource.h"
#include "libcapture/desktopsharing/testsources/testtonecapture.h"

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
            // The screen and window capture (MixScreenCapture) is created here.
            LOG(INFO) << "screen capture is not available in this build";
            return nullptr;
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
            // The system-audio loopback capture and its silence player are created here.
            LOG(INFO) << "system audio capture is not available in this build";
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
