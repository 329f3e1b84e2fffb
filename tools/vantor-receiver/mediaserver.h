// The media ports: video on 43572, audio on 43573. A cast is one connection on each
// from the same sender; one cast runs at a time, the next starts when it has ended.
#pragma once

#include <QObject>
#include <QTcpServer>

#include "tools/vantor-receiver/cast.h"
#include "tools/vantor-receiver/caststate.h"
#include "tools/vantor-receiver/receiveroptions.h"

namespace vantor::receiver {

constexpr quint16 kVideoPort = 43572;
constexpr quint16 kAudioPort = 43573;

class MediaServer : public QObject {
    Q_OBJECT
public:
    // player: the --play window, or null.
    MediaServer(const ReceiverOptions& options, CastState* state, Player* player,
                QObject* parent = nullptr);
    ~MediaServer() override;
    bool listen();
    // Ends the running cast, if any (summary printed, recording finished).
    void stopAll();

private:
    void admit(MediaChannel kind, QTcpSocket* socket);
    void castFinished(Cast* cast);

    ReceiverOptions options_;
    CastState* state_;
    Player* player_;
    QTcpServer videoServer_;
    QTcpServer audioServer_;
    Cast* cast_ = nullptr;
    int castCount_ = 0;
};

}  // namespace vantor::receiver
