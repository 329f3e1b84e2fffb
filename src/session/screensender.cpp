#include "src/session/screensender.h"

#include <QDebug>
#include <algorithm>
#include <cstring>
#include <shared_mutex>
#include <utility>

#include "Comm/logging.h"
#include "Comm/tsanhandover.h"
#include "Setting/castquality.h"
#include "libcapture/desktopsharing/capture.h"
#include "src/command/commandclient.h"
#include "src/session/capturewindow.h"
#include "src/transport/mediaframing.h"
#include "src/transport/sender.h"

namespace {
std::shared_ptr<Packet> privateCopy(const uint8_t* data, uint32_t size)
{
    auto* packet = new Packet;
    // With room for the frame header in front, like the pools' buffers.
    packet->data = new uint8_t[kPacketHeadroom + size] + kPacketHeadroom;
    if (size > 0) memcpy(packet->data, data, size);
    packet->size = size;
    packet->kind = Packet::Kind::Private;
    return std::shared_ptr<Packet>(packet, [](Packet* p) {
        delete[](p->data - kPacketHeadroom);
        delete p;
    });
}
// Which session the capture loops may feed. They run until the pipeline's own
// static is destroyed, after the session's: once the session is gone the frame
// sink drops what they still hand over. Never destroyed, for the same reason.
struct SinkGate {
    std::shared_mutex mutex;
    const ScreenSender* live = nullptr;
};

SinkGate& sinkGate()
{
    static SinkGate* gate = new SinkGate;
    return *gate;
}
}  // namespace

ScreenSender* ScreenSender::instance()
{
    static ScreenSender session;
    return &session;
}

ScreenSender::ScreenSender()
    : context_(std::make_shared<SendContext>()),
      videoPool_(std::make_shared<PacketPool>(kVideoSlotSize, kVideoSlots)),
      audioPool_(std::make_shared<PacketPool>(kAudioSlotSize, kAudioSlots))
{
    context_->audioInfo = [](int& channels, int& rate, int& reserved1, int& reserved2) {
        Capture::getAudioInfo(channels, rate, reserved1, reserved2);
    };
    networkErrorHandler_ = [](QString host) {
        LOG(INFO) << "cannot reach receiver " << host.toStdString();
    };
    connect(&pipeline_, &PipelineWorker::initFinished, this, &ScreenSender::captureInitFinished);
    std::unique_lock<std::shared_mutex> lock(sinkGate().mutex);
    sinkGate().live = this;
}

// Runs among the statics at process exit. The pipeline (DesktopSharing and the
// encoder and sound singletons it builds first) was completed during our
// construction, so it is destroyed after us and stops its loops itself. Nothing
// in it is asked to do anything from here, and the logger may be gone already:
// the frame sink is shut, the Senders are told to end (they keep what they use
// alive through their shared pointers), and the worker drops its queued tasks; its
// destructor (our last member) then only waits for a task already running, which
// touches the pipeline, still in place.
ScreenSender::~ScreenSender()
{
    {
        std::unique_lock<std::shared_mutex> lock(sinkGate().mutex);
        sinkGate().live = nullptr;
    }
    disconnect(&pipeline_, nullptr, this, nullptr);
    pipeline_.dropQueued();
    for (Sender* sender : senders_) {
        disconnect(sender, nullptr, this, nullptr);
        sender->requestStop();
    }
}

void ScreenSender::setNetworkErrorHandler(std::function<void(QString)> handler)
{
    networkErrorHandler_ = std::move(handler);
}

std::shared_ptr<SendStats> ScreenSender::statsFor(const QString& host) const
{
    return stats_.value(host);
}

void ScreenSender::setCaptureTarget(int mode, uintptr_t window)
{
    LOG(INFO) << "target " << mode << " hwnd " << window;
    captureMode_ = mode;
    window_ = window;
}

bool ScreenSender::start(const QString& host)
{
    LOG(INFO) << "";
    // Asked again, the same receiver's earlier channel tells us nothing more. It
    // goes later, not now: start() may run inside one of its socket's signals.
    std::shared_ptr<CommandClient>& channel = commandClients_[host];
    if (channel) channel->disconnect(this);
    channel = std::shared_ptr<CommandClient>(new CommandClient,
                                             [](CommandClient* client) { client->deleteLater(); });
    CommandClient* client = channel.get();
    connect(client, &CommandClient::connected, this, &ScreenSender::recvConn);
    connect(client, &CommandClient::accept, this, &ScreenSender::recvAccept);
    connect(client, &CommandClient::refuse, this, &ScreenSender::recvRefuse);
    connect(client, &CommandClient::busy, this, &ScreenSender::recvBusy);
    connect(client, &CommandClient::error, this, &ScreenSender::recvError);
    // Closed, answered or not, nothing more comes on it; an accepted cast goes on
    // over the media connections.
    connect(client, &CommandClient::closed, this, &ScreenSender::releaseCommandChannel);
    client->connectTo(host);
    applyQuality();
    return true;
}

