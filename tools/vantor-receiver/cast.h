// One cast: the video and the audio connection of one sender, their validation,
// the per-second status line, the optional recording and playback, and the closing
// summary line.
#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <memory>

#include "tools/vantor-receiver/player/castplayback.h"
#include "tools/vantor-receiver/receiveroptions.h"
#include "tools/vantor-receiver/recorder.h"
#include "tools/vantor-receiver/streamparser.h"

class QTcpSocket;

namespace vantor::receiver {

class Player;

class Cast : public QObject {
    Q_OBJECT
public:
    // player: the --play window, or null. senderName: the host name the sender gave.
    Cast(const QHostAddress& peer, const QString& senderName, const ReceiverOptions& options,
         const QString& recordPath, Player* player, QObject* parent = nullptr);
    ~Cast() override;

    const QHostAddress& peer() const { return peer_; }
    bool channelUsed(MediaChannel kind) const { return channel(kind).used; }
    bool channelOpen(MediaChannel kind) const { return channel(kind).socket != nullptr; }
    void attach(MediaChannel kind, QTcpSocket* socket);
    // Ends the cast now: takes what has arrived, closes both connections, finishes
    // the recording and prints the summary.
    void stop();

signals:
    void finished(Cast* cast);

private:
    struct Channel {
        explicit Channel(MediaChannel k) : kind(k), parser(k) {}
        MediaChannel kind;
        StreamParser parser;
        QTcpSocket* socket = nullptr;
        bool used = false;
        bool stalled = false;  // stopped reading on purpose (test aid)
        quint64 frames = 0;
        quint64 bytes = 0;
        quint32 lastTimestamp = 0;
    };

    Channel& channel(MediaChannel kind) { return kind == MediaChannel::Video ? video_ : audio_; }
    const Channel& channel(MediaChannel kind) const
    {
        return kind == MediaChannel::Video ? video_ : audio_;
    }
    void read(Channel& ch);
    void takeFrames(Channel& ch, int64_t receivedNs);
    void handleFrame(Channel& ch, MediaFrame& frame, int64_t receivedNs);
    void reportError(Channel& ch);
    void peerClosed(Channel& ch);
    void close(Channel& ch);
    void afterChannelClosed();
    void printStatus();
    void finish();

    QHostAddress peer_;
    ReceiverOptions options_;
    std::unique_ptr<Recorder> recorder_;
    std::unique_ptr<CastPlayback> playback_;
    Channel video_{MediaChannel::Video};
    Channel audio_{MediaChannel::Audio};
    QTimer statusTimer_;
    QTimer audioGraceTimer_;
    QElapsedTimer sinceStatus_;
    quint64 videoFramesAtStatus_ = 0;
    quint64 videoBytesAtStatus_ = 0;
    bool firstVideoSeen_ = false;
    bool firstVideoSps_ = false, firstVideoPps_ = false, firstVideoIdr_ = false;
    bool audioHeaderReported_ = false;
    int errors_ = 0;
    bool finished_ = false;
};

}  // namespace vantor::receiver
