#include "tests/session/receiverprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QThread>

QString receiverProgram() { return QStringLiteral(VANTOR_RECEIVER_PROGRAM); }

QString castProgram() { return QStringLiteral(VANTOR_CAST_PROGRAM); }

ReceiverProcess::ReceiverProcess(const QString& address, const QStringList& extraArguments)
    : address_(address)
{
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.setStandardErrorFile(QString("/tmp/vantor-receiver-%1.err").arg(address));
    process_.start(receiverProgram(),
                   QStringList{"--bind", address, "--no-announce"} + extraArguments);
    process_.waitForStarted(5000);
}

ReceiverProcess::~ReceiverProcess()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }
}

bool ReceiverProcess::waitUntilListening(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QTcpSocket probe;
        probe.connectToHost(address_, 43575);
        if (probe.waitForConnected(200)) {
            probe.abort();
            // Someone else's receiver on the same address would answer too.
            return !process_.waitForFinished(100) && process_.state() == QProcess::Running;
        }
        QThread::msleep(50);
    }
    return false;
}

QString ReceiverProcess::output()
{
    output_ += QString::fromUtf8(process_.readAllStandardOutput());
    return output_;
}

QString ReceiverProcess::waitForSummary(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        for (const QString& line : output().split('\n'))
            if (line.startsWith("cast-summary")) return line;
        process_.waitForReadyRead(50);
        QCoreApplication::processEvents();
    }
    return {};
}

long long ReceiverProcess::field(const QString& summary, const QString& key)
{
    const QRegularExpression pattern("(?:^| )" + QRegularExpression::escape(key) + "=(\\d+)");
    const auto match = pattern.match(summary);
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}
