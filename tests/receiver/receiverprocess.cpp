#include "tests/receiver/receiverprocess.h"

#include <QElapsedTimer>

namespace vantor::receiver::test {

ReceiverProcess::~ReceiverProcess()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

bool ReceiverProcess::start(const QStringList& arguments)
{
    process_.start(VANTOR_RECEIVER_BINARY, arguments);
    if (!process_.waitForStarted(10000)) return false;
    return !waitForLine("ready ").isEmpty();
}

void ReceiverProcess::collect()
{
    partial_ += process_.readAllStandardOutput();
    errors_ += process_.readAllStandardError();
    int end;
    while ((end = partial_.indexOf('\n')) >= 0) {
        lines_ << QString::fromUtf8(partial_.left(end));
        partial_.remove(0, end + 1);
    }
}

QString ReceiverProcess::waitForLine(const QString& prefix, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        collect();
        while (consumed_ < lines_.size()) {
            const QString line = lines_[consumed_++];
            if (line.startsWith(prefix)) return line;
        }
        if (process_.state() == QProcess::NotRunning || clock.elapsed() > timeoutMs) return {};
        process_.waitForReadyRead(100);
    }
}

int ReceiverProcess::terminate()
{
    process_.terminate();
    return waitForExit();
}

int ReceiverProcess::waitForExit(int timeoutMs)
{
    if (!process_.waitForFinished(timeoutMs)) return -1;
    collect();
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

bool ReceiverProcess::waitForError(const QString& text, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!standardError().contains(text)) {
        if (process_.state() == QProcess::NotRunning || clock.elapsed() > timeoutMs) return false;
        process_.waitForReadyRead(100);
    }
    return true;
}

QString ReceiverProcess::standardError()
{
    collect();
    return QString::fromUtf8(errors_);
}

}  // namespace vantor::receiver::test
