#include "tools/vantor-receiver/caststate.h"

namespace vantor::receiver {

namespace {
bool sameHost(const QHostAddress& a, const QHostAddress& b) { return a.isEqual(b); }
}  // namespace

bool CastState::isBusyFor(const QHostAddress& peer) const
{
    if (castRunning_) return !sameHost(castPeer_, peer);
    return reservationValid() && !sameHost(reservedPeer_, peer);
}

void CastState::reserve(const QHostAddress& peer)
{
    reservedPeer_ = peer;
    reservedSince_.start();
}

void CastState::setSenderName(const QHostAddress& peer, const QString& name)
{
    // One entry per sender address, so this stays as small as the senders are few.
    senderNames_.insert(peer.toString(), name);
}

QString CastState::senderName(const QHostAddress& peer) const
{
    return senderNames_.value(peer.toString());
}

void CastState::castStarted(const QHostAddress& peer)
{
    castRunning_ = true;
    castPeer_ = peer;
    reservedSince_.invalidate();
}

void CastState::castEnded()
{
    castRunning_ = false;
    castPeer_.clear();
}

bool CastState::admitsMediaFrom(const QHostAddress& peer) const
{
    return !castRunning_ && !(reservationValid() && !sameHost(reservedPeer_, peer));
}

bool CastState::reservationValid() const
{
    return reservedSince_.isValid() && reservedSince_.elapsed() < kReservationMs;
}

}  // namespace vantor::receiver
