// Test helpers for the network tests: records process-log lines and Qt debug
// lines, and runs the Qt event loop until a condition holds.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QStringList>
#include <QThread>
#include <functional>
#include <mutex>

#include "Comm/logging.h"

namespace testsupport {

inline std::mutex& capturedMutex()
{
    static std::mutex mutex;
    return mutex;
}

inline QStringList& capturedLines()
{
    static QStringList lines;
    return lines;
}

inline void recordLine(const QString& line)
{
    std::lock_guard<std::mutex> lock(capturedMutex());
    capturedLines() << line;
}

class LogCapture : public el::LogDispatchCallback {
protected:
    void handle(const el::LogDispatchData* data) override
    {
        recordLine(QString::fromStdString(data->logMessage()->message()));
    }
};

inline void debugHandler(QtMsgType, const QMessageLogContext& context, const QString& message)
{
    recordLine(QStringLiteral("%1: %2").arg(QString::fromLatin1(context.function), message));
}

// Call once from main() after the application object exists.
inline void installCapture()
{
    el::Helpers::installLogDispatchCallback<LogCapture>("testsupport::LogCapture");
    qInstallMessageHandler(debugHandler);
}

inline void clearCaptured()
{
    std::lock_guard<std::mutex> lock(capturedMutex());
    capturedLines().clear();
}

inline int countCaptured(const QString& fragment)
{
    std::lock_guard<std::mutex> lock(capturedMutex());
    int count = 0;
    for (const QString& line : capturedLines()) count += line.contains(fragment) ? 1 : 0;
    return count;
}

// Processes events until `done` holds or `timeoutMs` passes; returns `done()`.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return done();
}

}  // namespace testsupport
