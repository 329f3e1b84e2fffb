#include "Comm/networkinfo.h"

#include <QDateTime>
#include <QHostInfo>
#include <QMutexLocker>
#include <QNetworkConfigurationManager>
#include <QTimer>
#include <QtDebug>

NetWorkInfo* NetWorkInfo::s_instance = nullptr;
QMutex NetWorkInfo::s_instanceMutex;

NetWorkInfo* NetWorkInfo::instance()
{
    if (s_instance == nullptr) {
        QMutexLocker lock(&s_instanceMutex);
        if (s_instance == nullptr) {
            s_instance = new NetWorkInfo;
        }
    }
    return s_instance;
}

void NetWorkInfo::release()
{
    QMutexLocker lock(&s_instanceMutex);
    delete s_instance;
    s_instance = nullptr;
}

// Qt 5.15 marks the configuration manager deprecated; it is still what reports
// whether this PC is online at start.
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
NetWorkInfo::NetWorkInfo(QObject* parent)
    : QThread(parent),
      m_configurationManager(new QNetworkConfigurationManager(this)),
      m_timer(new QTimer(this))
{
    m_netAvailable = m_configurationManager->isOnline();
    connect(m_timer, &QTimer::timeout, this, &NetWorkInfo::slotTimeproc);
    m_timer->start(kTimerMs);
}
QT_WARNING_POP

NetWorkInfo::~NetWorkInfo()
{
    m_timer->stop();
    qDebug() << QDateTime::currentDateTime().toString(Qt::ISODateWithMs) << "before ";
    QThread::msleep(kReleaseWaitMs);
    qDebug() << QDateTime::currentDateTime().toString(Qt::ISODateWithMs) << "after ";
    m_timer->disconnect();
    wait();  // run() returns at once; never leave a started thread behind
}

void NetWorkInfo::run() {}

void NetWorkInfo::slotTimeproc() {}

void NetWorkInfo::slotOnlineStateChanged(bool isOnline)
{
    qDebug() << "\n online state change:" << isOnline;
    m_netAvailable = isOnline;
    emit sigNetAvailble(isOnline);
    m_ipAddr = isOnline ? getIP(m_hostName) : QString();
    emit sigIPAddr(m_ipAddr);
}

QString NetWorkInfo::firstUsableIPv4(const QList<QHostAddress>& addresses)
{
    for (const QHostAddress& address : addresses) {
        if (!address.isNull() && address.protocol() == QAbstractSocket::IPv4Protocol &&
            !address.isLoopback()) {
            return address.toString();
        }
    }
    return QString();
}

QString NetWorkInfo::getIP(const QString& hostName) const
{
    return firstUsableIPv4(QHostInfo::fromName(hostName).addresses());
}
