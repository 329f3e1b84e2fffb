#include "src/command/commandclient.h"

#include <QDebug>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QPointer>
#include <QTcpSocket>

#include "Comm/logging.h"

namespace {

const char kSeparator[] = "#:#";

QString firstHardwareAddress()
{
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
        if (!iface.flags().testFlag(QNetworkInterface::IsLoopBack)) return iface.hardwareAddress();
    }
    return QString();
}

}  // namespace

CommandClient::CommandClient()
{
    qRegisterMetaType<QAbstractSocket::SocketError>("QAbstractSocket::SocketError");
    socket_ = new QTcpSocket(this);
    connect(socket_, &QTcpSocket::readyRead, this, &CommandClient::readMsg);
    connect(socket_, &QTcpSocket::connected, this, &CommandClient::sinkConnected);
    connect(socket_, &QTcpSocket::disconnected, this, &CommandClient::discardSocket);
    connect(socket_, &QTcpSocket::errorOccurred, this, &CommandClient::displayError);
}

CommandClient::~CommandClient()
{
    if (socket_) {
        socket_->disconnect(this);
        socket_->close();
        socket_->deleteLater();
        socket_ = nullptr;
    }
}

QString CommandClient::connectLine()
{
    return QStringLiteral("connect") + kSeparator + firstHardwareAddress() + kSeparator +
           QHostInfo::localHostName() + "\n";
}

bool CommandClient::connectTo(const QString& host)
{
    LOG(INFO) << host;
    host_ = host;
    answered_ = false;
    lines_.clear();  // nothing of an earlier connection carries over
    socket_->connectToHost(host, kCommandPort, QIODevice::ReadWrite,
                           QAbstractSocket::AnyIPProtocol);
    return true;
}

void CommandClient::sinkConnected()
{
    emit connected(host_);
    const QString line = connectLine();
    LOG(INFO) << line;
    socket_->write(line.toUtf8());
    socket_->flush();
}

void CommandClient::readMsg()
{
    if (!socket_ || !socket_->isOpen()) return;
    lines_.append(socket_->readAll());
    while (socket_ && socket_->isOpen()) {
        QByteArray raw;
        const LineSplitter::Next next = lines_.next(&raw);
        if (next == LineSplitter::Next::NeedMore) return;
        if (next == LineSplitter::Next::TooLong) {
            closeOverlongLine();
            return;
        }
        const QString line = QString::fromUtf8(raw);
        LOG(INFO) << line;
        // A slot may drop this client while we emit; stop reading then.
        const QPointer<CommandClient> self(this);
        const bool keepOpen = dispatchLine(line);
        if (!self) return;
        if (!keepOpen) {
            socket_->close();
            return;
        }
    }
}

void CommandClient::closeOverlongLine()
{
    LOG(INFO) << "answer line longer than " << kMaxLineBytes
              << " bytes, closing the command connection to " << host_;
    socket_->close();
}

bool CommandClient::dispatchLine(const QString& line)
{
    if (line.startsWith(QLatin1String("accept"))) {
        answered_ = true;
        emit accept(host_);
    } else if (line.startsWith(QLatin1String("refuse"))) {
        answered_ = true;
        emit refuse(host_);
    } else if (line.startsWith(QLatin1String("busy"))) {
        answered_ = true;
        emit busy(host_);
    } else if (line.startsWith(QLatin1String("close"))) {
        return false;
    }
    return true;
}

void CommandClient::displayError(QAbstractSocket::SocketError code)
{
    switch (code) {
        case QAbstractSocket::ConnectionRefusedError:
            qDebug() << tr(
                "The connection was refused by the peer. and check that the host name "
                "and port settings are correct.");
            emit error(host_);
            break;
        case QAbstractSocket::RemoteHostClosedError:
            qDebug() << "RemoteHostClosedError";
            break;
        case QAbstractSocket::HostNotFoundError:
            qDebug() << tr("The host was not found. Please check the host name and port settings.");
            emit error(host_);
            break;
        default:
            qDebug() << tr("The following error occurred: %1.").arg(socket_->errorString());
            break;
    }
}

void CommandClient::discardSocket() { emit closed(host_); }
