#include "src/discovery/codereceiver.h"

#include <QDateTime>
#include <QDebug>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTimer>
#include <QVariant>

#include "Comm/logging.h"
#include "src/discovery/announcement.h"

namespace {

constexpr auto kBindMode = QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint;

qint64 wallClockSeconds() { return QDateTime::currentSecsSinceEpoch(); }

// Test hook: when VANTOR_MULTICAST_INTERFACE names an interface (the tests set
// "lo"), the groups are joined on that interface only, so that no membership
// report leaves through a real network card. Unset, the system picks the
// interface as it would for any program.
QNetworkInterface multicastInterfaceOverride()
{
    const QString name = qEnvironmentVariable("VANTOR_MULTICAST_INTERFACE");
    if (name.isEmpty()) return QNetworkInterface();
    return QNetworkInterface::interfaceFromName(name);
}

bool useInterfaceOverride() { return !qEnvironmentVariableIsEmpty("VANTOR_MULTICAST_INTERFACE"); }

}  // namespace

CodeReceiver& CodeReceiver::instance()
{
    static CodeReceiver receiver;
    return receiver;
}

CodeReceiver::CodeReceiver()
    : groupAddress4_(QStringLiteral("239.255.255.250")),
      groupAddress6_(QStringLiteral("ff12::2115")),
      clock_(wallClockSeconds)
{
    std::lock_guard<std::mutex> lock(discoveryMutex());

    if (!udpSocket4_.bind(QHostAddress::AnyIPv4, kDiscoveryPort, kBindMode)) {
        LOG(INFO) << "bind error";
    }
    if (!joinGroup(udpSocket4_, groupAddress4_)) {
        LOG(INFO) << "join error";
    }
    if (!udpSocket6_.bind(QHostAddress::AnyIPv6, kDiscoveryPort, kBindMode) ||
        !joinGroup(udpSocket6_, groupAddress6_)) {
        LOG(INFO) << "Listening for multicast messages on IPv4 only";
    }
    connect(&udpSocket4_, &QUdpSocket::readyRead, this, &CodeReceiver::processPendingDatagrams);
    connect(&udpSocket6_, &QUdpSocket::readyRead, this, &CodeReceiver::processPendingDatagrams);

    expiryTimer_ = new QTimer(this);
    connect(expiryTimer_, &QTimer::timeout, this, &CodeReceiver::removeDead);
    expiryTimer_->start(kExpiryPeriodMs);

    for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol) localIP_ << address.toString();
    }
    qDebug() << "CodeReceiver localIP" << localIP_;
}

CodeReceiver::~CodeReceiver()
{
    expiryTimer_->stop();
    leaveGroup(udpSocket4_, groupAddress4_);
    udpSocket4_.close();
    leaveGroup(udpSocket1900_, groupAddress4_);
    udpSocket1900_.close();
    leaveGroup(udpSocket6_, groupAddress6_);
    udpSocket6_.close();
}

bool CodeReceiver::joinGroup(QUdpSocket& socket, const QHostAddress& group)
{
    if (useInterfaceOverride()) {
        const QNetworkInterface iface = multicastInterfaceOverride();
        return iface.isValid() && socket.joinMulticastGroup(group, iface);
    }
    return socket.joinMulticastGroup(group);
}

void CodeReceiver::leaveGroup(QUdpSocket& socket, const QHostAddress& group)
{
    if (socket.state() != QAbstractSocket::BoundState) return;
    if (useInterfaceOverride()) {
        const QNetworkInterface iface = multicastInterfaceOverride();
        if (iface.isValid()) socket.leaveMulticastGroup(group, iface);
        return;
    }
    socket.leaveMulticastGroup(group);
}

void CodeReceiver::setClock(std::function<qint64()> clock)
{
    std::lock_guard<std::mutex> lock(discoveryMutex());
    clock_ = clock ? std::move(clock) : std::function<qint64()>(wallClockSeconds);
}

QHash<QString, Sink> CodeReceiver::sinks() const
{
    std::lock_guard<std::mutex> lock(discoveryMutex());
    return sinks_;
}

QString CodeReceiver::getHostByName(const QString& code)
{
    std::lock_guard<std::mutex> lock(discoveryMutex());
    for (const Sink& sink : qAsConst(sinks_)) {
        if (sink.code == code) return sink.ip;
    }
    return QString();
}

