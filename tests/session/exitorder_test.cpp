// Process exit while a cast runs: the session is a function-local static, and so
// is the capture pipeline it feeds. The session's destructor must leave the
// pipeline alone (the pipeline's own destructor stops the loops). A check
// registered at exit, between the two destructors, sees whether the session
// stopped the capture.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "libcapture/desktopsharing/capture.h"
#include "libcapture/desktopsharing/desktopsharing.h"
#include "src/session/screensender.h"
#include "tests/session/receiverprocess.h"
#include "tests/session/sessiontestsupport.h"

namespace {

void captureStillRunsAfterTheSession()
{
    // The session's static is gone here, the pipeline's not yet.
    if (DesktopSharing::instance().isRunning()) {
        std::fputs("capture left running by the session's destructor\n", stdout);
        std::fflush(stdout);
        return;
    }
    std::fputs("FAILED: the session's destructor stopped the capture\n", stdout);
    std::fflush(stdout);
    _exit(3);
}

}  // namespace

TEST(ExitOrder, SessionDestructorLeavesTheRunningCaptureAlone)
{
    Capture::setVideoSource(VideoSourceKind::TestPicture);
    Capture::setAudioSource(AudioSourceKind::TestTone);
    // Destroyed in reverse order of completion: the session, then the check, then
    // the pipeline.
    DesktopSharing::instance();
    ASSERT_EQ(std::atexit(captureStillRunsAfterTheSession), 0);
    ScreenSender* session = ScreenSender::instance();
    session->setQualityOverrides({25, 4, 640});
    SessionObserver observer{session};

    auto receiver =
        std::make_unique<ReceiverProcess>("127.0.0.40", QStringList{"--answer", "accept"});
    ASSERT_TRUE(receiver->waitUntilListening());
    session->start("127.0.0.40");
    ASSERT_TRUE(waitUntil(
        [&] {
            auto stats = session->statsFor("127.0.0.40");
            return stats && stats->videoPackets > 3;
        },
        10000));
    ASSERT_TRUE(DesktopSharing::instance().isRunning());
    // std::exit skips the stack: the receiver goes first. No event loop runs any
    // more, so the session does not hear of it and the capture keeps running.
    receiver.reset();
    // Leave as a program does when its main returns with the cast still on; the
    // check above decides the exit status.
    std::exit(0);
}

int main(int argc, char** argv) { return runSessionTests(argc, argv); }
