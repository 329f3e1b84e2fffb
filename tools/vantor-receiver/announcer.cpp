#include "tools/vantor-receiver/announcer.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <QHostInfo>
#include <cstdio>

namespace vantor::receiver {

namespace {
const char kGroup[] = "239.255.255.250";
constexpr quint16 kAnnouncePort = 43572;
}  // namespace

QByteArray announcementDatagram(const QString& code, const QString& name, bool present)
{
    const QString text = QString("#:#castcode#:#%1#:#%2#:#linux#:#false#:#1#:#%3")
                             .arg(code, name, present ? "1" : "0");
    return text.toUtf8();
}

Announcer::Announcer(const ReceiverOptions& options, QObject* parent)
    : QObject(parent), options_(options)
{
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, &Announcer::announce);
}

bool Announcer::start()
{
    if (!socket_.bind(options_.bindAddress, 0)) {
        std::fprintf(stderr, "vantor-receiver: cannot bind the announcement socket to %s: %s\n",
                     qPrintable(options_.bindAddress.toString()),
                     qPrintable(socket_.errorString()));
        return false;
    }
    if (options_.announceHost.isEmpty()) {
        target_ = QHostAddress(kGroup);
        targetPort_ = kAnnouncePort;
        // Announcements stay on the local link and leave through the bound interface.
        socket_.setSocketOption(QAbstractSocket::MulticastTtlOption, 1);
        if (options_.bindAddress != QHostAddress(QHostAddress::AnyIPv4)) {
            in_addr address{};
            address.s_addr = htonl(options_.bindAddress.toIPv4Address());
            if (setsockopt(int(socket_.socketDescriptor()), IPPROTO_IP, IP_MULTICAST_IF, &address,
                           sizeof address) != 0)
                std::fprintf(stderr, "vantor-receiver: cannot send multicast from %s\n",
                             qPrintable(options_.bindAddress.toString()));
        }
    } else {
        target_ = QHostAddress(options_.announceHost);
        if (target_.isNull()) {
            const QHostInfo info = QHostInfo::fromName(options_.announceHost);
            for (const QHostAddress& a : info.addresses())
                if (a.protocol() == QAbstractSocket::IPv4Protocol) target_ = a;
        }
        targetPort_ = options_.announcePort;
        if (target_.isNull()) {
            std::fprintf(stderr, "vantor-receiver: cannot resolve %s\n",
                         qPrintable(options_.announceHost));
            return false;
        }
    }
    announce();
    timer_.start();
    return true;
}

void Announcer::withdraw()
{
    if (!timer_.isActive()) return;
    timer_.stop();
    send(announcementDatagram(options_.code, options_.name, false));
}

void Announcer::announce() { send(announcementDatagram(options_.code, options_.name, true)); }

void Announcer::send(const QByteArray& datagram)
{
    if (socket_.writeDatagram(datagram, target_, targetPort_) < 0)
        std::fprintf(stderr, "vantor-receiver: announcement not sent: %s\n",
                     qPrintable(socket_.errorString()));
}

}  // namespace vantor::receiver
