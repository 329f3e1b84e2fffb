// The media transport against a real loopback receiver: wire bytes, pool
// behaviour and how a Sender ends.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QThread>
#include <atomic>
#include <memory>
#include <mutex>

#include "src/transport/mediaframing.h"
#include "src/transport/packetpool.h"
#include "src/transport/packetqueue.h"
#include "src/transport/sender.h"
#include "tests/transport/mediasink.h"

namespace {

std::mutex logMutex;
// Sender threads log until they end, at process exit too: the store is never destroyed.
QStringList& logLines = *new QStringList;

void collectMessages(QtMsgType, const QMessageLogContext&, const QString& text)
{
    std::lock_guard<std::mutex> lock(logMutex);
    logLines << text;
}

bool logContains(const QString& text)
{
    std::lock_guard<std::mutex> lock(logMutex);
    for (const QString& line : logLines)
        if (line.contains(text)) return true;
    return false;
}

template <typename Predicate>
bool waitUntil(Predicate done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// One session's worth of shared state and a way to feed packets like the frame sink:
// framed, header in front of the payload (one write), unless told otherwise.
struct Rig {
    bool framed = true;
    std::shared_ptr<SendContext> context = std::make_shared<SendContext>();
    std::shared_ptr<PacketPool> videoPool;
    std::shared_ptr<PacketPool> audioPool = std::make_shared<PacketPool>(4096, 1024);
    std::vector<PacketQueuePtr> videoQueues;
    std::vector<PacketQueuePtr> audioQueues;

    explicit Rig(uint32_t slotSize = 524288, int32_t slotCount = 200)
        : videoPool(std::make_shared<PacketPool>(slotSize, slotCount))
    {
        context->audioInfo = [](int& channels, int& rate, int& r1, int& r2) {
            channels = 2;
            rate = 48000;
            r1 = r2 = 0;
        };
    }

    struct Attached {
        Sender* sender;
        std::atomic<bool> connected{false};  // set in the Sender's thread
        bool disconnected = false;
    };

    std::unique_ptr<Attached> attach(const QString& host)
    {
        auto video = std::make_shared<PacketQueue>(videoPool);
        auto audio = std::make_shared<PacketQueue>(audioPool);
        videoQueues.push_back(video);
        audioQueues.push_back(audio);
        auto attached = std::make_unique<Attached>();
        attached->sender = new Sender(context, host, video, audio);
        Attached* a = attached.get();
        QObject::connect(attached->sender, &Sender::sigConnected, [a] { a->connected = true; });
        QObject::connect(attached->sender, &Sender::sigDisconnected, qApp,
                         [a](QString) { a->disconnected = true; });
        attached->sender->start();
        QMetaObject::invokeMethod(attached->sender, "send", Qt::QueuedConnection);
        return attached;
    }

    void pushVideo(const std::vector<uint8_t>& bytes, uint32_t timestamp)
    {
        Packet* packet = videoPool->acquire(bytes.data(), static_cast<uint32_t>(bytes.size()));
        packet->timestamp = timestamp;
        if (framed) frameInPlace(*packet);
        {
            std::lock_guard<std::mutex> lock(context->mutex);
            for (auto& queue : videoQueues) {
                queue->packets.append(packet);
                packet->refCount++;
            }
        }
        context->packetsReady.notify_all();
    }

    void pushAudio(const std::vector<uint8_t>& bytes, uint32_t timestamp)
    {
        Packet* packet = audioPool->acquire(bytes.data(), static_cast<uint32_t>(bytes.size()));
        packet->timestamp = timestamp;
        if (framed) frameInPlace(*packet);
        {
            std::lock_guard<std::mutex> lock(context->mutex);
            for (auto& queue : audioQueues) {
                queue->packets.append(packet);
                packet->refCount++;
            }
        }
        context->packetsReady.notify_all();
    }

    void finish(Attached& a)
    {
        a.sender->requestStop();
        ASSERT_TRUE(waitUntil([&] { return a.disconnected; }, 10000));
        delete a.sender;
    }
};

std::vector<uint8_t> patterned(size_t size, uint32_t seed)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 31 + seed * 7) ^ seed);
    return bytes;
}

}  // namespace

