// A vantor-receiver run as the peer of a test, on one loopback address.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

class ReceiverProcess {
public:
    // extraArguments e.g. {"--answer", "refuse"}; --bind and --no-announce are added.
    ReceiverProcess(const QString& address, const QStringList& extraArguments);
    ~ReceiverProcess();

    // True once the command port accepts connections.
    bool waitUntilListening(int timeoutMs = 5000);
    // Waits for the receiver's "cast-summary" line; returns it (empty on time-out).
    QString waitForSummary(int timeoutMs = 15000);
    QString output();

    // The number after "key=" in a summary line, or -1.
    static long long field(const QString& summary, const QString& key);

    const QString& address() const { return address_; }

private:
    QString address_;
    QProcess process_;
    QString output_;
};

QString receiverProgram();
QString castProgram();
