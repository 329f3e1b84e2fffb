// This PC's network facts: which address the pages are given, what going online and
// offline reports and in which order, the time an instance takes to go, and the order
// of its signals in the meta-object (queued connections by index depend on it). Only
// address lists and the local name "localhost" are looked at; nothing is sent.
#include "Comm/networkinfo.h"

Q_DECLARE_METATYPE(QList<QHostAddress>)

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QMetaMethod>
#include <QSignalSpy>
#include <QtTest>

class NetworkInfoTest : public QObject {
    Q_OBJECT

private slots:
    void firstUsableIPv4_data();
    void firstUsableIPv4();
    void localhostHasNoUsableAddress();
    void goingOnlineReportsAvailabilityThenTheAddress();
    void goingOfflineClearsTheAddress();
    void destructionWaitsForTheRelease();
    void signalsAreDeclaredInOrder();
};

void NetworkInfoTest::firstUsableIPv4_data()
{
    QTest::addColumn<QList<QHostAddress>>("addresses");
    QTest::addColumn<QString>("expected");
    const QHostAddress loopback(QStringLiteral("127.0.0.1"));
    const QHostAddress lan(QStringLiteral("198.51.100.5"));
    const QHostAddress otherLan(QStringLiteral("203.0.113.7"));
    const QHostAddress v6(QStringLiteral("fe80::1"));
    const QHostAddress v6Global(QStringLiteral("2001:db8::5"));
    QTest::newRow("loopback first")
        << QList<QHostAddress>{loopback, lan} << QStringLiteral("198.51.100.5");
    QTest::newRow("first of two") << QList<QHostAddress>{otherLan, lan}
                                  << QStringLiteral("203.0.113.7");
    QTest::newRow("loopback only")
        << QList<QHostAddress>{loopback, QHostAddress(QStringLiteral("127.0.1.1"))} << QString();
    QTest::newRow("IPv6 only") << QList<QHostAddress>{v6, v6Global, QHostAddress::LocalHostIPv6}
                               << QString();
    QTest::newRow("IPv6 before IPv4")
        << QList<QHostAddress>{v6Global, lan} << QStringLiteral("198.51.100.5");
    QTest::newRow("null skipped") << QList<QHostAddress>{QHostAddress(), lan}
                                  << QStringLiteral("198.51.100.5");
    QTest::newRow("null only") << QList<QHostAddress>{QHostAddress(), QHostAddress()} << QString();
    QTest::newRow("empty") << QList<QHostAddress>{} << QString();
}

void NetworkInfoTest::firstUsableIPv4()
{
    QFETCH(QList<QHostAddress>, addresses);
    QFETCH(QString, expected);
    QCOMPARE(NetWorkInfo::firstUsableIPv4(addresses), expected);
}

void NetworkInfoTest::localhostHasNoUsableAddress()
{
    // Resolved from the hosts file: loopback addresses only.
    const QHostInfo localhost = QHostInfo::fromName(QStringLiteral("localhost"));
    QCOMPARE(localhost.error(), QHostInfo::NoError);
    QVERIFY(!localhost.addresses().isEmpty());
    for (const QHostAddress& address : localhost.addresses()) {
        QVERIFY2(address.isLoopback(), qPrintable(address.toString()));
    }
    QCOMPARE(NetWorkInfo::firstUsableIPv4(localhost.addresses()), QString());
}

void NetworkInfoTest::goingOnlineReportsAvailabilityThenTheAddress()
{
    NetWorkInfo info;
    QCOMPARE(info.getHostName(), QString());
    QStringList order;
    connect(&info, &NetWorkInfo::sigNetAvailble, this,
            [&](bool available) { order << QStringLiteral("available:%1").arg(available); });
    connect(&info, &NetWorkInfo::sigIPAddr, this,
            [&](const QString& address) { order << QStringLiteral("address:%1").arg(address); });

    info.slotOnlineStateChanged(true);
    // No host name is known, so no usable address: reported as empty.
    QCOMPARE(order, QStringList({QStringLiteral("available:1"), QStringLiteral("address:")}));
    QVERIFY(info.isNetAvailble());
    QCOMPARE(info.getIPAddr(), QString());
}

void NetworkInfoTest::goingOfflineClearsTheAddress()
{
    NetWorkInfo info;
    QSignalSpy available(&info, &NetWorkInfo::sigNetAvailble);
    QSignalSpy address(&info, &NetWorkInfo::sigIPAddr);
    info.slotOnlineStateChanged(true);
    QVERIFY(info.isNetAvailble());

    info.slotOnlineStateChanged(false);
    QCOMPARE(available.count(), 2);
    QCOMPARE(available.at(1).at(0).toBool(), false);
    QCOMPARE(address.count(), 2);
    QCOMPARE(address.at(1).at(0).toString(), QString());
    QVERIFY(!info.isNetAvailble());
    QCOMPARE(info.getIPAddr(), QString());

    // Back online reports availability again.
    info.slotOnlineStateChanged(true);
    QCOMPARE(available.count(), 3);
    QCOMPARE(available.at(2).at(0).toBool(), true);
    QVERIFY(info.isNetAvailble());
}

void NetworkInfoTest::destructionWaitsForTheRelease()
{
    auto* info = new NetWorkInfo;
    QElapsedTimer clock;
    clock.start();
    delete info;
    QVERIFY2(clock.elapsed() >= NetWorkInfo::kReleaseWaitMs,
             qPrintable(QStringLiteral("gone after %1 ms").arg(clock.elapsed())));
    QCOMPARE(NetWorkInfo::kReleaseWaitMs, 300);

    // The process's instance: created once, released the same way and forgotten.
    NetWorkInfo* first = NetWorkInfo::instance();
    QCOMPARE(NetWorkInfo::instance(), first);
    QSignalSpy destroyed(first, &QObject::destroyed);
    clock.restart();
    NetWorkInfo::release();
    QVERIFY(clock.elapsed() >= NetWorkInfo::kReleaseWaitMs);
    QCOMPARE(destroyed.count(), 1);
    NetWorkInfo* second = NetWorkInfo::instance();
    QVERIFY(second != nullptr);
    NetWorkInfo::release();
}

void NetworkInfoTest::signalsAreDeclaredInOrder()
{
    const QMetaObject& meta = NetWorkInfo::staticMetaObject;
    const char* const signatures[] = {
        "sigHostName(QString)",   "sigNetAvailble(bool)",
        "sigIPAddr(QString)",     "updateQrCodePic(QString)",
        "updateCastCode(int[6])", "havedevicecoming(QString)",
        "sigNextStep()",          "sigprocessMsg(QHostAddress,QString)",
    };
    int previous = -1;
    for (const char* signature : signatures) {
        const int index = meta.indexOfSignal(QMetaObject::normalizedSignature(signature));
        QVERIFY2(index >= 0, signature);
        QVERIFY2(index > previous, signature);
        QCOMPARE(meta.method(index).methodType(), QMetaMethod::Signal);
        previous = index;
    }
    // Declared one after the other, nothing in between.
    const int first = meta.indexOfSignal("sigHostName(QString)");
    QCOMPARE(previous - first, int(std::size(signatures)) - 1);
}

QTEST_GUILESS_MAIN(NetworkInfoTest)
#include "networkinfo_test.moc"