TEST(MediaFraming, AudioStreamHeaderForStereo48k)
{
    const auto header = audioStreamHeader(2, 48000);
    const std::vector<uint8_t> expected = {0,    0,    0, 1, 0, 0, 0, 2, 0, 0,
                                           0xBB, 0x80, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(header.begin(), header.end()), expected);
    const auto frame = mediaFrameHeader(0x01020304, 0xA0B0C0D0);
    EXPECT_EQ(std::vector<uint8_t>(frame.begin(), frame.end()),
              (std::vector<uint8_t>{1, 2, 3, 4, 0xA0, 0xB0, 0xC0, 0xD0}));
}

TEST(PacketPool, OversizedPacketTakesHeapPathAndIsFreedAfterLastRelease)
{
    PacketPool pool(524288, 200);
    const auto bytes = patterned(600000, 3);
    Packet* packet = pool.acquire(bytes.data(), 600000);
    EXPECT_TRUE(logContains("new pkg  600000") || logContains("new pkg 600000"));
    EXPECT_EQ(packet->kind, Packet::Kind::Heap);
    EXPECT_EQ(pool.current(), -1);  // the ring did not move
    EXPECT_EQ(0, memcmp(packet->data, bytes.data(), bytes.size()));
    packet->refCount += 2;  // appended to two queues
    pool.release(packet);
    EXPECT_EQ(pool.liveHeapPackets(), 1);
    pool.release(packet);
    EXPECT_EQ(pool.liveHeapPackets(), 0);

    Packet* unqueued = pool.acquire(bytes.data(), 600000);
    pool.discardUnqueued(unqueued);
    EXPECT_EQ(pool.liveHeapPackets(), 0);
}

TEST(PacketPool, ReferencedSlotIsNeverHandedOutAgain)
{
    PacketPool pool(64, 4);
    const auto held = patterned(64, 1);
    Packet* first = pool.acquire(held.data(), 64);
    EXPECT_EQ(first->kind, Packet::Kind::Slot);
    first->refCount++;  // still queued somewhere
    std::vector<Packet*> later;
    for (uint32_t i = 0; i < 20; ++i) {
        const auto bytes = patterned(64, 100 + i);
        Packet* packet = pool.acquire(bytes.data(), 64);
        EXPECT_NE(packet, first);
        if (packet->kind == Packet::Kind::Heap) {
            packet->refCount++;
            later.push_back(packet);
        }
    }
    EXPECT_EQ(0, memcmp(first->data, held.data(), held.size()));
    EXPECT_EQ(pool.busySlotSkips(), 5u);  // every fourth acquire met the held slot
    for (Packet* packet : later) pool.release(packet);
    EXPECT_EQ(pool.liveHeapPackets(), 0);
    pool.release(first);
    const auto again = patterned(64, 9);
    pool.acquire(again.data(), 64);
    pool.acquire(again.data(), 64);
    pool.acquire(again.data(), 64);
    EXPECT_EQ(pool.acquire(again.data(), 64), first);  // ring order holds once it is free
}

// The same bytes on the wire whether a packet carries its header in front of its
// data (the session's packets) or the Sender writes it first.
TEST(Sender, ZeroLengthPacketIsAHeaderAloneAndAudioOpensWithItsHeader)
{
    MediaSink sink("127.0.0.21");
    ASSERT_TRUE(sink.listening());
    Rig rig;
    auto a = rig.attach("127.0.0.21");
    ASSERT_TRUE(waitUntil([&] { return a->connected.load(); }, 5000));
    rig.pushVideo({}, 1234);
    rig.pushVideo({0xAA, 0xBB, 0xCC}, 1274);
    rig.framed = false;
    rig.pushVideo({0xDD}, 1314);
    ASSERT_TRUE(sink.waitForVideoBytes(8 + 8 + 3 + 8 + 1, 5000));
    rig.finish(*a);
    ASSERT_TRUE(sink.waitForClose(5000));

    const std::vector<uint8_t> expectedVideo = {
        0, 0, 0, 0, 0, 0, 0x04, 0xD2,                    // empty
        0, 0, 0, 3, 0, 0, 0x04, 0xFA, 0xAA, 0xBB, 0xCC,  // three bytes
        0, 0, 0, 1, 0, 0, 0x05, 0x22, 0xDD};             // one byte, header written apart
    EXPECT_EQ(sink.videoBytes(), expectedVideo);
    const auto header = audioStreamHeader(2, 48000);
    EXPECT_EQ(sink.audioBytes(), std::vector<uint8_t>(header.begin(), header.end()));
    EXPECT_TRUE(logContains("sendAudioHeader 2  48000   0  0  "));
    EXPECT_TRUE(logContains("127.0.0.21 sender disconnected..."));
    EXPECT_TRUE(a->connected);
}

