// Runs vantor-receiver as a child process and follows its standard output.
#pragma once

#include <QProcess>
#include <QStringList>

namespace vantor::receiver::test {

class ReceiverProcess {
public:
    ~ReceiverProcess();
    // Starts the program and waits for its "ready" line.
    bool start(const QStringList& arguments);
    // Waits for a standard-output line that begins with prefix; empty text on time-out.
    QString waitForLine(const QString& prefix, int timeoutMs = 20000);
    // SIGTERM, then the exit code (-1 when it did not exit normally).
    int terminate();
    int waitForExit(int timeoutMs = 20000);
    QString standardError();
    void writeInput(const QByteArray& bytes)
    {
        process_.write(bytes);
        process_.waitForBytesWritten(5000);
    }
    // Waits until standard error contains text.
    bool waitForError(const QString& text, int timeoutMs = 20000);
    QStringList lines() const { return lines_; }

private:
    void collect();

    QProcess process_;
    QStringList lines_;
    int consumed_ = 0;
    QByteArray partial_;
    QByteArray errors_;
};

}  // namespace vantor::receiver::test
