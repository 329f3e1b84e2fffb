// The network-error hook of a front end that shows a modal dialog: while the
// dialog's event loop runs, the user casts to another receiver. The command
// channel of the unreachable receiver is replaced then; nothing of it may still
// be on the stack, and the second cast must go through. Built with
// -DVANTOR_SANITIZE=address in CI, where a freed socket would be reported.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>

#include "libcapture/desktopsharing/capture.h"
#include "src/session/screensender.h"
#include "tests/session/receiverprocess.h"
#include "tests/session/sessiontestsupport.h"

TEST(UnreachableReceiver, TheHooksDialogMayStartTheNextCast)
{
    Capture::setVideoSource(VideoSourceKind::TestPicture);
    Capture::setAudioSource(AudioSourceKind::TestTone);
    ScreenSender* session = ScreenSender::instance();
    session->setQualityOverrides({25, 4, 640});
    SessionObserver observer(session);
    ReceiverProcess accepting("127.0.0.42", {"--answer", "accept"});
    ASSERT_TRUE(accepting.waitUntilListening());

    const QString unreachable = "127.0.0.41";  // nothing listens there
    QStringList reported;
    bool dialogSawTheAccept = false;
    session->setNetworkErrorHandler([&](QString host) {
        reported << host;
        // As exec() of a modal dialog; the user's click casts to the next receiver.
        QEventLoop dialog;
        QObject::connect(session, &ScreenSender::answered, &dialog,
                         [&](QString answeredHost, QString answer) {
                             if (answeredHost != accepting.address() || answer != "accept") return;
                             dialogSawTheAccept = true;
                             dialog.quit();
                         });
        QTimer::singleShot(0, &dialog, [&] { session->start(accepting.address()); });
        QTimer::singleShot(15000, &dialog, &QEventLoop::quit);
        dialog.exec();
    });

    session->start(unreachable);
    ASSERT_TRUE(waitUntil(
        [&] {
            auto stats = session->statsFor(accepting.address());
            return stats && stats->videoPackets > 3;
        },
        20000));
    EXPECT_EQ(reported, QStringList{unreachable});
    EXPECT_TRUE(dialogSawTheAccept);
    EXPECT_TRUE(observer.answered(unreachable, "unreachable"));
    EXPECT_TRUE(session->isSendingTo(accepting.address()));

    session->stop(accepting.address());
    ASSERT_TRUE(waitUntil([&] { return observer.ended.contains(accepting.address()); }, 10000));
    const QString summary = accepting.waitForSummary();
    EXPECT_GT(ReceiverProcess::field(summary, "video_frames"), 3) << summary.toStdString();
    EXPECT_EQ(ReceiverProcess::field(summary, "errors"), 0) << summary.toStdString();
    releaseSession(session);
}

int main(int argc, char** argv) { return runSessionTests(argc, argv); }