void ScreenSender::applyQuality()
{
    if (const auto quality = vantor::readCastQuality()) {
        Capture::setFps(quality->fps);
        Capture::setBitrate(quality->bitrateMbps);
        Capture::setResolution(quality->width);
    }
    if (overrides_.fps) Capture::setFps(*overrides_.fps);
    if (overrides_.bitrateMbps) Capture::setBitrate(*overrides_.bitrateMbps);
    if (overrides_.width) Capture::setResolution(*overrides_.width);
}

void ScreenSender::recvConn(const QString&)
{
    LOG(INFO) << "";
    emit sinkConnect();
}

void ScreenSender::recvBusy(const QString& host)
{
    LOG(INFO) << "";
    releaseCommandChannel(host);
    emit sinkBusy();
    emit answered(host, QStringLiteral("busy"));
}

void ScreenSender::recvRefuse(const QString& host)
{
    LOG(INFO) << "";
    releaseCommandChannel(host);
    emit sinkRefuse();
    emit answered(host, QStringLiteral("refuse"));
}

// Only signals of a host's latest channel reach us (start() disconnects the one it
// replaces). The channel is deleted later: we may be inside one of its signals.
void ScreenSender::releaseCommandChannel(const QString& host)
{
    const auto channel = commandClients_.find(host);
    if (channel == commandClients_.end()) return;
    if (*channel) (*channel)->disconnect(this);
    commandClients_.erase(channel);
}

void ScreenSender::recvError(const QString& host)
{
    LOG(INFO) << "";
    releaseCommandChannel(host);
    // We are inside the command socket's error signal. The hook may run a modal
    // dialog whose event loop lets the user start() again, which would delete that
    // very socket under its own signal: report from the event loop instead.
    QMetaObject::invokeMethod(
        this, [this, host] { reportUnreachable(host); }, Qt::QueuedConnection);
}

void ScreenSender::reportUnreachable(const QString& host)
{
    emit answered(host, QStringLiteral("unreachable"));
    // A copy: the hook may install another one while it runs.
    const auto handler = networkErrorHandler_;
    if (handler) handler(host);
}

void ScreenSender::recvAccept(const QString& host)
{
    LOG(INFO) << host.toStdString();
    if (!videoPool_) {
        LOG(INFO) << "session already released, " << host.toStdString() << " not served";
        return;
    }
    for (const Sender* sender : senders_) {
        if (sender->host() != host || sender->stopRequested()) continue;
        // A repeated answer: the receiver is streaming already.
        qDebug().noquote().nospace() << "accept from " << host << ", served already: ignored";
        return;
    }
    if (senders_.isEmpty()) beginCaptureRun();
    auto stats = std::make_shared<SendStats>();
    stats_[host] = stats;
    const Route video{std::make_shared<PacketQueue>(videoPool_), stats};
    const Route audio{std::make_shared<PacketQueue>(audioPool_), stats};
    auto* sender = new Sender(context_, host, video.queue, audio.queue, stats);
    connect(this, &ScreenSender::beginSend, sender, &Sender::send);
    // In the Sender's thread once its media channels stand; only posts the start.
    const quint64 run = run_;
    connect(
        sender, &Sender::sigConnected, sender,
        [this, run] {
            // Not once the session is being destroyed at exit.
            std::shared_lock<std::shared_mutex> lock(sinkGate().mutex);
            if (sinkGate().live == this) pipeline_.start(run);
        },
        Qt::DirectConnection);
    connect(sender, &Sender::sigDisconnected, this, &ScreenSender::senderExit);
    senders_.append(sender);
    if (initPending_) {
        // Its Sender starts once the capture is set up: the audio stream header
        // needs the audio format, and the last packets of a run still being
        // stopped must not reach it.
        waiting_.append({sender, video, audio});
        emit answered(host, QStringLiteral("accept"));
        return;
    }
    attach(sender, video, audio);
    emit answered(host, QStringLiteral("accept"));
    emit beginSend();
}

// The first receiver of a cast: the previous capture (if any) is stopped and a
// new one initialised, both on the pipeline's thread, in this order.
void ScreenSender::beginCaptureRun()
{
    stopCapture();
    deleteQueue();
    // The stage times tell of one cast. A Sender of the previous one may still be
    // writing its last packet: its figures are atomic, merely late.
    context_->videoQueueing.clear();
    context_->videoSocketWrite.clear();
    ++run_;
    initPending_ = true;
    pipeline_.init(run_, &ScreenSender::frameSink, this, captureMode_, getCaptureWindow());
}

