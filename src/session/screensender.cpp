#include "src/session/screensender.h"

#include <QDebug>
#include <chrono>
#include <cstring>

#include "Comm/logging.h"
#include "Setting/castquality.h"
#include "libcapture/desktopsharing/capture.h"
#include "src/command/commandclient.h"
#include "src/session/capturewindow.h"
#include "src/transport/sender.h"

namespace {
int64_t steadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::shared_ptr<Packet> privateCopy(const uint8_t* data, uint32_t size)
{
    auto* packet = new Packet;
    packet->data = new uint8_t[size > 0 ? size : 1];
    if (size > 0) memcpy(packet->data, data, size);
    packet->size = size;
    packet->kind = Packet::Kind::Private;
    return std::shared_ptr<Packet>(packet, [](Packet* p) {
        delete[] p->data;
        delete p;
    });
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
}

ScreenSender::~ScreenSender() { deleteThis(); }

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
    commandClient_ = std::make_shared<CommandClient>();
    CommandClient* client = commandClient_.get();
    connect(client, &CommandClient::connected, this, &ScreenSender::recvConn);
    connect(client, &CommandClient::accept, this, &ScreenSender::recvAccept);
    connect(client, &CommandClient::refuse, this, &ScreenSender::recvRefuse);
    connect(client, &CommandClient::busy, this, &ScreenSender::recvBusy);
    connect(client, &CommandClient::error, this, &ScreenSender::recvError);
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
    emit sinkBusy();
    emit answered(host, QStringLiteral("busy"));
}

void ScreenSender::recvRefuse(const QString& host)
{
    LOG(INFO) << "";
    emit sinkRefuse();
    emit answered(host, QStringLiteral("refuse"));
}

void ScreenSender::recvError(const QString& host)
{
    LOG(INFO) << "";
    emit answered(host, QStringLiteral("unreachable"));
    if (networkErrorHandler_) networkErrorHandler_(host);
}

void ScreenSender::recvAccept(const QString& host)
{
    LOG(INFO) << host.toStdString();
    if (!videoPool_) {
        LOG(INFO) << "session already released, " << host.toStdString() << " not served";
        return;
    }
    if (senders_.isEmpty()) {
        {
            std::lock_guard<std::mutex> lock(context_->mutex);
            headerPacket_.reset();
        }
        stopCapture();
        deleteQueue();
        const WindowRecord target = getCaptureWindow();
        Capture::init(&ScreenSender::frameSink, this, captureMode_, target);
    }
    auto videoQueue = std::make_shared<PacketQueue>(videoPool_);
    auto audioQueue = std::make_shared<PacketQueue>(audioPool_);
    auto stats = std::make_shared<SendStats>();
    stats_[host] = stats;
    auto* sender = new Sender(context_, host, videoQueue, audioQueue, stats);
    connect(this, &ScreenSender::beginSend, sender, &Sender::send);
    connect(
        sender, &Sender::sigConnected, sender, [this] { onSenderConnected(); },
        Qt::DirectConnection);
    connect(sender, &Sender::sigDisconnected, this, &ScreenSender::senderExit);
    bool joinsRunningCast = false;
    {
        std::lock_guard<std::mutex> lock(context_->mutex);
        if (headerPacket_) {
            // A late joiner starts with the parameter sets and key frame of this run.
            videoQueue->packets.append(headerPacket_.get());
            videoQueue->heldHeader = headerPacket_;
            joinsRunningCast = true;
        }
        videoRoutes_.append({videoQueue, stats});
        audioRoutes_.append({audioQueue, stats});
    }
    // The pictures after that first key frame refer to ones the joiner never got;
    // a fresh key frame lets it show a clean picture within one frame interval.
    if (joinsRunningCast) Capture::requestKeyFrame();
    ownedQueues_ << videoQueue << audioQueue;
    senders_.append(sender);
    sender->start();
    emit answered(host, QStringLiteral("accept"));
    emit beginSend();
}

// Runs in the Sender's thread once its media channels stand.
void ScreenSender::onSenderConnected()
{
    int64_t idle = 0;
    captureStartNs_.compare_exchange_strong(idle, steadyNowNs());
    Capture::start();
}

int ScreenSender::frameSink(void* user, int mediaType, uint8_t* data, int size, int,
                            uint32_t timestamp)
{
    if (user == nullptr || size < 0 || (data == nullptr && size > 0)) return -1;
    static_cast<ScreenSender*>(user)->distribute(mediaType, data, static_cast<uint32_t>(size),
                                                 timestamp);
    return 0;
}

void ScreenSender::distribute(int mediaType, const uint8_t* data, uint32_t size, uint32_t timestamp)
{
    if (mediaType != 0 && mediaType != 1) return;
    const bool video = mediaType == 0;
    PacketPool* pool = video ? videoPool_.get() : audioPool_.get();
    if (pool == nullptr) return;
    if (video) {
        std::lock_guard<std::mutex> lock(context_->mutex);
        if (!headerPacket_) headerPacket_ = privateCopy(data, size);
    }
    Packet* packet = pool->acquire(data, size);
    packet->timestamp = timestamp;
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
            cutOff_.append({routes[i].queue, routes[i].stats});
            routes.removeAt(i);
        }
        for (const Route& route : cutOff_) {
            if (route.queue->pool.get() != pool || route.stats->finished) continue;
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
    }
}

void ScreenSender::senderExit(const QString& host)
{
    LOG(INFO) << host.toStdString();
    emit sendStop();
    // Only the Sender that ended is detached: a newer Sender for the same address
    // (stop, then a new cast right away) keeps streaming.
    if (auto* ended = qobject_cast<Sender*>(QObject::sender())) {
        detach(ended);
        ended->deleteLater();
    }
    emit senderEnded(host);
    if (senders_.isEmpty()) stopCapture();
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
    Capture::stop();
    captureStartNs_ = 0;
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
    }
    videoPool_.reset();
    audioPool_.reset();
    commandClient_.reset();
}

WindowRecord ScreenSender::getCaptureWindow() { return captureWindowRecord(window_); }

bool ScreenSender::isSendingTo(const QString& host) const
{
    for (const Sender* sender : senders_)
        if (sender->host() == host) return !sender->stopRequested();
    return false;
}
