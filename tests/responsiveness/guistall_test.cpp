// The GUI thread's longest stall while the session casts the test picture and the
// real PulseAudio capture (a private server, see with-pulseaudio.sh) to real
// vantor-receiver peers on loopback: each phase starts an action on the GUI thread and runs the
// event loop until the event that ends it (video reaches the receiver, the
// receivers ended and the capture is idle); a 10 ms timer notes the longest gap
// between its ticks meanwhile. Each figure is printed as
// "gui_stall_ms phase=NAME max=MS".
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "libcapture/desktopsharing/capture.h"
#include "libcapture/desktopsharing/desktopsharing.h"
#include "src/session/screensender.h"
#include "tests/responsiveness/guistallmeter.h"
#include "tests/responsiveness/sessionevents.h"
#include "tests/session/receiverprocess.h"
#include "tests/session/sessiontestsupport.h"
#include "tests/session/soundserver.h"

namespace {

constexpr double kMaxStallMs = 100;
constexpr int kPhaseTimeoutMs = 30000;

class GuiStall : public ::testing::Test {
protected:
    void SetUp() override
    {
        Capture::setVideoSource(VideoSourceKind::TestPicture);
        Capture::setAudioSource(AudioSourceKind::System);
        session->setQualityOverrides({25, 4, 1920});
        session->sendContext()->onPacketWritten = [this](int, const Packet&) {
            emit events.happened();
        };
        QObject::connect(session, &ScreenSender::senderEnded, &events, [this](QString host) {
            ended << host;
            emit events.happened();
        });
        QObject::connect(session, &ScreenSender::beginSend, &events, &SessionEvents::happened);
        QObject::connect(session->pipeline(), &PipelineWorker::stopped, &events,
                         &SessionEvents::happened);
    }
    void TearDown() override
    {
        session->deleteThis();
        // Its command channels go by deleteLater; no event loop runs after the last case.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Runs the event loop until done() holds, checking it at every session event.
    bool runUntil(const std::function<bool()>& done)
    {
        if (done()) return true;
        QEventLoop loop;
        QObject::connect(&events, &SessionEvents::happened, &loop, [&] {
            if (done()) loop.quit();
        });
        QTimer::singleShot(kPhaseTimeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
        return done();
    }

    std::function<bool()> streamsTo(const QString& host)
    {
        return [this, host] {
            auto stats = session->statsFor(host);
            return stats && stats->videoPackets > 0;
        };
    }

    std::function<bool()> endedAndIdle(const QStringList& hosts)
    {
        return [this, hosts] {
            for (const QString& host : hosts)
                if (!ended.contains(host)) return false;
            return !DesktopSharing::instance().isRunning() &&
                   !DesktopSharing::instance().isInitialized();
        };
    }

    static double report(const char* phase, double stallMs)
    {
        std::printf("gui_stall_ms phase=%s max=%.1f\n", phase, stallMs);
        std::fflush(stdout);
        return stallMs;
    }

    ScreenSender* session = ScreenSender::instance();
    SessionEvents events;
    GuiStallMeter meter;
    QStringList ended;
};

}  // namespace

TEST_F(GuiStall, CastStartLateJoinAndStop)
{
    ReceiverProcess first("127.0.0.2", {"--answer", "accept"});
    ReceiverProcess second("127.0.0.3", {"--answer", "accept"});
    ASSERT_TRUE(first.waitUntilListening());
    ASSERT_TRUE(second.waitUntilListening());

    meter.begin();
    session->start("127.0.0.2");
    ASSERT_TRUE(runUntil(streamsTo("127.0.0.2")));
    EXPECT_LT(report("start", meter.end()), kMaxStallMs);

    meter.begin();
    session->start("127.0.0.3");
    ASSERT_TRUE(runUntil(streamsTo("127.0.0.3")));
    EXPECT_LT(report("late_join", meter.end()), kMaxStallMs);

    meter.begin();
    session->stop("127.0.0.2");
    session->stop("127.0.0.3");
    ASSERT_TRUE(runUntil(endedAndIdle({"127.0.0.2", "127.0.0.3"})));
    EXPECT_LT(report("stop", meter.end()), kMaxStallMs);

    for (ReceiverProcess* receiver : {&first, &second}) {
        const QString summary = receiver->waitForSummary();
        EXPECT_EQ(ReceiverProcess::field(summary, "errors"), 0) << summary.toStdString();
        EXPECT_EQ(ReceiverProcess::field(summary, "first_video_idr"), 1) << summary.toStdString();
    }
}

// The real PulseAudio capture against a sound server frozen with SIGSTOP: its
// connection set-up waits for the server's time-out, which must not be the GUI's.
TEST_F(GuiStall, CastWhileTheSoundServerIsPaused)
{
    const pid_t server = soundServerPid();
    ASSERT_GT(server, 0) << "run under tests/audiodevices/with-pulseaudio.sh";
    ReceiverProcess receiver("127.0.0.2", {"--answer", "accept"});
    ASSERT_TRUE(receiver.waitUntilListening());

    PausedProcess paused(server);
    ASSERT_TRUE(paused.paused());
    meter.begin();
    session->start("127.0.0.2");
    ASSERT_TRUE(runUntil(streamsTo("127.0.0.2")));
    const double stall = meter.end();
    paused.resume();
    EXPECT_LT(report("paused_pulseaudio", stall), kMaxStallMs);

    session->stop("127.0.0.2");
    ASSERT_TRUE(runUntil(endedAndIdle({"127.0.0.2"})));
    const QString summary = receiver.waitForSummary();
    EXPECT_EQ(ReceiverProcess::field(summary, "errors"), 0) << summary.toStdString();
}

int main(int argc, char** argv) { return runSessionTests(argc, argv); }