void ScreenSender::captureInitFinished(quint64 run, bool ok, const QString& reason)
{
    if (run != run_ || !initPending_) return;  // that run was stopped meanwhile
    initPending_ = false;
    if (!ok) {
        // Nothing to stream: the receivers that accepted are not connected to, so
        // none waits on a stream that never comes, and the front ends say why.
        LOG(INFO) << "capture init failed: " << reason.toStdString() << ", cast refused";
        emit captureFailed(reason);
        stopCapture();
        return;
    }
    {
        // The header belongs to one run: the previous one (stopped just before this
        // init, so no longer distributing) may have left one; this run's first
        // packet makes the new one.
        std::lock_guard<std::mutex> lock(context_->mutex);
        headerPacket_.reset();
    }
    const QList<WaitingReceiver> ready = std::exchange(waiting_, {});
    for (const WaitingReceiver& receiver : ready)
        attach(receiver.sender, receiver.video, receiver.audio);
    for (int i = 0; i < ready.size(); ++i) emit beginSend();
}

// Feeds the receiver's queues from now on and starts its Sender.
void ScreenSender::attach(Sender* sender, const Route& video, const Route& audio)
{
    bool joinsRunningCast = false;
    {
        std::lock_guard<std::mutex> lock(context_->mutex);
        if (headerPacket_) {
            // A late joiner starts with the parameter sets and key frame of this run,
            // stamped as the latest picture: its stream must not begin at the run's
            // first millisecond and then jump to the present.
            auto header = privateCopy(headerPacket_->data, headerPacket_->size);
            header->timestamp = lastVideoTimestamp_;
            frameInPlace(*header);
            header->queuedAtNs = steadyClockNs();
            video.queue->packets.append(header.get());
            video.queue->heldHeader = header;
            joinsRunningCast = true;
        }
        videoRoutes_.append(video);
        audioRoutes_.append(audio);
    }
    // The pictures after that first key frame refer to ones the joiner never got;
    // a fresh key frame lets it show a clean picture within one frame interval.
    if (joinsRunningCast) Capture::requestKeyFrame();
    ownedQueues_ << video.queue << audio.queue;
    sender->start();
}

int ScreenSender::frameSink(void* user, int mediaType, uint8_t* data, int size, int,
                            uint32_t timestamp)
{
    if (user == nullptr || size < 0 || (data == nullptr && size > 0)) return -1;
    std::shared_lock<std::shared_mutex> lock(sinkGate().mutex);
    if (sinkGate().live != user) return -1;
    static_cast<ScreenSender*>(user)->distribute(mediaType, data, static_cast<uint32_t>(size),
                                                 timestamp);
    return 0;
}

void ScreenSender::distribute(int mediaType, const uint8_t* data, uint32_t size, uint32_t timestamp)
{
    if (mediaType != 0 && mediaType != 1) return;
    const bool video = mediaType == 0;
    std::shared_ptr<PacketPool> pool;
    {
        // After deleteThis the pools are gone while the capture may still be
        // stopping on the pipeline's thread: its last packets are dropped.
        std::lock_guard<std::mutex> lock(context_->mutex);
        pool = video ? videoPool_ : audioPool_;
        if (!pool) return;
        if (video && !headerPacket_) headerPacket_ = privateCopy(data, size);
        if (video) lastVideoTimestamp_ = timestamp;
    }
    Packet* packet = pool->acquire(data, size);
    packet->timestamp = timestamp;
    frameInPlace(*packet);
    packet->queuedAtNs = steadyClockNs();
    const int limit = video ? kMaxQueuedVideo : kMaxQueuedAudio;
    bool queued = false;
    {
        std::lock_guard<std::mutex> lock(context_->mutex);
        QList<Route>& routes = video ? videoRoutes_ : audioRoutes_;
        for (Route& route : routes) {
            route.queue->packets.append(packet);
            packet->refCount.fetch_add(1, std::memory_order_relaxed);
            queued = true;
        }
        for (int i = routes.size() - 1; i >= 0; --i) {
            if (routes[i].queue->packets.size() <= limit) continue;
            qDebug().noquote() << (video ? "video" : "audio") << "queue of"
                               << routes[i].queue->packets.size()
                               << "packets taken out of distribution, receiver too slow";
            routes[i].stats->cutOffAtNs = steadyClockNs();
            cutOff_.append({routes[i].queue, routes[i].stats});
            routes.removeAt(i);
        }
        for (const Route& route : cutOff_) {
            if (route.queue->pool != pool || route.stats->finished) continue;
            (video ? route.stats->videoDropped : route.stats->audioDropped)++;
        }
    }
    if (!queued) pool->discardUnqueued(packet);
    context_->packetsReady.notify_all();
}

