#include "tests/session/sessiontestsupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include "src/session/screensender.h"

int runSessionTests(int argc, char** argv)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    if (done()) return true;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    check.start(10);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

void releaseSession(ScreenSender* session)
{
    session->deleteThis();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

SessionObserver::SessionObserver(ScreenSender* s)
{
    QObject::connect(s, &ScreenSender::beginSend, [this] { ++beginSend; });
    QObject::connect(s, &ScreenSender::sinkConnect, [this] { ++sinkConnect; });
    QObject::connect(s, &ScreenSender::sinkBusy, [this] { ++sinkBusy; });
    QObject::connect(s, &ScreenSender::sinkRefuse, [this] { ++sinkRefuse; });
    QObject::connect(s, &ScreenSender::sendStop, [this] { ++sendStop; });
    QObject::connect(s, &ScreenSender::senderEnded, [this](QString host) { ended << host; });
    QObject::connect(s, &ScreenSender::answered,
                     [this](QString host, QString answer) { answers << host + ' ' + answer; });
    QObject::connect(s, &ScreenSender::captureFailed,
                     [this](QString reason) { failures << reason; });
}
