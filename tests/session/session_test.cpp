// The casting session against real vantor-receiver peers on loopback, with the
// test picture and test tone through the real encoders. Every case runs in a
// process of its own (the session is a process-wide singleton).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <mutex>
#include <vector>

#include "libcapture/desktopsharing/capture.h"
#include "libcapture/desktopsharing/desktopsharing.h"
#include "src/session/screensender.h"
#include "src/transport/sender.h"
#include "tests/discovery/logcapture.h"
#include "tests/session/receiverprocess.h"
#include "tests/session/sessiontestsupport.h"

namespace {

std::mutex logMutex;
// Sender threads log until they end, at process exit too: the store is never destroyed.
QStringList& logLines = *new QStringList;

void collectMessages(QtMsgType, const QMessageLogContext&, const QString& text)
{
    std::lock_guard<std::mutex> lock(logMutex);
    logLines << text;
}

QString logLineContaining(const QString& text)
{
    std::lock_guard<std::mutex> lock(logMutex);
    for (const QString& line : logLines)
        if (line.contains(text)) return line;
    return {};
}

class Session : public ::testing::Test {
protected:
    void SetUp() override
    {
        Capture::setVideoSource(VideoSourceKind::TestPicture);
        Capture::setAudioSource(AudioSourceKind::TestTone);
        session->setQualityOverrides({25, 4, 640});
    }
    void TearDown() override { releaseSession(session); }

    // Casts to a receiver and waits until its media channels stand.
    void castTo(ReceiverProcess& receiver)
    {
        ASSERT_TRUE(receiver.waitUntilListening());
        const int before = observer.beginSend;
        session->start(receiver.address());
        ASSERT_TRUE(waitUntil([&] { return observer.beginSend > before; }, 10000));
        ASSERT_TRUE(waitUntil(
            [&] {
                auto stats = session->statsFor(receiver.address());
                return stats && stats->videoPackets > 3;
            },
            10000));
    }

    ScreenSender* session = ScreenSender::instance();
    SessionObserver observer{session};
};

}  // namespace

TEST_F(Session, RefusingOrBusyReceiverAttachesNothing)
{
    ReceiverProcess refusing("127.0.0.31", {"--answer", "refuse"});
    ReceiverProcess busy("127.0.0.32", {"--answer", "busy"});
    ASSERT_TRUE(refusing.waitUntilListening());
    ASSERT_TRUE(busy.waitUntilListening());
    session->start("127.0.0.31");
    ASSERT_TRUE(waitUntil([&] { return observer.sinkRefuse == 1; }, 10000));
    session->start("127.0.0.32");
    ASSERT_TRUE(waitUntil([&] { return observer.sinkBusy == 1; }, 10000));
    EXPECT_EQ(observer.sinkConnect, 2);
    EXPECT_EQ(observer.beginSend, 0);
    EXPECT_EQ(session->attachedCount(), 0);
    EXPECT_FALSE(DesktopSharing::instance().isInitialized());
    EXPECT_FALSE(session->isSendingTo("127.0.0.31"));
    EXPECT_EQ(session->statsFor("127.0.0.31"), nullptr);
    // A "no" ends the ask: no command channel is kept for it.
    EXPECT_TRUE(waitUntil([&] { return session->commandChannelCount() == 0; }, 10000))
        << session->commandChannelCount();
}

TEST_F(Session, StopEndsTheSenderAndIsSendingToTurnsFalseAtOnce)
{
    ReceiverProcess receiver("127.0.0.33", {"--answer", "accept"});
    castTo(receiver);
    EXPECT_TRUE(session->isSendingTo("127.0.0.33"));
    EXPECT_TRUE(DesktopSharing::instance().isRunning());

    // An address that is not attached: sendStop, nothing else.
    session->stop("127.0.0.99");
    EXPECT_EQ(observer.sendStop, 1);
    EXPECT_TRUE(session->isSendingTo("127.0.0.33"));
    EXPECT_EQ(session->attachedCount(), 1);

    session->stop("127.0.0.33");
    EXPECT_FALSE(session->isSendingTo("127.0.0.33"));
    ASSERT_TRUE(waitUntil([&] { return observer.ended.contains("127.0.0.33"); }, 10000));
    // One stop, one sendStop: the Sender's own end afterwards says nothing more.
    QCoreApplication::processEvents();
    EXPECT_EQ(observer.sendStop, 2);
    // The last receiver left: the capture stops, on the pipeline's thread.
    EXPECT_TRUE(waitUntil([] { return !DesktopSharing::instance().isRunning(); }, 10000));
    const QString summary = receiver.waitForSummary();
    ASSERT_FALSE(summary.isEmpty());
    EXPECT_EQ(ReceiverProcess::field(summary, "errors"), 0);
    EXPECT_EQ(ReceiverProcess::field(summary, "first_video_idr"), 1);
    EXPECT_EQ(ReceiverProcess::field(summary, "video_frames"),
              (long long)session->statsFor("127.0.0.33")->videoPackets);
}