TEST(Sender, MissingAudioPortEndsTheSenderWithoutConnecting)
{
    MediaSink sink("127.0.0.24", /*listenAudio=*/false);
    ASSERT_TRUE(sink.listening());
    Rig rig;
    auto a = rig.attach("127.0.0.24");
    ASSERT_TRUE(waitUntil([&] { return a->disconnected; }, 5000));
    EXPECT_FALSE(a->connected);
    EXPECT_TRUE(logContains("conn to: 127.0.0.24 Fail"));
    EXPECT_TRUE(sink.waitForClose(5000));  // the video channel was opened and closed again
    delete a->sender;
}

// More packets than the ring has slots pile up for a receiver that does not read;
// the fast receiver beside it and the slow one must both get every frame intact.
TEST(Sender, SlowReceiverKeepsEveryQueuedFrameIntact)
{
    MediaSink fast("127.0.0.22");
    MediaSink slow("127.0.0.23", true, /*startReading=*/false);
    Rig rig(32768, 200);
    // Half of them with the header written apart: both ways survive partial writes.
    rig.framed = false;
    auto a = rig.attach("127.0.0.22");
    auto b = rig.attach("127.0.0.23");
    ASSERT_TRUE(waitUntil([&] { return a->connected && b->connected; }, 5000));
    const int count = 450;
    size_t total = 0;
    for (int i = 0; i < count; ++i) {
        const auto bytes = patterned(20000 + i, i);
        total += 8 + bytes.size();
        rig.framed = i % 2 == 0;
        rig.pushVideo(bytes, i);
    }
    EXPECT_GT(rig.videoPool->busySlotSkips(), 0u);  // the guard really was needed
    slow.startReading();
    ASSERT_TRUE(fast.waitForVideoBytes(total, 20000));
    ASSERT_TRUE(slow.waitForVideoBytes(total, 20000));
    for (MediaSink* sink : {&fast, &slow}) {
        std::vector<MediaSink::Frame> frames;
        ASSERT_TRUE(MediaSink::parseFrames(sink->videoBytes(), frames));
        ASSERT_EQ(frames.size(), size_t(count));
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(frames[i].timestamp, uint32_t(i));
            EXPECT_EQ(frames[i].payload, patterned(20000 + i, i)) << "frame " << i;
        }
    }
    // The receiver can hold the last bytes before the Sender has counted them.
    EXPECT_TRUE(
        waitUntil([&] { return a->sender->stats()->videoPackets == uint64_t(count); }, 5000))
        << a->sender->stats()->videoPackets;
    rig.finish(*a);
    rig.finish(*b);
    EXPECT_EQ(rig.videoPool->liveHeapPackets(), 0);
}

// A receiver that stalls for longer than the send time-out: the write that was cut
// off is finished, the backlog is thrown away, and the stream still parses.
TEST(Sender, TimedOutWriteNeverLeavesATornFrame)
{
    MediaSink sink("127.0.0.25", true, /*startReading=*/false);
    Rig rig;
    auto a = rig.attach("127.0.0.25");
    ASSERT_TRUE(waitUntil([&] { return a->connected.load(); }, 5000));
    for (int i = 0; i < 40; ++i) rig.pushVideo(patterned(400000, i), i);
    ASSERT_TRUE(waitUntil([&] { return a->sender->stats()->timeouts > 0; }, 15000))
        << a->sender->stats()->videoPackets << " written, " << a->sender->stats()->bytes;
    sink.startReading();
    rig.pushVideo(patterned(1000, 999), 999);
    ASSERT_TRUE(waitUntil(
        [&] {
            std::vector<MediaSink::Frame> frames;
            return MediaSink::parseFrames(sink.videoBytes(), frames) && !frames.empty() &&
                   frames.back().timestamp == 999;
        },
        15000));
    std::vector<MediaSink::Frame> frames;
    ASSERT_TRUE(MediaSink::parseFrames(sink.videoBytes(), frames));
    EXPECT_LT(frames.size(), 41u);  // the backlog was flushed
    for (const auto& frame : frames)
        EXPECT_EQ(frame.payload, frame.timestamp == 999 ? patterned(1000, 999)
                                                        : patterned(400000, frame.timestamp));
    EXPECT_GT(a->sender->stats()->flushed, 0u);
    EXPECT_FALSE(a->sender->stopRequested());
    rig.finish(*a);
}

