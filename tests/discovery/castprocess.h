// Runs vantor-cast as a child process while this process keeps serving its own
// sockets through the Qt event loop.
#pragma once

#include <QDir>
#include <QProcess>
#include <functional>

#include "tests/discovery/logcapture.h"

namespace testsupport {

struct CastRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// `whileRunning` is called every few milliseconds until the program ends.
inline CastRun runCast(
    const QStringList& arguments, const std::function<void()>& whileRunning = [] {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VANTOR_MULTICAST_INTERFACE", "lo");  // no group joins on real cards
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(QDir::tempPath());
    process.start(QStringLiteral(VANTOR_CAST_PATH), arguments);
    CastRun run;
    if (!process.waitForStarted()) return run;
    waitUntil(
        [&] {
            whileRunning();
            return process.state() == QProcess::NotRunning;
        },
        30000);
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

}  // namespace testsupport