TEST_F(Session, AReceiverThatEndsTheCastIsOneStop)
{
    // The receiver stops reading after a few frames and closes: the session hears of
    // it from the Sender alone.
    ReceiverProcess receiver("127.0.0.35", {"--answer", "accept", "--seconds", "2"});
    castTo(receiver);
    ASSERT_TRUE(waitUntil([&] { return observer.ended.contains("127.0.0.35"); }, 15000));
    QCoreApplication::processEvents();
    EXPECT_EQ(observer.sendStop, 1);
    EXPECT_FALSE(session->isSendingTo("127.0.0.35"));
    EXPECT_EQ(session->commandChannelCount(), 0) << "the ended cast's channel is let go";
}

// A session casts to many receivers over its life; the command channel of each
// goes when its cast ends, but a new ask of the same receiver made right after a
// stop keeps its channel until it is answered, and is served.
TEST_F(Session, ACommandChannelLastsAsLongAsItsAskOrItsCast)
{
    ReceiverProcess receiver("127.0.0.48", {"--answer", "accept", "--answer-delay-ms", "800"});
    castTo(receiver);
    session->stop("127.0.0.48");
    session->start("127.0.0.48");
    ASSERT_TRUE(waitUntil([&] { return observer.ended.contains("127.0.0.48"); }, 10000));
    EXPECT_EQ(session->commandChannelCount(), 1) << "the new ask waits for its answer";
    ASSERT_TRUE(waitUntil([&] { return observer.answers.count("127.0.0.48 accept") == 2; }, 10000));
    ASSERT_TRUE(waitUntil(
        [&] {
            auto stats = session->statsFor("127.0.0.48");
            return session->isSendingTo("127.0.0.48") && stats && stats->videoPackets > 3;
        },
        10000));
    session->stop("127.0.0.48");
    ASSERT_TRUE(waitUntil([&] { return observer.ended.count("127.0.0.48") == 2; }, 10000));
    EXPECT_TRUE(waitUntil([&] { return session->commandChannelCount() == 0; }, 10000))
        << session->commandChannelCount();
}

TEST_F(Session, SecondCaptureInitWhileRunningChangesNothing)
{
    ReceiverProcess receiver("127.0.0.34", {"--answer", "accept"});
    castTo(receiver);
    const int width = DesktopSharing::instance().outputWidth();
    EXPECT_EQ(width, 640);
    Capture::setResolution(1280);
    Capture::init(&ScreenSender::frameSink, session, 0, WindowRecord{});
    EXPECT_EQ(DesktopSharing::instance().outputWidth(), width);
    EXPECT_TRUE(DesktopSharing::instance().isRunning());
    auto stats = session->statsFor("127.0.0.34");
    const uint64_t before = stats->videoPackets;
    ASSERT_TRUE(waitUntil([&] { return stats->videoPackets > before + 10; }, 10000));
    session->stop("127.0.0.34");
    const QString summary = receiver.waitForSummary();
    EXPECT_EQ(ReceiverProcess::field(summary, "errors"), 0);
}

