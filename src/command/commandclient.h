// The command channel: asks a receiver, over TCP port 43575, whether we may cast
// to it, and turns its one-line answers into signals. One client per attempt.
#pragma once

#include <QAbstractSocket>
#include <QObject>
#include <QString>

#include "src/command/linesplitter.h"

class QTcpSocket;

class CommandClient : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 kCommandPort = 43575;
    // A receiver that never ends its line must not fill our memory.
    static constexpr qint64 kMaxLineBytes = 64 * 1024;

    CommandClient();
    ~CommandClient() override;

    // Starts connecting to `host`; the outcome arrives as a signal. Always true.
    bool connectTo(const QString& host);

    // "connect#:#<hardware address>#:#<host name>\n"
    static QString connectLine();

    // The receiver has given its answer (accept, refuse or busy).
    bool answered() const { return answered_; }

signals:
    void connected(const QString& host);
    void accept(const QString& host);
    void refuse(const QString& host);
    void busy(const QString& host);
    void error(const QString& host);
    // The command connection ended, whichever side closed it.
    void closed(const QString& host);

private slots:
    void readMsg();
    void displayError(QAbstractSocket::SocketError code);
    void discardSocket();
    void sinkConnected();

private:
    // Acts on one answer line; false when the connection is to be closed.
    bool dispatchLine(const QString& line);
    void closeOverlongLine();

    QString host_;
    QTcpSocket* socket_ = nullptr;
    bool answered_ = false;
    // A line may hold kMaxLineBytes bytes before its line feed.
    LineSplitter lines_{int(kMaxLineBytes) + 1, int(kMaxLineBytes)};
};
