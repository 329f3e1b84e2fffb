// Tells senders on the LAN that this receiver is there: one datagram a second, by
// multicast from the bound interface or by unicast to a chosen address.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>

#include "tools/vantor-receiver/receiveroptions.h"

namespace vantor::receiver {

// "#:#castcode#:#<code>#:#<name>#:#linux#:#false#:#1#:#<presence>"
QByteArray announcementDatagram(const QString& code, const QString& name, bool present);

class Announcer : public QObject {
    Q_OBJECT
public:
    explicit Announcer(const ReceiverOptions& options, QObject* parent = nullptr);

    // Binds the sending socket; false (with a line on stderr) when that fails.
    bool start();
    // Sends the leaving announcement once and stops the timer.
    void withdraw();

private slots:
    void announce();

private:
    void send(const QByteArray& datagram);

    ReceiverOptions options_;
    QHostAddress target_;
    quint16 targetPort_ = 0;
    QUdpSocket socket_;
    QTimer timer_;
};

}  // namespace vantor::receiver
