// Who holds the receiver: the sender of the running cast, or one just accepted whose
// media connections have not arrived yet. Everyone else hears "busy".
#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>

namespace vantor::receiver {

class CastState {
public:
    // An accepted sender keeps its claim this long without opening the media ports.
    static constexpr qint64 kReservationMs = 15000;

    bool isBusyFor(const QHostAddress& peer) const;
    void reserve(const QHostAddress& peer);
    // The host name a sender gave in its request; empty when it gave none.
    void setSenderName(const QHostAddress& peer, const QString& name);
    QString senderName(const QHostAddress& peer) const;
    void castStarted(const QHostAddress& peer);
    void castEnded();
    // True when media connections from this peer may start a cast now.
    bool admitsMediaFrom(const QHostAddress& peer) const;

private:
    bool reservationValid() const;

    bool castRunning_ = false;
    QHostAddress castPeer_;
    QHostAddress reservedPeer_;
    QElapsedTimer reservedSince_;
    QHash<QString, QString> senderNames_;  // by address text
};

}  // namespace vantor::receiver
