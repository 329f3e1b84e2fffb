// The pipeline's queries take its state lock only for a moment: while init waits
// seconds for a sound server frozen with SIGSTOP (the real PulseAudio capture),
// they answer at once. Runs under tests/audiodevices/with-pulseaudio.sh.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "libcapture/desktopsharing/desktopsharing.h"
#include "tests/session/soundserver.h"

namespace {
using Clock = std::chrono::steady_clock;
}  // namespace

TEST(DesktopSharingQueries, AnswerAtOnceWhileInitWaitsForTheSoundServer)
{
    DesktopSharing& sharing = DesktopSharing::instance();
    sharing.selectSources(VideoSourceKind::TestPicture, AudioSourceKind::System);
    CaptureConfig config;
    config.width = 640;
    config.height = 480;

    PausedProcess soundServer(soundServerPid());
    ASSERT_TRUE(soundServer.paused()) << "run under tests/audiodevices/with-pulseaudio.sh";
    std::atomic<bool> initReturned{false};
    std::thread init([&] {
        sharing.init(config, nullptr, nullptr, 0, WindowRecord{});
        initReturned = true;
    });
    // The frame source is in place before the audio set-up begins.
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!sharing.frameSource() && !initReturned && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    // A query that waited for the lock would answer only once the init gave up on
    // the frozen server and finished (video only): it would find the pipeline
    // initialised.
    int channels = 0, sampleRate = 0;
    sharing.audioInfo(channels, sampleRate);
    const bool initialized = sharing.isInitialized();
    const bool audio = sharing.hasAudio();
    sharing.outputWidth();
    EXPECT_FALSE(initReturned) << "the queries waited for the init";
    EXPECT_FALSE(initialized) << "the queries waited for the init";
    EXPECT_FALSE(audio);

    soundServer.resume();
    init.join();
    EXPECT_TRUE(sharing.isInitialized());  // video only: the frozen server timed out
    sharing.exit();
}
