// Casting from the PC-to-TV list page to real receivers on loopback: a row's button
// starts the cast and, once a sender is attached, reads "断开"; clicking it again
// stops the cast. The cast code does the same through "开始投屏" / "退出投屏". Every
// outcome of the session (asked, refused, busy, stopped) is shown as one toast per
// event, however many casts were started before. The capture is the X server's screen;
// there is no sound server, so the casts carry video only.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QtTest>
#include <memory>

#include "PcCastTv/pccastfinddev.h"
#include "PcCastTv/pccasttv.h"
#include "PcCastTv/sinkitem.h"
#include "src/session/screensender.h"
#include "tests/pctvpages/pctvtestsupport.h"
#include "uimanage.h"

using vantor::pctvtest::AnnouncingReceiver;
using vantor::pctvtest::MainWindow;
using vantor::pctvtest::ToastRecorder;

namespace {

const QString kAsked = QStringLiteral("开始投屏, 请在大屏幕确认.");
const QString kBusy = QStringLiteral("接收设备忙, 请稍候.");
const QString kRefused = QStringLiteral("接收设备拒绝投屏.");
const QString kStopped = QStringLiteral("已停止投屏.");

const QString kAccepting = QStringLiteral("127.0.0.2");
const QString kRefusing = QStringLiteral("127.0.0.3");
const QString kBusyHost = QStringLiteral("127.0.0.4");

// Connecting, answering and attaching a sender on loopback, plus one list update.
constexpr int kCastBoundMs = 6000;
constexpr int kListBoundMs = 6000;  // a loaded machine runs the timers late

}  // namespace

class CastingTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void rowButtonStartsAndStopsTheCast();
    void castCodeStartsAndStopsTheCast();
    void everyOutcomeIsShownOncePerEvent();

private:
    SinkItem* rowFor(const QString& host) const;
    // Waits until every Sender of the session has ended (they end on their own threads
    // after a stop); the last "sendStop" of a cast comes with that.
    bool waitUntilNoSenderIsLeft(QSignalSpy& ended, const QString& host);
    // Waits for `count` more runs of the list page's one-second update.
    bool waitForListUpdates(int count);

    MainWindow m_main;
    std::unique_ptr<AnnouncingReceiver> m_accepting;
    std::unique_ptr<AnnouncingReceiver> m_refusing;
    std::unique_ptr<AnnouncingReceiver> m_busy;
};

void CastingTest::initTestCase()
{
    QVERIFY(m_main.open());
    m_accepting = std::make_unique<AnnouncingReceiver>(kAccepting, QStringLiteral("111111"),
                                                       QStringLiteral("接受的电视"),
                                                       QStringLiteral("accept"));
    m_refusing = std::make_unique<AnnouncingReceiver>(kRefusing, QStringLiteral("222222"),
                                                      QStringLiteral("拒绝的电视"),
                                                      QStringLiteral("refuse"));
    m_busy = std::make_unique<AnnouncingReceiver>(
        kBusyHost, QStringLiteral("333333"), QStringLiteral("忙碌的电视"), QStringLiteral("busy"));
    QVERIFY(m_accepting->waitUntilReady());
    QVERIFY(m_refusing->waitUntilReady());
    QVERIFY(m_busy->waitUntilReady());
    QTRY_COMPARE_WITH_TIMEOUT(m_main.castState()->currentIndex(), int(PcCastTv::kFindDevPage),
                              3000);
    QTRY_COMPARE_WITH_TIMEOUT(m_main.rows().size(), 3, kListBoundMs);
    QVERIFY(rowFor(kAccepting) != nullptr);
    QVERIFY(rowFor(kRefusing) != nullptr);
    QVERIFY(rowFor(kBusyHost) != nullptr);
}

void CastingTest::cleanupTestCase()
{
    m_main.close();
    m_accepting.reset();
    m_refusing.reset();
    m_busy.reset();
}

void CastingTest::init()
{
    // Each case starts with nothing being cast.
    ScreenSender* session = ScreenSender::instance();
    QVERIFY(!session->isSendingTo(kAccepting));
    QCOMPARE(session->attachedCount(), 0);
    for (SinkItem* row : m_main.rows()) {
        QCOMPARE(row->buttonText(), QStringLiteral("投屏"));
    }
}

