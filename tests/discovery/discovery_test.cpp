#include <gtest/gtest.h>

#include <QDateTime>
#include <QHostAddress>
#include <QUdpSocket>

#include "src/discovery/announcement.h"
#include "src/discovery/codereceiver.h"
#include "tests/discovery/logcapture.h"

using testsupport::countCaptured;
using testsupport::waitUntil;

namespace {

const QString kPrefix = QStringLiteral("#:#castcode#:#");
const QHostAddress kReceiverA(QStringLiteral("127.0.0.2"));
const QHostAddress kReceiverB(QStringLiteral("127.0.0.3"));

class Discovery : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::clearCaptured();
        receiver_.setClock([this] { return now_; });
    }

    void announce(const QHostAddress& from, const QString& text)
    {
        ASSERT_TRUE(QMetaObject::invokeMethod(&receiver_, "processMsg", Qt::DirectConnection,
                                              Q_ARG(QHostAddress, from), Q_ARG(QString, text)));
    }

    void pin(const Sink& sink)
    {
        ASSERT_TRUE(QMetaObject::invokeMethod(&receiver_, "onSinkAdd", Qt::DirectConnection,
                                              Q_ARG(Sink, sink)));
    }

    void unpin(const QString& name)
    {
        ASSERT_TRUE(QMetaObject::invokeMethod(&receiver_, "onSinkRemove", Qt::DirectConnection,
                                              Q_ARG(QString, name)));
    }

    Sink sinkAt(const QHostAddress& address) const
    {
        return receiver_.sinks().value(address.toString());
    }

    qint64 now_ = 1'700'000'000;
    CodeReceiver receiver_;
};

TEST(Announcement, PayloadEndsAtFirstZeroByteAndIsUtf8)
{
    const QByteArray payload = QByteArray("#:#castcode#:#123456#:#\xE5\xAE\xA2\xE5\x8E\x85") +
                               QByteArray(1, '\0') + "#:#junk";
    EXPECT_EQ(announcement::decodePayload(payload),
              QString::fromUtf8("#:#castcode#:#123456#:#\xE5\xAE\xA2\xE5\x8E\x85"));
    EXPECT_EQ(announcement::decodePayload("no zero"), QStringLiteral("no zero"));
}

TEST_F(Discovery, ParsesCodeNameTypeAndTrims)
{
    announce(kReceiverA, kPrefix + " 123456 #:#  Living Room \t#:#x#:#true#:#2#:#1");
    const Sink sink = sinkAt(kReceiverA);
    EXPECT_EQ(sink.code, "123456");
    EXPECT_EQ(sink.name, "Living Room");
    EXPECT_EQ(sink.ip, "127.0.0.2");
    EXPECT_TRUE(sink.typeIs2);
    EXPECT_FALSE(sink.pinned);
    EXPECT_EQ(sink.lastSeen, now_);
    EXPECT_EQ(countCaptured("sinks 1 add 123456 Living Room 127.0.0.2 2"), 1);
}

TEST_F(Discovery, TypeFieldMissingCountsAsOneAndNonNumericAsZero)
{
    announce(kReceiverA, kPrefix + "111111#:#OnlyName");
    EXPECT_FALSE(sinkAt(kReceiverA).typeIs2);
    EXPECT_EQ(countCaptured("add 111111 OnlyName 127.0.0.2 1"), 1);

    announce(kReceiverB, kPrefix + "222222#:#Tv#:#a#:#b#:#two#:#1");
    EXPECT_FALSE(sinkAt(kReceiverB).typeIs2);
    EXPECT_EQ(countCaptured("add 222222 Tv 127.0.0.3 0"), 1);

    announce(QHostAddress("127.0.0.4"), kPrefix + "333333#:#Pad#:#a#:#b#:# 2 ");
    EXPECT_TRUE(sinkAt(QHostAddress("127.0.0.4")).typeIs2);
}

TEST_F(Discovery, EmptyPiecesAreDroppedBeforeNumbering)
{
    announce(kReceiverA, kPrefix + "123456#:##:#Name#:#a#:#b#:#2#:#1");
    const Sink sink = sinkAt(kReceiverA);
    EXPECT_EQ(sink.name, "Name");
    EXPECT_TRUE(sink.typeIs2);

    // With field 4 left empty, "0" moves to the type place and the presence flag
    // goes missing, so the receiver counts as present.
    announce(kReceiverB, kPrefix + "654321#:#Tv#:#a#:##:#2#:#0");
    ASSERT_EQ(receiver_.sinks().size(), 2);
    EXPECT_FALSE(sinkAt(kReceiverB).typeIs2);
    EXPECT_EQ(countCaptured("add 654321 Tv 127.0.0.3 0"), 1);
}

TEST_F(Discovery, WrongPrefixesAreIgnored)
{
    announce(kReceiverA, " " + kPrefix + "123456#:#Name");
    announce(kReceiverA, "#:#CastCode#:#123456#:#Name");
    announce(kReceiverA, "castcode#:#123456#:#Name");
    announce(kReceiverA, QString());
    EXPECT_TRUE(receiver_.sinks().isEmpty());
}

