// The receiver's signal handler runs between any two instructions of the main
// thread: it must leave errno as it found it, even when its own write fails.
#include "tools/vantor-receiver/signalwatcher.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <csignal>

TEST(SignalWatcher, HandlerKeepsErrnoWhenItsWriteFails)
{
    vantor::receiver::SignalWatcher watcher;
    ASSERT_TRUE(watcher.install());
    auto* notifier = watcher.findChild<QSocketNotifier*>();
    ASSERT_NE(notifier, nullptr);
    // No more reading on the watcher's end: the handler's write fails with EPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    ASSERT_EQ(::shutdown(static_cast<int>(notifier->socket()), SHUT_RD), 0);
    errno = EDOM;
    ASSERT_EQ(std::raise(SIGTERM), 0);
    EXPECT_EQ(errno, EDOM);
}

TEST(SignalWatcher, HandlerKeepsErrnoWhenItsWriteSucceeds)
{
    vantor::receiver::SignalWatcher watcher;
    ASSERT_TRUE(watcher.install());
    int received = 0;
    QObject::connect(&watcher, &vantor::receiver::SignalWatcher::terminationRequested,
                     [&](int number) { received = number; });
    errno = ERANGE;
    ASSERT_EQ(std::raise(SIGINT), 0);
    EXPECT_EQ(errno, ERANGE);
    // The watcher reports from the event loop: wait there for it, 5 s at most.
    QEventLoop loop;
    QObject::connect(&watcher, &vantor::receiver::SignalWatcher::terminationRequested, &loop,
                     &QEventLoop::quit);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    if (received == 0) loop.exec();
    EXPECT_EQ(received, SIGINT);
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