void CastingTest::cleanup()
{
    // A failed case may have left a cast running: the next one starts from none.
    ScreenSender* session = ScreenSender::instance();
    if (session->attachedCount() == 0) {
        return;
    }
    QSignalSpy ended(session, &ScreenSender::senderEnded);
    for (const QString& host : {kAccepting, kRefusing, kBusyHost}) {
        if (session->isSendingTo(host)) {
            session->stop(host);
        }
    }
    QTRY_COMPARE_WITH_TIMEOUT(session->attachedCount(), 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(rowFor(kAccepting)->buttonText() == QStringLiteral("投屏"),
                             kListBoundMs);
}

SinkItem* CastingTest::rowFor(const QString& host) const
{
    for (SinkItem* row : m_main.rows()) {
        if (row != nullptr && row->host() == host) {
            return row;
        }
    }
    return nullptr;
}

bool CastingTest::waitUntilNoSenderIsLeft(QSignalSpy& ended, const QString& host)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        bool hostEnded = false;
        for (const QList<QVariant>& arguments : qAsConst(ended)) {
            hostEnded = hostEnded || arguments.value(0).toString() == host;
        }
        if (hostEnded && ScreenSender::instance()->attachedCount() == 0) {
            return true;
        }
        ended.wait(200);
    }
    return false;
}

bool CastingTest::waitForListUpdates(int count)
{
    QTimer* listTimer = nullptr;
    for (QTimer* timer :
         m_main.findDev()->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (timer->interval() == PcCastFindDev::kListUpdateMs) {
            listTimer = timer;
        }
    }
    if (listTimer == nullptr || !listTimer->isActive()) {
        return false;
    }
    QSignalSpy updates(listTimer, &QTimer::timeout);
    QElapsedTimer clock;
    clock.start();
    while (updates.count() < count &&
           clock.elapsed() < (count + 1) * PcCastFindDev::kListUpdateMs) {
        updates.wait(PcCastFindDev::kListUpdateMs);
    }
    // The update itself ran in the timer's slot before the spy saw the signal; let the
    // events it posted be handled too.
    QCoreApplication::processEvents();
    return updates.count() >= count;
}