TEST_F(Discovery, PresenceZeroWithdrawsAnythingElseKeeps)
{
    announce(kReceiverA, kPrefix + "123456#:#Name#:#a#:#b#:#1#:#1");
    announce(kReceiverA, kPrefix + "123456#:#Name#:#a#:#b#:#1#:#00");
    ASSERT_EQ(receiver_.sinks().size(), 1);
    announce(kReceiverA, kPrefix + "123456#:#Name#:#a#:#b#:#1#:# 0 ");
    EXPECT_TRUE(receiver_.sinks().isEmpty());
    // Withdrawing an unknown receiver changes nothing.
    announce(kReceiverB, kPrefix + "123456#:#Name#:#a#:#b#:#1#:#0");
    EXPECT_TRUE(receiver_.sinks().isEmpty());
}

TEST_F(Discovery, OwnAddressesAreIgnored)
{
    announce(QHostAddress::LocalHost, kPrefix + "123456#:#Me");
    EXPECT_TRUE(receiver_.sinks().isEmpty());
    // 127.0.0.2 is not an interface address of this host, so it passes.
    announce(kReceiverA, kPrefix + "123456#:#Other");
    EXPECT_EQ(receiver_.sinks().size(), 1);
}

TEST_F(Discovery, RepeatedAnnouncementRefreshesWithoutNewAddLine)
{
    const QString text = kPrefix + "123456#:#Tv#:#a#:#b#:#2#:#1";
    announce(kReceiverA, text);
    now_ += 5;
    announce(kReceiverA, kPrefix + "123456#:#Tv#:#a#:#b#:#1#:#1");
    now_ += 5;
    announce(kReceiverA, text);
    ASSERT_EQ(receiver_.sinks().size(), 1);
    EXPECT_EQ(sinkAt(kReceiverA).lastSeen, now_);
    EXPECT_TRUE(sinkAt(kReceiverA).typeIs2) << "the type keeps its first value";
    EXPECT_EQ(countCaptured(" add 123456"), 1);
}

TEST_F(Discovery, NameChangeReplacesTheRecord)
{
    announce(kReceiverA, kPrefix + "123456#:#Old");
    announce(kReceiverB, kPrefix + "222222#:#Other");
    announce(kReceiverA, kPrefix + "123456#:#New");
    EXPECT_EQ(receiver_.sinks().size(), 2);
    EXPECT_EQ(sinkAt(kReceiverA).name, "New");
    EXPECT_EQ(countCaptured("sinks 2 add 123456 New 127.0.0.2"), 1);
    announce(kReceiverA, kPrefix + "999999#:#New");
    EXPECT_EQ(sinkAt(kReceiverA).code, "999999");
    EXPECT_EQ(receiver_.sinks().size(), 2);
}

TEST_F(Discovery, TableIsCappedWithOneLogLineAndKnownReceiversStillRefresh)
{
    for (int i = 0; i < CodeReceiver::kMaxSinks; ++i) {
        announce(QHostAddress(quint32(0x7F100000 + i)), kPrefix + "100000#:#R");
    }
    ASSERT_EQ(receiver_.sinks().size(), CodeReceiver::kMaxSinks);
    for (int i = 0; i < 50; ++i) {
        announce(QHostAddress(quint32(0x7F200000 + i)), kPrefix + "200000#:#Late");
    }
    EXPECT_EQ(receiver_.sinks().size(), CodeReceiver::kMaxSinks);
    EXPECT_EQ(countCaptured("sinks table full"), 1);
    EXPECT_TRUE(receiver_.getHostByName("200000").isEmpty());

    now_ += 7;
    announce(QHostAddress(quint32(0x7F100000)), kPrefix + "100000#:#R");
    EXPECT_EQ(receiver_.sinks().value("127.16.0.0").lastSeen, now_);

    // Once there is room again, new receivers get in.
    announce(QHostAddress(quint32(0x7F100001)), kPrefix + "100000#:#R#:#a#:#b#:#1#:#0");
    announce(QHostAddress(quint32(0x7F200000)), kPrefix + "200000#:#Late");
    EXPECT_EQ(receiver_.getHostByName("200000"), "127.32.0.0");
}

TEST_F(Discovery, SilentReceiversExpireAfterTwelveSeconds)
{
    announce(kReceiverA, kPrefix + "123456#:#Quiet");
    announce(kReceiverB, kPrefix + "222222#:#Future");
    now_ += 12;
    receiver_.removeDead();
    EXPECT_EQ(receiver_.sinks().size(), 2);
    now_ += 1;
    receiver_.removeDead();
    EXPECT_TRUE(receiver_.sinks().isEmpty());
    EXPECT_EQ(countCaptured("sinks. remove  \"127.0.0.2\""), 1);

    // The clock set back: a negative age is kept.
    announce(kReceiverA, kPrefix + "123456#:#Quiet");
    now_ -= 3600;
    receiver_.removeDead();
    EXPECT_EQ(receiver_.sinks().size(), 1);
}

