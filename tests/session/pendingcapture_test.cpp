// Receivers that accept, or are stopped, while the capture is still being set
// up on the pipeline's thread. The sound server of with-pulseaudio.sh is frozen
// with SIGSTOP meanwhile, so that the real PulseAudio capture holds the init for
// the server's time-out (seconds), long enough for the answers to come first.
#include <gtest/gtest.h>

#include "libcapture/desktopsharing/capture.h"
#include "libcapture/desktopsharing/desktopsharing.h"
#include "src/session/screensender.h"
#include "tests/session/receiverprocess.h"
#include "tests/session/sessiontestsupport.h"
#include "tests/session/soundserver.h"

namespace {

class PendingCapture : public ::testing::Test {
protected:
    void SetUp() override
    {
        Capture::setVideoSource(VideoSourceKind::TestPicture);
        Capture::setAudioSource(AudioSourceKind::System);
        session->setQualityOverrides({25, 4, 640});
        QObject::connect(session->pipeline(), &PipelineWorker::initFinished, &context,
                         [this](quint64 run) { pipelineEvents << QString("init %1").arg(run); });
        QObject::connect(session->pipeline(), &PipelineWorker::stopped, &context,
                         [this](quint64 run) { pipelineEvents << QString("stop %1").arg(run); });
    }
    void TearDown() override { releaseSession(session); }

    bool streams(const QString& host) const
    {
        auto stats = session->statsFor(host);
        return stats && stats->videoPackets > 3;
    }

    ScreenSender* session = ScreenSender::instance();
    SessionObserver observer{session};
    QObject context;
    QStringList pipelineEvents;  // completions, in the order they arrived
};

}  // namespace

TEST_F(PendingCapture, ReceiversThatAcceptDuringTheInitAreAttachedOnceItEnds)
{
    ReceiverProcess first("127.0.0.43", {"--answer", "accept"});
    ReceiverProcess second("127.0.0.44", {"--answer", "accept"});
    ASSERT_TRUE(first.waitUntilListening());
    ASSERT_TRUE(second.waitUntilListening());

    PausedProcess soundServer(soundServerPid());
    ASSERT_TRUE(soundServer.paused()) << "run under tests/audiodevices/with-pulseaudio.sh";
    session->start(first.address());
    ASSERT_TRUE(waitUntil([&] { return observer.answered(first.address(), "accept"); }, 10000));
    session->start(second.address());
    ASSERT_TRUE(waitUntil([&] { return observer.answered(second.address(), "accept"); }, 10000));
    ASSERT_FALSE(pipelineEvents.contains("init 1")) << "the init ended before the answers came";
    // Both count as served at once, but neither Sender runs yet.
    EXPECT_TRUE(session->isSendingTo(first.address()));
    EXPECT_TRUE(session->isSendingTo(second.address()));
    EXPECT_EQ(session->attachedCount(), 2);
    EXPECT_EQ(observer.beginSend, 0);
    EXPECT_FALSE(session->statsFor(first.address())->connected);

    ASSERT_TRUE(waitUntil([&] { return pipelineEvents.contains("init 1"); }, 20000));
    soundServer.resume();
    ASSERT_TRUE(
        waitUntil([&] { return streams(first.address()) && streams(second.address()); }, 20000));
    EXPECT_EQ(observer.beginSend, 2);
    EXPECT_EQ(session->attachedCount(), 2);

    session->stop(first.address());
    session->stop(second.address());
    ASSERT_TRUE(waitUntil([&] { return observer.ended.size() == 2; }, 10000));
    for (ReceiverProcess* receiver : {&first, &second}) {
        const QString summary = receiver->waitForSummary();
        SCOPED_TRACE(summary.toStdString());
        EXPECT_EQ(ReceiverProcess::field(summary, "errors"), 0);
        EXPECT_EQ(ReceiverProcess::field(summary, "first_video_idr"), 1);
        // Attached twice, a receiver would get every packet twice.
        EXPECT_EQ(ReceiverProcess::field(summary, "video_frames"),
                  (long long)session->statsFor(receiver->address())->videoPackets);
    }
}

TEST_F(PendingCapture, AStopDuringTheInitWinsAndLeavesNothingRunning)
{
    ReceiverProcess receiver("127.0.0.45", {"--answer", "accept"});
    ASSERT_TRUE(receiver.waitUntilListening());

    PausedProcess soundServer(soundServerPid());
    ASSERT_TRUE(soundServer.paused()) << "run under tests/audiodevices/with-pulseaudio.sh";
    session->start(receiver.address());
    ASSERT_TRUE(waitUntil([&] { return observer.answered(receiver.address(), "accept"); }, 10000));
    ASSERT_FALSE(pipelineEvents.contains("init 1")) << "the init ended before the answer came";
    EXPECT_TRUE(session->isSendingTo(receiver.address()));

    session->stop(receiver.address());
    EXPECT_FALSE(session->isSendingTo(receiver.address()));
    ASSERT_TRUE(waitUntil([&] { return observer.ended.contains(receiver.address()); }, 10000));
    ASSERT_TRUE(waitUntil([&] { return pipelineEvents.contains("stop 1"); }, 20000));
    soundServer.resume();
    EXPECT_FALSE(DesktopSharing::instance().isRunning());
    EXPECT_FALSE(DesktopSharing::instance().isInitialized());
    EXPECT_EQ(observer.beginSend, 0);
    EXPECT_EQ(session->attachedCount(), 0);
    EXPECT_FALSE(session->statsFor(receiver.address())->connected);  // never opened its channels
}

int main(int argc, char** argv) { return runSessionTests(argc, argv); }