void CodeReceiver::processPendingDatagrams()
{
    try {
        while (udpSocket4_.hasPendingDatagrams()) {
            QByteArray datagram;
            datagram.resize(int(udpSocket4_.pendingDatagramSize()));
            QHostAddress sender;
            const qint64 size = udpSocket4_.readDatagram(datagram.data(), datagram.size(), &sender);
            if (size < 0) continue;
            datagram.resize(int(size));
            processMsg(sender, announcement::decodePayload(datagram));
        }
    } catch (...) {
        LOG(INFO) << "something error";
        return;
    }
    while (udpSocket6_.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = udpSocket6_.receiveDatagram();
        QByteArray payload = datagram.data();
        const int end = payload.indexOf('\0');
        if (end >= 0) payload.truncate(end);
        LOG(INFO) << "\n"
                  << QStringLiteral("Received IPv6 datagram from [%2]:%3: \"%1\"")
                         .arg(QString::fromLatin1(payload), datagram.senderAddress().toString(),
                              QString::number(datagram.senderPort()));
    }
}

void CodeReceiver::processPendingDatagramsPort1900()
{
    while (udpSocket1900_.hasPendingDatagrams()) {
        QByteArray datagram;
        datagram.resize(int(udpSocket1900_.pendingDatagramSize()));
        QHostAddress sender;
        const qint64 size = udpSocket1900_.readDatagram(datagram.data(), datagram.size(), &sender);
        if (size < 0) continue;
        datagram.resize(int(size));
        processMsg(sender, announcement::decodePayload(datagram));
    }
}

void CodeReceiver::processMsg(const QHostAddress& sender, const QString& text)
{
    std::lock_guard<std::mutex> lock(discoveryMutex());
    // A datagram that went through an IPv4-mapped path still reads as dotted decimal.
    bool isV4 = false;
    const quint32 v4 = sender.toIPv4Address(&isV4);
    const QString ip = isV4 ? QHostAddress(v4).toString() : sender.toString();
    if (localIP_.contains(ip)) return;  // our own announcements
    if (!announcement::hasPrefix(text)) return;

    Announcement parsed;
    try {
        parsed = announcement::parse(text);
    } catch (...) {
        LOG(INFO) << "parse error " << text;
        return;
    }

    if (parsed.leaving) {
        sinks_.remove(ip);
        if (sinks_.size() < kMaxSinks) tableFullLogged_ = false;
        return;
    }

    const qint64 now = clock_();
    auto found = sinks_.find(ip);
    if (found != sinks_.end() && found->code == parsed.code && found->name == parsed.name) {
        found->lastSeen = now;
        found->pinned = false;
        return;
    }
    if (found == sinks_.end() && sinks_.size() >= kMaxSinks) {
        if (!tableFullLogged_) {
            LOG(INFO) << "sinks table full (" << kMaxSinks
                      << " receivers), ignoring announcements from new addresses";
            tableFullLogged_ = true;
        }
        return;
    }
    sinks_.insert(ip, Sink{parsed.code, parsed.name, ip, parsed.rawType == 2, now, false});
    LOG(INFO) << "sinks " << sinks_.size() << " add " << parsed.code << " " << parsed.name << " "
              << ip << " " << parsed.rawType;
}

void CodeReceiver::removeDead()
{
    std::lock_guard<std::mutex> lock(discoveryMutex());
    try {
        const qint64 now = clock_();
        for (auto it = sinks_.begin(); it != sinks_.end();) {
            const qint64 age = now - it->lastSeen;
            if (!it->pinned && age > kMaxSilenceSeconds) {
                qDebug() << "sinks. remove " << it->ip;
                it = sinks_.erase(it);
            } else {
                ++it;
            }
        }
    } catch (...) {
        qDebug() << "sinks. remove ";
    }
    if (sinks_.size() < kMaxSinks) tableFullLogged_ = false;
}

void CodeReceiver::initPort1900()
{
    if (!udpSocket1900_.bind(QHostAddress::AnyIPv4, kSsdpPort, kBindMode)) {
        LOG(INFO) << "bind error";
    }
    if (!joinGroup(udpSocket1900_, groupAddress4_)) {
        LOG(INFO) << "join error";
    }
    connect(&udpSocket1900_, &QUdpSocket::readyRead, this,
            &CodeReceiver::processPendingDatagramsPort1900, Qt::UniqueConnection);
}

void CodeReceiver::onSinkAdd(const Sink& sink)
{
    std::lock_guard<std::mutex> lock(discoveryMutex());
    LOG(INFO) << sink.name;
    sinks_.insert(sink.ip, sink);
}

void CodeReceiver::onSinkRemove(const QString& name)
{
    std::lock_guard<std::mutex> lock(discoveryMutex());
    LOG(INFO) << name;
    for (auto it = sinks_.begin(); it != sinks_.end();) {
        if (it->name == name && it->pinned) {
            qDebug() << "remove " << it->ip;
            it = sinks_.erase(it);
        } else {
            ++it;
        }
    }
}