// A television asks its viewer before it answers; a cast asked of another
// receiver meanwhile must not drop that answer.
TEST_F(Session, AReceiverStillToAnswerIsServedWhenAnotherIsAskedMeanwhile)
{
    ReceiverProcess slow("127.0.0.46", {"--answer", "accept", "--answer-delay-ms", "1500"});
    ReceiverProcess quick("127.0.0.47", {"--answer", "accept"});
    ASSERT_TRUE(slow.waitUntilListening());
    ASSERT_TRUE(quick.waitUntilListening());
    session->start("127.0.0.46");
    ASSERT_TRUE(waitUntil([&] { return observer.sinkConnect == 1; }, 10000));
    session->start("127.0.0.47");
    ASSERT_TRUE(waitUntil([&] { return observer.answered("127.0.0.47", "accept"); }, 10000));
    EXPECT_FALSE(observer.answered("127.0.0.46", "accept")) << "asked first, answers last";
    ASSERT_TRUE(waitUntil([&] { return observer.answered("127.0.0.46", "accept"); }, 10000));
    for (const QString host : {"127.0.0.46", "127.0.0.47"}) {
        ASSERT_TRUE(waitUntil(
            [&] {
                auto stats = session->statsFor(host);
                return stats && stats->videoPackets > 3;
            },
            10000))
            << host.toStdString();
        EXPECT_TRUE(session->isSendingTo(host));
    }
    EXPECT_EQ(session->attachedCount(), 2);
}

TEST_F(Session, DeleteThisTwiceAndNoCastAfterwards)
{
    el::Helpers::installLogDispatchCallback<testsupport::LogCapture>("session-log");
    session->deleteThis();
    EXPECT_FALSE(session->hasPools());
    session->deleteThis();
    EXPECT_FALSE(session->hasPools());
    ReceiverProcess receiver("127.0.0.37", {"--answer", "accept"});
    ASSERT_TRUE(receiver.waitUntilListening());
    session->start("127.0.0.37");
    ASSERT_TRUE(waitUntil([&] { return observer.sinkConnect == 1; }, 10000));
    // The receiver's accept has come, and the released session has turned it down.
    ASSERT_TRUE(waitUntil(
        [] {
            return testsupport::countCaptured("session already released, 127.0.0.37 not served") >
                   0;
        },
        10000));
    EXPECT_EQ(observer.beginSend, 0);
    EXPECT_EQ(session->attachedCount(), 0);
}

