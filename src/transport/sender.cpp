#include "src/transport/sender.h"

#include <QCoreApplication>
#include <QDebug>

#include "Comm/tsanhandover.h"
#include "src/transport/framewriter.h"
#include "src/transport/mediaframing.h"

Sender::Sender(std::shared_ptr<SendContext> owner, const QString& host, PacketQueuePtr videoQueue,
               PacketQueuePtr audioQueue, std::shared_ptr<SendStats> stats)
    : owner_(std::move(owner)),
      host_(host),
      videoQueue_(std::move(videoQueue)),
      audioQueue_(std::move(audioQueue)),
      thread_(new QThread),
      stats_(stats ? std::move(stats) : std::make_shared<SendStats>())
{
    connect(thread_, &QThread::finished, thread_, &QObject::deleteLater);
}

Sender::~Sender()
{
    // A Sender that was never started (or already ended) leaves an idle thread.
    if (thread_ && thread_ != QThread::currentThread()) {
        thread_->quit();
        thread_->wait();
        if (!thread_->isRunning()) delete thread_.data();
    }
}

void Sender::start()
{
    moveToThread(thread_);
    thread_->start(QThread::InheritPriority);
}

void Sender::requestStop()
{
    {
        std::lock_guard<std::mutex> lock(owner_->mutex);
        stop_ = true;
    }
    owner_->packetsReady.notify_all();
}

void Sender::send()
{
    // The session repeats its start request whenever another receiver joins; a
    // Sender streams once.
    if (sendRequested_.exchange(true)) return;
    streamLoop();
    // Hand the object back to the main thread before announcing the end, so the
    // deferred deletion the session schedules runs there, whatever this thread does.
    QThread* worker = thread_;
    if (QCoreApplication::instance()) moveToThread(QCoreApplication::instance()->thread());
    disconnected();
    if (worker) worker->quit();
}

void Sender::streamLoop()
{
    // A stop that came before this thread got here (the user cancelled, the session
    // was released) ends the Sender before it opens anything.
    if (stop_) {
        qDebug().noquote() << host_ << "stopped before connecting";
        return;
    }
    qDebug().noquote() << "send to:" << host_;
    const QByteArray hostText = host_.toLocal8Bit();
    videoSocket_ = connectTcp(hostText.constData(), kVideoPort);
    audioSocket_ = connectTcp(hostText.constData(), kAudioPort);
    if (videoSocket_ == kInvalidSocket || audioSocket_ == kInvalidSocket) {
        qDebug().noquote().nospace() << "conn to: " << host_ << " Fail";
        endAs(StreamEnd::CouldNotConnect);
        if (videoSocket_ != kInvalidSocket) closeTcp(videoSocket_);
        if (audioSocket_ != kInvalidSocket) closeTcp(audioSocket_);
        videoSocket_ = audioSocket_ = kInvalidSocket;
        return;
    }
    if (stop_) {
        // Stopped while connecting: the capture must not be started for it.
        qDebug().noquote() << host_ << "stopped while connecting";
        closeTcp(videoSocket_);
        closeAudioChannel();
        videoSocket_ = kInvalidSocket;
        return;
    }
    retry_ = 0;
    stats_->connected = true;
    emit sigConnected();

    int channels = 0, sampleRate = 0, reserved1 = 0, reserved2 = 0;
    if (owner_->audioInfo) owner_->audioInfo(channels, sampleRate, reserved1, reserved2);
    const auto header = audioStreamHeader(channels, sampleRate, reserved1, reserved2);
    int error = 0;
    sendAll(audioSocket_, header.data(), header.size(), error);
    qDebug().noquote() << QString("sendAudioHeader %1  %2   %3  %4  ")
                              .arg(channels)
                              .arg(sampleRate)
                              .arg(reserved1)
                              .arg(reserved2);

    while (!stop_) {
        Packet* video = nullptr;
        Packet* audio = nullptr;
        {
            std::unique_lock<std::mutex> lock(owner_->mutex);
            if (videoQueue_->packets.isEmpty() && audioQueue_->packets.isEmpty())
                owner_->packetsReady.wait(lock, [this] {
                    return stop_ || !videoQueue_->packets.isEmpty() ||
                           !audioQueue_->packets.isEmpty();
                });
            if (!videoQueue_->packets.isEmpty()) video = videoQueue_->packets.takeFirst();
            if (!audioQueue_->packets.isEmpty()) audio = audioQueue_->packets.takeFirst();
        }
        const int64_t takenAtNs = steadyClockNs();
        if (stop_) {
            videoQueue_->pool->release(video);
            audioQueue_->pool->release(audio);
            break;
        }
        if (video) {
            writeVideo(video, takenAtNs);
            videoQueue_->pool->release(video);
            if (retry_ > kMaxRetry) {
                qDebug().noquote().nospace() << host_ << "max retry";
                endAs(StreamEnd::TooSlow);
                stop_ = true;
            }
        }
        if (audio) {
            writeAudio(audio);
            audioQueue_->pool->release(audio);
        }
    }
    closeTcp(videoSocket_);
    closeAudioChannel();
    videoSocket_ = kInvalidSocket;
}