// Stopped (the user cancelled) before its thread got to the send loop: it must not
// open the receiver's channels, nor ask for the capture to start.
TEST(Sender, StoppedBeforeItsLoopRunsNeverConnects)
{
    MediaSink sink("127.0.0.26");
    ASSERT_TRUE(sink.listening());
    Rig rig;
    auto video = std::make_shared<PacketQueue>(rig.videoPool);
    auto audio = std::make_shared<PacketQueue>(rig.audioPool);
    auto* sender = new Sender(rig.context, "127.0.0.26", video, audio);
    std::atomic<bool> connected{false};  // set in the Sender's thread
    bool disconnected = false;
    QObject::connect(
        sender, &Sender::sigConnected, sender, [&] { connected = true; }, Qt::DirectConnection);
    QObject::connect(sender, &Sender::sigDisconnected, qApp, [&](QString) { disconnected = true; });
    sender->requestStop();
    sender->start();
    QMetaObject::invokeMethod(sender, "send", Qt::QueuedConnection);
    ASSERT_TRUE(waitUntil([&] { return disconnected; }, 5000));
    EXPECT_FALSE(connected);
    EXPECT_FALSE(sender->stats()->connected);
    // The receiver would have accepted the connections by now had any been made:
    // the Sender connects both channels before it could announce anything.
    EXPECT_EQ(sink.accepted(0), 0);
    EXPECT_EQ(sink.accepted(1), 0);
    delete sender;
}

// A receiver that stops reading its audio connection: the first audio write that
// times out closes the audio channel, and video goes on at once instead of waiting
// behind retries of the audio frame.
TEST(Sender, StalledAudioChannelIsClosedAndVideoGoesOn)
{
    MediaSink sink("127.0.0.27");
    ASSERT_TRUE(sink.listening());
    sink.setReadingAudio(false);
    Rig rig;
    auto a = rig.attach("127.0.0.27");
    ASSERT_TRUE(waitUntil([&] { return a->connected.load(); }, 5000));
    // Far more audio than the unread connection's buffers hold.
    for (int i = 0; i < 3000; ++i) rig.pushAudio(patterned(4000, i), i);
    // Each video frame must arrive within one send time-out (5 s) and a margin;
    // the first of them waits behind the audio write that times out.
    size_t expected = 0;
    for (int i = 0; i < 8; ++i) {
        const auto bytes = patterned(1000, 500 + i);
        expected += 8 + bytes.size();
        rig.pushVideo(bytes, 500 + i);
        ASSERT_TRUE(sink.waitForVideoBytes(expected, 8000)) << "video frame " << i;
    }
    EXPECT_TRUE(logContains("127.0.0.27 audio channel closed"));
    std::vector<MediaSink::Frame> frames;
    ASSERT_TRUE(MediaSink::parseFrames(sink.videoBytes(), frames));
    ASSERT_EQ(frames.size(), 8u);
    EXPECT_EQ(frames.back().payload, patterned(1000, 507));
    EXPECT_FALSE(a->sender->stopRequested());
    // The receiver can hold the last bytes before the Sender has counted them.
    EXPECT_TRUE(waitUntil([&] { return a->sender->stats()->videoPackets == 8u; }, 5000))
        << a->sender->stats()->videoPackets;
    rig.finish(*a);
}

int main(int argc, char** argv)
{
    qInstallMessageHandler(collectMessages);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