// One receiver stops reading: at 501 queued video packets it is taken out of
// distribution, while the other receiver keeps getting every packet. The queue
// only grows while its Sender is blocked short of the 5 s send time-out (a
// time-out empties it), which takes more packets than the capture makes even at
// 60 fps; so once both receivers stream, the capture is stopped and the test
// feeds the frame sink itself, as the only producer.
TEST_F(Session, StalledReceiverIsCutOffAndTheOtherKeepsEveryPacket)
{
    ReceiverProcess stalled("127.0.0.35", {"--answer", "accept", "--stop-reading-after", "5"});
    ReceiverProcess healthy("127.0.0.36", {"--answer", "accept"});
    castTo(stalled);
    castTo(healthy);
    Capture::stop();
    EXPECT_FALSE(DesktopSharing::instance().isRunning());

    auto stalledStats = session->statsFor("127.0.0.35");
    auto healthyStats = session->statsFor("127.0.0.36");
    std::vector<uint8_t> slice(50000, 0x55);  // one non-IDR slice, Annex B
    slice[0] = slice[1] = slice[2] = 0;
    slice[3] = 1;
    slice[4] = 0x41;
    // The healthy receiver drains what it had: a marker behind the capture's last
    // packet, once the receiver reports it as its latest, shows that everything
    // queued before it was written. `base` counts all of it and the marker.
    const uint32_t kMarker = 0x7FFFFFF0;
    ScreenSender::frameSink(session, 0, slice.data(), int(slice.size()), 2, kMarker);
    long long received = -1;
    ASSERT_TRUE(waitUntil(
        [&] {
            for (const QString& line : healthy.output().split('\n'))
                if (line.startsWith("status ") &&
                    line.contains(QString(" last_video_ts=%1 ").arg(kMarker)))
                    received = ReceiverProcess::field(line, "video_frames");
            return received > 0 && healthyStats->videoPackets == uint64_t(received);
        },
        10000));
    const uint64_t base = healthyStats->videoPackets;
    uint32_t sent = 0;
    QElapsedTimer clock;
    clock.start();
    while (stalledStats->videoDropped < 50 && sent < 4000 && clock.elapsed() < 30000) {
        ScreenSender::frameSink(session, 0, slice.data(), int(slice.size()), 2, sent++ * 2);
        QThread::msleep(2);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(stalledStats->videoDropped, 50u);
    EXPECT_FALSE(
        logLineContaining("video queue of 501 packets taken out of distribution").isEmpty());

    ASSERT_TRUE(waitUntil([&] { return healthyStats->videoPackets >= base + sent; }, 20000));
    session->stop("127.0.0.36");
    const QString summary = healthy.waitForSummary();
    EXPECT_EQ(healthyStats->videoDropped, 0u);
    EXPECT_EQ(healthyStats->flushed, 0u);
    EXPECT_EQ(ReceiverProcess::field(summary, "errors"), 0);
    EXPECT_EQ(ReceiverProcess::field(summary, "video_frames"),
              (long long)healthyStats->videoPackets);
    EXPECT_EQ(healthyStats->videoPackets, base + sent);
    session->stop("127.0.0.35");
    ASSERT_TRUE(waitUntil([&] { return observer.ended.size() == 2; }, 20000));
}

// The command channel says "accept" again for a receiver that is being served
// (a repeated answer): the Sender streaming to it and its counters stay.
TEST_F(Session, RepeatedAcceptFromAServedHostIsIgnored)
{
    ReceiverProcess receiver("127.0.0.39", {"--answer", "accept"});
    castTo(receiver);
    const auto stats = session->statsFor("127.0.0.39");
    ASSERT_TRUE(stats);
    const int beginSends = observer.beginSend;
    ASSERT_TRUE(QMetaObject::invokeMethod(session, "recvAccept", Qt::DirectConnection,
                                          Q_ARG(QString, "127.0.0.39")));
    EXPECT_EQ(session->attachedCount(), 1);
    EXPECT_EQ(session->statsFor("127.0.0.39"), stats);
    EXPECT_EQ(observer.beginSend, beginSends);
    EXPECT_FALSE(logLineContaining("accept from 127.0.0.39, served already: ignored").isEmpty());
    const uint64_t before = stats->videoPackets;
    ASSERT_TRUE(waitUntil([&] { return stats->videoPackets > before + 5; }, 10000));
    session->stop("127.0.0.39");
    ASSERT_TRUE(waitUntil([&] { return observer.ended.contains("127.0.0.39"); }, 10000));
    const QString summary = receiver.waitForSummary();
    EXPECT_EQ(ReceiverProcess::field(summary, "errors"), 0);
    EXPECT_EQ(ReceiverProcess::field(summary, "video_frames"), (long long)stats->videoPackets);
}

// Without a screen, and no size asked for, the encoder has nothing to open at:
// the cast is refused. The front ends hear why, the receiver that accepted is
// never connected to (no stream header without a picture), and the next cast,
// with a picture to send, reaches it.
TEST_F(Session, ACaptureThatCannotBeSetUpRefusesTheCast)
{
    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    Capture::setVideoSource(VideoSourceKind::Screen);
    session->setQualityOverrides({25, 4, 1366});  // no such resolution: the source's size
    ReceiverProcess receiver("127.0.0.38", {"--answer", "accept"});
    ASSERT_TRUE(receiver.waitUntilListening());
    session->start("127.0.0.38");
    ASSERT_TRUE(waitUntil([&] { return observer.ended.contains("127.0.0.38"); }, 10000));
    EXPECT_EQ(observer.failures, QStringList{"H264Encoder init err"});
    EXPECT_EQ(observer.beginSend, 0);
    EXPECT_EQ(observer.sendStop, 0);  // one message for the user: the failure
    EXPECT_FALSE(session->isSendingTo("127.0.0.38"));
    EXPECT_EQ(session->attachedCount(), 0);
    EXPECT_FALSE(DesktopSharing::instance().isInitialized());

    if (!display.isEmpty()) qputenv("DISPLAY", display);
    Capture::setVideoSource(VideoSourceKind::TestPicture);
    session->setQualityOverrides({25, 4, 640});
    castTo(receiver);
    const auto stats = session->statsFor("127.0.0.38");
    ASSERT_TRUE(stats);
    session->stop("127.0.0.38");
    ASSERT_TRUE(waitUntil([&] { return observer.ended.count("127.0.0.38") == 2; }, 10000));
    // The receiver's first and only cast is the one with the picture.
    const QString summary = receiver.waitForSummary();
    EXPECT_EQ(ReceiverProcess::field(summary, "errors"), 0);
    EXPECT_EQ(ReceiverProcess::field(summary, "video_frames"), (long long)stats->videoPackets);
}

int main(int argc, char** argv)
{
    qInstallMessageHandler(collectMessages);
    return runSessionTests(argc, argv);
}
