#include "src/keepalive/keepalive.h"

#include <QDebug>
#include <QNetworkConfigurationManager>
#include <QNetworkInterface>
#include <QNetworkSession>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>

#include "Comm/logging.h"

// The network-session handling rests on Qt's bearer API, deprecated in Qt 5.15 but
// still what decides whether a session must be opened before listening.
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED

namespace {

const char kSettingsOrganisation[] = "QtProject";
const char kSettingsGroup[] = "QtNetwork";
const char kSettingsKey[] = "DefaultNetworkConfiguration";

QString reportedAddress()
{
    for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
        if (address != QHostAddress::LocalHost && address.toIPv4Address() != 0)
            return address.toString();
    }
    return QString();
}

}  // namespace

KeepAlive& KeepAlive::instance()
{
    static KeepAlive keepAlive;
    return keepAlive;
}

KeepAlive::KeepAlive()
{
    QNetworkConfigurationManager manager;
    if (manager.capabilities() & QNetworkConfigurationManager::NetworkSessionRequired) {
        QSettings settings(QSettings::UserScope, QLatin1String(kSettingsOrganisation));
        settings.beginGroup(QLatin1String(kSettingsGroup));
        const QString id = settings.value(QLatin1String(kSettingsKey)).toString();
        settings.endGroup();

        QNetworkConfiguration config = manager.configurationFromIdentifier(id);
        if ((config.state() & QNetworkConfiguration::Discovered) !=
            QNetworkConfiguration::Discovered) {
            config = manager.defaultConfiguration();
        }
        networkSession_ = new QNetworkSession(config, this);
        connect(networkSession_, &QNetworkSession::opened, this, &KeepAlive::sessionOpened);
        networkSession_->open();
    } else {
        sessionOpened();
    }
}

KeepAlive::~KeepAlive()
{
    closeAll();
    if (tcpServer_) {
        tcpServer_->close();
        tcpServer_->deleteLater();
    }
}

bool KeepAlive::isListening() const { return tcpServer_ && tcpServer_->isListening(); }

void KeepAlive::sessionOpened()
{
    if (networkSession_) {
        const QNetworkConfiguration config = networkSession_->configuration();
        const QString id =
            config.type() == QNetworkConfiguration::UserChoice
                ? networkSession_->sessionProperty(QLatin1String("UserChoiceConfiguration"))
                      .toString()
                : config.identifier();
        QSettings settings(QSettings::UserScope, QLatin1String(kSettingsOrganisation));
        settings.beginGroup(QLatin1String(kSettingsGroup));
        settings.setValue(QLatin1String(kSettingsKey), id);
        settings.endGroup();
    }

    tcpServer_ = new QTcpServer(this);
    connect(tcpServer_, &QTcpServer::newConnection, this, &KeepAlive::newConnection);
    if (tcpServer_->listen(QHostAddress::Any, kEchoPort)) {
        qDebug() << "keepalive running on " << reportedAddress();
    } else {
        LOG(INFO) << "Unable to start the server: " << tcpServer_->errorString();
    }
}

void KeepAlive::newConnection()
{
    while (tcpServer_->hasPendingConnections())
        appendToSocketList(tcpServer_->nextPendingConnection());
}

void KeepAlive::appendToSocketList(QTcpSocket* socket)
{
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // Bounded, so that a paused client leaves its bytes in the kernel and TCP
    // flow control slows the sender down.
    socket->setReadBufferSize(kReadBufferBytes);
    clients_.append(socket);
    connect(socket, &QTcpSocket::readyRead, this, &KeepAlive::readSocket);
    connect(socket, &QTcpSocket::disconnected, this, &KeepAlive::discardSocket);
    connect(socket, &QTcpSocket::bytesWritten, this, &KeepAlive::echoAfterDrain);
}

void KeepAlive::readSocket() { echo(qobject_cast<QTcpSocket*>(sender())); }

void KeepAlive::echoAfterDrain(qint64) { echo(qobject_cast<QTcpSocket*>(sender())); }

void KeepAlive::echo(QTcpSocket* socket)
{
    if (!socket) return;
    while (socket->bytesAvailable() > 0 && socket->bytesToWrite() < kMaxPendingWriteBytes) {
        const QByteArray data = socket->read(kMaxPendingWriteBytes - socket->bytesToWrite());
        if (data.isEmpty()) break;
        socket->write(data);
    }
}

void KeepAlive::discardSocket()
{
    auto* socket = qobject_cast<QTcpSocket*>(sender());
    if (!socket) return;
    clients_.removeOne(socket);
    socket->deleteLater();
}

void KeepAlive::closeAll()
{
    const QList<QTcpSocket*> copy = clients_;
    clients_.clear();
    for (QTcpSocket* socket : copy) {
        // Closing emits disconnected; the list is already empty, nothing to forget twice.
        socket->close();
        socket->deleteLater();
    }
}

QT_WARNING_POP