TEST_F(Discovery, PinnedRecordsSurviveExpiryUntilRemovedByName)
{
    pin(Sink{"333333", "Pinned", "127.0.0.5", false, now_, true});
    pin(Sink{"444444", "Pinned", "127.0.0.6", false, now_, false});
    now_ += 100;
    receiver_.removeDead();
    ASSERT_EQ(receiver_.sinks().size(), 1);
    EXPECT_TRUE(sinkAt(QHostAddress("127.0.0.5")).pinned);

    pin(Sink{"444444", "Pinned", "127.0.0.6", false, now_, true});
    announce(QHostAddress("127.0.0.6"), kPrefix + "444444#:#Pinned");
    EXPECT_FALSE(sinkAt(QHostAddress("127.0.0.6")).pinned) << "an identical announcement unpins";
    unpin("Pinned");
    EXPECT_EQ(receiver_.sinks().keys(), QStringList{"127.0.0.6"});
}

TEST_F(Discovery, GetHostByNameFindsKnownCodesOnly)
{
    announce(kReceiverA, kPrefix + "123456#:#A");
    announce(kReceiverB, kPrefix + "654321#:#B");
    announce(QHostAddress("127.0.0.4"), kPrefix + "654321#:#C");
    EXPECT_EQ(receiver_.getHostByName("123456"), "127.0.0.2");
    const QString shared = receiver_.getHostByName("654321");
    EXPECT_TRUE(shared == "127.0.0.3" || shared == "127.0.0.4") << shared.toStdString();
    EXPECT_TRUE(receiver_.getHostByName("000000").isEmpty());
    EXPECT_TRUE(receiver_.getHostByName("12345").isEmpty());
}

TEST_F(Discovery, RealDatagramFromAnotherLoopbackAddressReachesTheTable)
{
    receiver_.setClock(nullptr);  // wall clock again
    QUdpSocket sender;
    ASSERT_TRUE(sender.bind(kReceiverA, 0));
    QByteArray payload = "#:#castcode#:#765432#:#Real Tv#:#x#:#true#:#1#:#1";
    payload.append('\0').append("trailing bytes after the text");
    ASSERT_EQ(sender.writeDatagram(payload, QHostAddress::LocalHost, CodeReceiver::kDiscoveryPort),
              payload.size());
    ASSERT_TRUE(waitUntil([&] { return !receiver_.getHostByName("765432").isEmpty(); }));
    const Sink sink = sinkAt(kReceiverA);
    EXPECT_EQ(sink.name, "Real Tv");
    EXPECT_LE(qAbs(sink.lastSeen - QDateTime::currentSecsSinceEpoch()), 5);

    // Our own address is filtered also on the real path.
    QUdpSocket own;
    ASSERT_TRUE(own.bind(QHostAddress(QHostAddress::LocalHost), 0));
    own.writeDatagram("#:#castcode#:#111111#:#Me", QHostAddress::LocalHost,
                      CodeReceiver::kDiscoveryPort);
    sender.writeDatagram("#:#castcode#:#765432#:#Real Tv#:#x#:#true#:#1#:#0",
                         QHostAddress::LocalHost, CodeReceiver::kDiscoveryPort);
    ASSERT_TRUE(waitUntil([&] { return receiver_.sinks().isEmpty(); }));
    EXPECT_TRUE(receiver_.getHostByName("111111").isEmpty());
}

// The pages read the table in place under the discovery lock, as they poll it.
TEST_F(Discovery, TheTableReadUnderTheLockIsTheOneAnnouncementsFill)
{
    announce(kReceiverA, kPrefix + "123456#:#Living Room");
    announce(kReceiverB, kPrefix + "654321#:#Bedroom");
    QHash<QString, Sink> read;
    {
        std::lock_guard<std::mutex> lock(discoveryMutex());
        read = receiver_.sinksLocked();
    }
    ASSERT_EQ(read.size(), 2);
    EXPECT_EQ(read.value(kReceiverA.toString()).name, "Living Room");
    EXPECT_EQ(read.value(kReceiverB.toString()).code, "654321");
}

TEST(DiscoverySingleton, InstanceIsOneParentlessObjectAndTheLockIsProcessWide)
{
    CodeReceiver& first = CodeReceiver::instance();
    EXPECT_EQ(&first, &CodeReceiver::instance());
    EXPECT_EQ(first.parent(), nullptr);
    EXPECT_EQ(&discoveryMutex(), &discoveryMutex());
}

}  // namespace

int main(int argc, char** argv)
{
    // Join the discovery groups on the loopback interface only.
    qputenv("VANTOR_MULTICAST_INTERFACE", "lo");
    QCoreApplication app(argc, argv);
    testsupport::installCapture();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
