// Echo service on TCP port 43576 for the whole life of the process: peers check
// that this PC is still there by getting their bytes back.
#pragma once

#include <QList>
#include <QObject>

class QNetworkSession;
class QTcpServer;
class QTcpSocket;

class KeepAlive : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 kEchoPort = 43576;
    // A client that sends but never reads must not make us buffer without end:
    // past this many unsent bytes we stop reading from it until it drains.
    static constexpr qint64 kMaxPendingWriteBytes = 4 * 1024 * 1024;
    static constexpr qint64 kReadBufferBytes = 1024 * 1024;

    static KeepAlive& instance();

    // The process uses instance(); tests build their own servers.
    KeepAlive();
    ~KeepAlive() override;

    void closeAll();

    const QList<QTcpSocket*>& clients() const { return clients_; }
    bool isListening() const;

private slots:
    void sessionOpened();
    void newConnection();
    void appendToSocketList(QTcpSocket* socket);
    void readSocket();
    void discardSocket();

private:
    void echo(QTcpSocket* socket);
    void echoAfterDrain(qint64 bytesWritten);

    QTcpServer* tcpServer_ = nullptr;
    QList<QTcpSocket*> clients_;
    QNetworkSession* networkSession_ = nullptr;
};