void ScreenSender::stop(const QString& host)
{
    LOG(INFO) << "";
    emit sendStop();
    for (int i = senders_.size() - 1; i >= 0; --i) {
        Sender* sender = senders_[i];
        if (sender->host() != host) continue;
        sender->requestStop();
        disconnect(this, nullptr, sender, nullptr);
        senders_.removeAt(i);
        if (dropWaiting(sender)) finishUnstarted(sender);
    }
}

void ScreenSender::senderExit(const QString& host)
{
    // Everything the Sender's thread did, its use of our connections included,
    // came before its end signal; dropping those connections frees what it used.
    Sender* ended = qobject_cast<Sender*>(QObject::sender());
    vantor::takeOverFromQueuedSignal(ended);
    senderFinished(ended, host);
}

void ScreenSender::senderFinished(Sender* ended, const QString& host)
{
    LOG(INFO) << host.toStdString();
    // A stop the user asked for has said so already (stop() emits sendStop); a Sender
    // that ends while still attached (the receiver left, the network failed) is a
    // stop of its own, told once.
    if (ended == nullptr || senders_.contains(ended)) emit sendStop();
    // Only the Sender that ended is detached: a newer Sender for the same address
    // (stop, then a new cast right away) keeps streaming.
    if (ended) {
        dropRoutes(ended);
        detach(ended);
        ended->deleteLater();
    }
    // The cast to this receiver is over unless another Sender serves it; a channel
    // still waiting for an answer is a new ask (stop, then cast again) and stays.
    const bool stillServed = std::any_of(senders_.cbegin(), senders_.cend(),
                                         [&host](const Sender* s) { return s->host() == host; });
    const auto channel = commandClients_.constFind(host);
    if (!stillServed && channel != commandClients_.cend() && (*channel)->answered())
        releaseCommandChannel(host);
    emit senderEnded(host);
    if (senders_.isEmpty()) stopCapture();
}

// A Sender stopped before the capture's init reported never ran: it ends as a
// running one would, from the event loop.
void ScreenSender::finishUnstarted(Sender* sender)
{
    QMetaObject::invokeMethod(
        this, [this, sender, host = sender->host()] { senderFinished(sender, host); },
        Qt::QueuedConnection);
}

bool ScreenSender::dropWaiting(Sender* sender)
{
    for (int i = 0; i < waiting_.size(); ++i) {
        if (waiting_[i].sender != sender) continue;
        waiting_.removeAt(i);
        return true;
    }
    return false;
}

// An ended Sender drains nothing any more: its queues leave distribution and give
// their packets back. Kept until the capture stops, each receiver that ever left
// would pin 500 video and 1000 audio packets (heap copies, as the ring slots under
// them stay busy) for the rest of the cast.
void ScreenSender::dropRoutes(const Sender* sender)
{
    QList<Route> dropped;
    {
        std::lock_guard<std::mutex> lock(context_->mutex);
        for (QList<Route>* routes : {&videoRoutes_, &audioRoutes_, &cutOff_})
            for (int i = routes->size() - 1; i >= 0; --i)
                if (routes->at(i).stats == sender->stats()) dropped << routes->takeAt(i);
    }
    for (const Route& route : dropped) ownedQueues_.removeAll(route.queue);
}

void ScreenSender::detach(Sender* sender)
{
    sender->requestStop();
    disconnect(this, nullptr, sender, nullptr);
    senders_.removeAll(sender);
}

void ScreenSender::stopCapture()
{
    LOG(INFO) << "";
    for (Sender* sender : senders_) sender->requestStop();
    initPending_ = false;
    for (const WaitingReceiver& receiver : std::exchange(waiting_, {}))
        finishUnstarted(receiver.sender);
    pipeline_.stop(run_);
    senders_.clear();
    context_->packetsReady.notify_all();
}

void ScreenSender::deleteQueue()
{
    LOG(INFO) << "";
    std::lock_guard<std::mutex> lock(context_->mutex);
    videoRoutes_.clear();
    audioRoutes_.clear();
    cutOff_.clear();
    // Senders still finishing hold their own references; the rest go now and give
    // their packets back to the pools.
    ownedQueues_.clear();
}

void ScreenSender::deleteThis()
{
    LOG(INFO) << "";
    if (!videoPool_) return;
    stopCapture();
    deleteQueue();
    {
        std::lock_guard<std::mutex> lock(context_->mutex);
        headerPacket_.reset();
        videoPool_.reset();
        audioPool_.reset();
    }
    commandClients_.clear();
}

WindowRecord ScreenSender::getCaptureWindow() { return captureWindowRecord(window_); }

bool ScreenSender::isSendingTo(const QString& host) const
{
    for (const Sender* sender : senders_)
        if (sender->host() == host) return !sender->stopRequested();
    return false;
}
