// Streams one receiver: opens its video and audio channels, writes the audio
// stream header, then drains the receiver's two queues in a thread of its own,
// each packet as an 8-byte header and its payload.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>
#include <atomic>
#include <memory>

#include "src/transport/packetqueue.h"
#include "src/transport/sendcontext.h"
#include "src/transport/sendstats.h"
#include "src/transport/sockethelpers.h"

class Sender : public QObject {
    Q_OBJECT
public:
    Sender(std::shared_ptr<SendContext> owner, const QString& host, PacketQueuePtr videoQueue,
           PacketQueuePtr audioQueue, std::shared_ptr<SendStats> stats = nullptr);
    ~Sender() override;

    // Moves the Sender to its thread and starts that thread.
    void start();

    // Ends the send loop at its next pass (also wakes it if it waits for packets).
    void requestStop();
    bool stopRequested() const { return stop_.load(); }

    const QString& host() const { return host_; }
    const std::shared_ptr<SendStats>& stats() const { return stats_; }
    QThread* workerThread() const { return thread_; }

    static constexpr int kMaxRetry = 10;

signals:
    void sigConnected();
    void sigDisconnected(QString host);

public slots:
    void send();
    // Records how the stream ended; the first reason given counts.
    void endAs(StreamEnd end);
    void disconnected();
    void bytesWritten(qint64 bytes);

private:
    void streamLoop();
    // takenAtNs: when it came off the queue.
    void writeVideo(Packet* packet, int64_t takenAtNs);
    void writeAudio(Packet* packet);
    void flushQueues();
    void closeAudioChannel();

    std::shared_ptr<SendContext> owner_;
    QString host_;
    std::atomic<bool> stop_{false};
    PacketQueuePtr videoQueue_;
    PacketQueuePtr audioQueue_;
    QPointer<QThread> thread_;
    std::shared_ptr<SendStats> stats_;

    std::atomic<bool> sendRequested_{false};  // send() runs once per Sender
    TcpSocket videoSocket_ = kInvalidSocket;
    TcpSocket audioSocket_ = kInvalidSocket;
    int retry_ = 0;
};