void CastingTest::rowButtonStartsAndStopsTheCast()
{
    ScreenSender* session = ScreenSender::instance();
    SinkItem* row = rowFor(kAccepting);
    QVERIFY(row != nullptr);
    QSignalSpy answered(session, &ScreenSender::answered);
    QSignalSpy ended(session, &ScreenSender::senderEnded);
    ToastRecorder toasts;

    QTest::mouseClick(row->button(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(toasts.count(kAsked), 1, kCastBoundMs);
    QTRY_COMPARE_WITH_TIMEOUT(row->buttonText(), QStringLiteral("断开"), kCastBoundMs);
    QVERIFY(session->isSendingTo(kAccepting));
    QCOMPARE(session->attachedCount(), 1);
    QCOMPARE(answered.count(), 1);
    QCOMPARE(answered.at(0).value(0).toString(), kAccepting);
    QCOMPARE(answered.at(0).value(1).toString(), QStringLiteral("accept"));
    // Asked once; nothing else was said.
    VANTOR_COMPARE_TOASTS(toasts, (QStringList{kAsked}));
    // The other rows are not being cast to.
    QCOMPARE(rowFor(kRefusing)->buttonText(), QStringLiteral("投屏"));
    QCOMPARE(rowFor(kBusyHost)->buttonText(), QStringLiteral("投屏"));

    // The row is the same object after the cast started (it is updated, not rebuilt).
    QCOMPARE(rowFor(kAccepting), row);
    QTest::mouseClick(row->button(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(toasts.count(kStopped), 1, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(row->buttonText(), QStringLiteral("投屏"), kListBoundMs);
    QVERIFY(!session->isSendingTo(kAccepting));
    QVERIFY(waitUntilNoSenderIsLeft(ended, kAccepting));
    // The receiver got a picture (the X server's screen, encoded); its first cast.
    QTRY_COMPARE_WITH_TIMEOUT(m_accepting->castSummaries().size(), 1, 5000);
    const QString summary = m_accepting->castSummaries().last();
    QVERIFY2(AnnouncingReceiver::summaryField(summary, QStringLiteral("video_frames")) > 0,
             qPrintable(summary));
    QCOMPARE(AnnouncingReceiver::summaryField(summary, QStringLiteral("first_video_idr")), 1);
    QCOMPARE(AnnouncingReceiver::summaryField(summary, QStringLiteral("errors")), 0);
    // One stop, one "stopped", also once the sender's thread has ended.
    VANTOR_COMPARE_TOASTS(toasts, (QStringList{kAsked, kStopped}));
    QCOMPARE(answered.count(), 1);
}

void CastingTest::castCodeStartsAndStopsTheCast()
{
    ScreenSender* session = ScreenSender::instance();
    PcCastFindDev* page = m_main.findDev();
    QLineEdit* code = MainWindow::castCode(page);
    QPushButton* castBtn = MainWindow::castBtn(page);
    SinkItem* row = rowFor(kAccepting);
    QSignalSpy ended(session, &ScreenSender::senderEnded);
    ToastRecorder toasts;

    code->clear();
    code->setFocus();
    QTest::keyClicks(code, QStringLiteral("111111"));
    QCOMPARE(code->text(), QStringLiteral("111111"));
    QTRY_COMPARE_WITH_TIMEOUT(castBtn->text(), QStringLiteral("开始投屏"), kListBoundMs);

    QTest::mouseClick(castBtn, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(castBtn->text(), QStringLiteral("退出投屏"), kCastBoundMs);
    QVERIFY(session->isSendingTo(kAccepting));
    QTRY_COMPARE_WITH_TIMEOUT(row->buttonText(), QStringLiteral("断开"), kListBoundMs);
    VANTOR_COMPARE_TOASTS(toasts, (QStringList{kAsked}));

    // Still casting a few list updates later.
    QSignalSpy answeredLater(session, &ScreenSender::answered);
    QVERIFY(waitForListUpdates(2));
    QCOMPARE(castBtn->text(), QStringLiteral("退出投屏"));
    QVERIFY(session->isSendingTo(kAccepting));
    QCOMPARE(answeredLater.count(), 0);

    QTest::mouseClick(castBtn, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(toasts.count(kStopped), 1, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(castBtn->text(), QStringLiteral("开始投屏"), kListBoundMs);
    QTRY_COMPARE_WITH_TIMEOUT(row->buttonText(), QStringLiteral("投屏"), kListBoundMs);
    QVERIFY(!session->isSendingTo(kAccepting));
    QVERIFY(waitUntilNoSenderIsLeft(ended, kAccepting));
    VANTOR_COMPARE_TOASTS(toasts, (QStringList{kAsked, kStopped}));
    code->clear();
}

void CastingTest::everyOutcomeIsShownOncePerEvent()
{
    ScreenSender* session = ScreenSender::instance();
    QSignalSpy answered(session, &ScreenSender::answered);
    QSignalSpy ended(session, &ScreenSender::senderEnded);
    ToastRecorder toasts;

    // Accepted: asked once, then the row reads "断开".
    QTest::mouseClick(rowFor(kAccepting)->button(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 1, kCastBoundMs);
    QCOMPARE(answered.last().value(1).toString(), QStringLiteral("accept"));
    QTRY_COMPARE_WITH_TIMEOUT(rowFor(kAccepting)->buttonText(), QStringLiteral("断开"),
                              kListBoundMs);
    VANTOR_COMPARE_TOASTS(toasts, (QStringList{kAsked}));

    // Refused: asked once more, refused once; the row keeps "投屏".
    QTest::mouseClick(rowFor(kRefusing)->button(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 2, kCastBoundMs);
    QCOMPARE(answered.last().value(0).toString(), kRefusing);
    QCOMPARE(answered.last().value(1).toString(), QStringLiteral("refuse"));
    VANTOR_COMPARE_TOASTS(toasts, (QStringList{kAsked, kAsked, kRefused}));

    // Busy: asked once more, busy once.
    QTest::mouseClick(rowFor(kBusyHost)->button(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 3, kCastBoundMs);
    QCOMPARE(answered.last().value(0).toString(), kBusyHost);
    QCOMPARE(answered.last().value(1).toString(), QStringLiteral("busy"));
    VANTOR_COMPARE_TOASTS(toasts, (QStringList{kAsked, kAsked, kRefused, kAsked, kBusy}));

    // One list update later: only the accepting receiver is cast to.
    QSignalSpy settled(session, &ScreenSender::answered);
    QVERIFY(waitForListUpdates(1));
    QCOMPARE(rowFor(kAccepting)->buttonText(), QStringLiteral("断开"));
    QCOMPARE(rowFor(kRefusing)->buttonText(), QStringLiteral("投屏"));
    QCOMPARE(rowFor(kBusyHost)->buttonText(), QStringLiteral("投屏"));
    QCOMPARE(session->attachedCount(), 1);

    // Stopped: once.
    QTest::mouseClick(rowFor(kAccepting)->button(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(toasts.count(kStopped), 1, 2000);
    QVERIFY(waitUntilNoSenderIsLeft(ended, kAccepting));
    QTRY_COMPARE_WITH_TIMEOUT(rowFor(kAccepting)->buttonText(), QStringLiteral("投屏"),
                              kListBoundMs);
    VANTOR_COMPARE_TOASTS(toasts, (QStringList{kAsked, kAsked, kRefused, kAsked, kBusy, kStopped}));
    QCOMPARE(settled.count(), 0);
}

VANTOR_PCTV_TEST_MAIN(CastingTest)
#include "casting_test.moc"
