// Casts the desktop of Windows (or of Wine) to a receiver the way the product
// does: the reference picture covers the primary monitor, a 1 kHz tone plays
// through WASAPI, and the pipeline captures the screen and the system audio,
// encodes them and streams them over Winsock.
//   wincast_e2e --to HOST --audio-seconds N [--audio loopback|monitor]
// The cast lasts until N seconds of audio and at least 25 video frames went out.
// --audio monitor records the capture endpoint "Monitor of ..." (PulseAudio's
// monitor of the sink, under Wine, which has no loopback) instead of the
// default render endpoint in loopback.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "Comm/logging.h"
#include "libcapture/desktopsharing/audiocapture.h"
#include "libcapture/desktopsharing/audiodevices/wasapi/wasapicapture.h"
#include "libcapture/desktopsharing/audiodevices/wasapi/wasapiplayer.h"
#include "libcapture/desktopsharing/capture.h"
#include "libcapture/desktopsharing/desktopsharing.h"
#include "tests/windows/e2e/mediastream.h"
#include "tests/windows/e2e/picturewindow.h"
#include "tests/windows/e2e/tonefill.h"

namespace {

// The pipeline's audio buffer size; the pipeline keeps devices set up beforehand.
constexpr int kAudioBufferBytes = 20480;

struct Options {
    std::string host;
    int audioSeconds = 0;
    bool monitorEndpoint = false;
};

bool parse(int argc, char** argv, Options& options)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--to") == 0)
            options.host = argv[i + 1];
        else if (std::strcmp(argv[i], "--audio-seconds") == 0)
            options.audioSeconds = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--audio") == 0 && std::strcmp(argv[i + 1], "monitor") == 0)
            options.monitorEndpoint = true;
        else if (std::strcmp(argv[i], "--audio") != 0 || std::strcmp(argv[i + 1], "loopback") != 0)
            return false;
    }
    return argc % 2 == 1 && !options.host.empty() && options.audioSeconds > 0;
}

// The system audio from the sound server's monitor of its sink.
bool useMonitorEndpoint()
{
    for (const std::wstring& name : audioEndpointNames(eCapture)) {
        if (name.rfind(L"Monitor of", 0) != 0) continue;
        std::printf("wincast: system audio from \"%ls\"\n", name.c_str());
        return AudioCapture::instance().initWithDevices(
                   kAudioBufferBytes, std::make_unique<WASAPICapture>(AudioEndpoint{name}),
                   std::make_unique<WASAPIPlayer>(), AudioSourceKind::System) == 0;
    }
    std::fprintf(stderr, "wincast: no \"Monitor of\" capture endpoint\n");
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: %s --to HOST --audio-seconds N [--audio loopback|monitor]\n",
                     argv[0]);
        return 64;
    }
    vantor::initLogging(false);

    PictureWindow picture;
    if (!picture.show()) return 1;
    std::printf("wincast: picture %dx%d\n", picture.width(), picture.height());

    WASAPIPlayer tone;
    if (tone.init() < 0 || tone.start(ToneFill(1000, 0.5)) < 0) {
        std::fprintf(stderr, "wincast: cannot play the tone\n");
        return 1;
    }
    if (options.monitorEndpoint && !useMonitorEndpoint()) return 1;

    MediaStream stream;
    Capture::setVideoSource(VideoSourceKind::Screen);
    Capture::setAudioSource(AudioSourceKind::System);
    Capture::setFps(25);
    Capture::setBitrate(8);
    Capture::setResolution(1920);
    Capture::init(&MediaStream::onPacket, &stream, 0, WindowRecord{});
    if (!DesktopSharing::instance().isInitialized()) {
        std::fprintf(stderr, "wincast: the pipeline did not start: %s\n",
                     DesktopSharing::instance().lastInitError().c_str());
        return 1;
    }
    int32_t channels = 0, sampleRate = 0, reserved1 = 0, reserved2 = 0;
    Capture::getAudioInfo(channels, sampleRate, reserved1, reserved2);
    if (!stream.connect(options.host.c_str()) || !stream.writeAudioHeader(channels, sampleRate))
        return 1;
    std::printf("wincast: streaming %dx%d, audio %d x %d Hz\n",
                DesktopSharing::instance().outputWidth(), DesktopSharing::instance().outputHeight(),
                channels, sampleRate);
    std::fflush(stdout);

    const int audioFrames = options.audioSeconds * sampleRate / 1024;  // AAC frames
    const int videoFrames = 25;
    Capture::start();
    const bool complete = stream.waitForPackets(videoFrames, audioFrames, std::chrono::seconds(60));
    Capture::stop();
    tone.stop();
    stream.close();
    picture.close();

    std::printf("wincast: video_packets=%d audio_packets=%d\n", stream.videoPackets(),
                stream.audioPackets());
    const bool ok = complete && !stream.writeFailed();
    std::printf("wincast: %s\n", ok ? "sent" : "FAILED");
    return ok ? 0 : 1;
}
