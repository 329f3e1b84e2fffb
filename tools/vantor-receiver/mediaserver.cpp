#include "tools/vantor-receiver/mediaserver.h"

#include <QTcpSocket>
#include <cstdio>

namespace vantor::receiver {

MediaServer::MediaServer(const ReceiverOptions& options, CastState* state, Player* player,
                         QObject* parent)
    : QObject(parent), options_(options), state_(state), player_(player)
{
    connect(&videoServer_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = videoServer_.nextPendingConnection())
            admit(MediaChannel::Video, socket);
    });
    connect(&audioServer_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = audioServer_.nextPendingConnection())
            admit(MediaChannel::Audio, socket);
    });
}

MediaServer::~MediaServer()
{
    if (!cast_) return;
    cast_->disconnect(this);
    delete cast_;  // finishes the recording
}

bool MediaServer::listen()
{
    for (auto [server, port] :
         {std::pair{&videoServer_, kVideoPort}, {&audioServer_, kAudioPort}}) {
        if (server->listen(options_.bindAddress, port)) continue;
        std::fprintf(stderr, "vantor-receiver: cannot listen on %s:%u: %s\n",
                     qPrintable(options_.bindAddress.toString()), port,
                     qPrintable(server->errorString()));
        return false;
    }
    return true;
}

void MediaServer::stopAll()
{
    if (cast_) cast_->stop();
}

void MediaServer::admit(MediaChannel kind, QTcpSocket* socket)
{
    const QHostAddress peer = socket->peerAddress();
    if (cast_ && cast_->peer().isEqual(peer) && cast_->channelUsed(kind) &&
        !cast_->channelOpen(kind)) {
        // A fresh connection on a channel this sender already closed starts its next cast.
        cast_->stop();
    }
    if (cast_ && (!cast_->peer().isEqual(peer) || cast_->channelOpen(kind))) {
        std::fprintf(stderr, "refused %s connection from %s: a cast from %s is running\n",
                     channelName(kind), qPrintable(peer.toString()),
                     qPrintable(cast_->peer().toString()));
        socket->abort();
        socket->deleteLater();
        return;
    }
    if (!cast_) {
        if (!state_->admitsMediaFrom(peer)) {
            std::fprintf(stderr, "refused %s connection from %s: another sender was accepted\n",
                         channelName(kind), qPrintable(peer.toString()));
            socket->abort();
            socket->deleteLater();
            return;
        }
        const QString path = options_.recordPath.isEmpty()
                                 ? QString()
                                 : recordingPathForCast(options_.recordPath, ++castCount_);
        cast_ = new Cast(peer, state_->senderName(peer), options_, path, player_, this);
        state_->castStarted(peer);
        connect(cast_, &Cast::finished, this, &MediaServer::castFinished);
    }
    cast_->attach(kind, socket);
}

void MediaServer::castFinished(Cast* cast)
{
    if (cast != cast_) return;
    cast_ = nullptr;
    state_->castEnded();
    cast->deleteLater();
}

}  // namespace vantor::receiver