void Sender::writeVideo(Packet* packet, int64_t takenAtNs)
{
    FrameWriter frame(videoSocket_, *packet);
    for (;;) {
        int error = 0;
        if (frame.writeRest(error)) {
            owner_->videoSocketWrite.record(steadyClockNs() - takenAtNs);
            owner_->videoQueueing.record(takenAtNs - packet->queuedAtNs);
            retry_ = 0;
            stats_->videoPackets++;
            stats_->bytes += frame.totalBytes();
            if (owner_->onPacketWritten) owner_->onPacketWritten(0, *packet);
            return;
        }
        if (!isSendTimeout(error)) {
            qDebug().noquote().nospace() << host_ << " vtcp wr err";
            endAs(StreamEnd::Reset);
            stop_ = true;
            return;
        }
        ++retry_;
        stats_->timeouts++;
        flushQueues();
        if (!frame.started()) return;  // nothing of it reached the wire: dropped cleanly
        // Part of the frame is out. The framing cannot resynchronise, so either the
        // rest follows or the channel ends here.
        if (stop_ || retry_ > kMaxRetry) {
            if (retry_ > kMaxRetry) endAs(StreamEnd::TooSlow);
            stop_ = true;
            return;
        }
    }
}

void Sender::writeAudio(Packet* packet)
{
    if (audioSocket_ == kInvalidSocket) return;  // channel closed earlier: audio is lost
    FrameWriter frame(audioSocket_, *packet);
    int error = 0;
    if (frame.writeRest(error)) {
        stats_->audioPackets++;
        stats_->bytes += frame.totalBytes();
        if (owner_->onPacketWritten) owner_->onPacketWritten(1, *packet);
        return;
    }
    // This thread writes video too: a receiver that stopped reading audio must not
    // hold the picture back behind retries. A torn frame would garble every later
    // one anyway; a closed channel only loses the sound.
    if (isSendTimeout(error))
        qDebug().noquote().nospace() << host_ << " audio channel closed: write timed out";
    else
        qDebug().noquote().nospace() << host_ << " atcp wr err";
    closeAudioChannel();
}

void Sender::flushQueues()
{
    QList<Packet*> video, audio;
    {
        std::lock_guard<std::mutex> lock(owner_->mutex);
        video.swap(videoQueue_->packets);
        audio.swap(audioQueue_->packets);
    }
    for (Packet* packet : video) videoQueue_->pool->release(packet);
    for (Packet* packet : audio) audioQueue_->pool->release(packet);
    stats_->flushed += video.size() + audio.size();
}

void Sender::closeAudioChannel()
{
    if (audioSocket_ != kInvalidSocket) closeTcp(audioSocket_);
    audioSocket_ = kInvalidSocket;
}

void Sender::endAs(StreamEnd end)
{
    StreamEnd none = StreamEnd::None;
    if (stats_->end.compare_exchange_strong(none, end)) stats_->endedAtNs = steadyClockNs();
}

void Sender::disconnected()
{
    // Ended by nothing else: by our stop, after or before its channels stood.
    endAs(stats_->connected ? StreamEnd::Completed : StreamEnd::StoppedEarly);
    stop_ = true;
    stats_->finished = true;
    // The session deletes us as soon as it hears of our end, ordered after this
    // thread's last steps only by waiting for the thread: nothing of this object is
    // touched after the signal.
    const QString host = host_;
    vantor::handOverThroughQueuedSignal(this);
    emit sigDisconnected(host);
    qDebug().noquote() << host << "sender disconnected...";
}

void Sender::bytesWritten(qint64 bytes) { qDebug().noquote() << bytes << " bytes written..."; }
