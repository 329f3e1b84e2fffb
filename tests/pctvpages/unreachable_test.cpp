// A receiver that is listed but no longer there: its row's 投屏 opens "投屏出现问题"
// modally; the user may try another receiver while it is open (the session must not
// touch the failed channel afterwards), closes it, and the application works as
// before: the other receiver gets the cast.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QtTest>

#include "Comm/castneterrordialog.h"
#include "PcCastTv/pccastfinddev.h"
#include "PcCastTv/sinkitem.h"
#include "src/session/screensender.h"
#include "tests/pctvpages/pctvtestsupport.h"

using vantor::pctvtest::AnnouncingReceiver;
using vantor::pctvtest::MainWindow;
using vantor::pctvtest::WhenShown;

namespace {

const QString kGoneHost = QStringLiteral("127.0.0.5");
const QString kGoodHost = QStringLiteral("127.0.0.6");

}  // namespace

class UnreachableTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_window.open()); }
    void cleanupTestCase() { m_window.close(); }
    void theDialogAppearsAndTheNextCastWorks();

private:
    SinkItem* rowFor(const QString& host) const
    {
        for (SinkItem* row : m_window.rows()) {
            if (row != nullptr && row->host() == host) return row;
        }
        return nullptr;
    }

    MainWindow m_window;
};

void UnreachableTest::theDialogAppearsAndTheNextCastWorks()
{
    AnnouncingReceiver gone(kGoneHost, QStringLiteral("555555"), QStringLiteral("断线的电视"));
    AnnouncingReceiver good(kGoodHost, QStringLiteral("666666"), QStringLiteral("好的电视"));
    QVERIFY(gone.waitUntilReady());
    QVERIFY(good.waitUntilReady());
    QTRY_VERIFY_WITH_TIMEOUT(rowFor(kGoneHost) != nullptr && rowFor(kGoodHost) != nullptr, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(m_window.castState()->currentWidget(),
                              static_cast<QWidget*>(m_window.findDev()), 3000);
    // Gone without withdrawing: its row stays while nothing answers at its address.
    QVERIFY(gone.kill());

    QString title;
    QString content;
    bool secondCastAsked = false;
    WhenShown answer(
        [] { return qobject_cast<CastNetErrorDialog*>(QApplication::activeModalWidget()); },
        [&](QWidget* dialog) {
            title = dialog->findChild<QLabel*>(QStringLiteral("titleLbl"))->text();
            content = dialog->findChild<QLabel*>(QStringLiteral("contenLbl"))->text();
            // A new cast while the dialog runs its own event loop.
            if (SinkItem* row = rowFor(kGoodHost)) {
                QTest::mouseClick(row->button(), Qt::LeftButton);
                secondCastAsked = true;
            }
            QTest::qWait(200);  // the failed channel's own signal has returned by now
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("closeBtn")),
                              Qt::LeftButton);
        },
        10000);
    QTest::mouseClick(rowFor(kGoneHost)->button(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(answer.happened(), 10000);
    QCOMPARE(title, QStringLiteral("提示"));
    QCOMPARE(content, QStringLiteral("  投屏出现问题\n请检查网络连接后再试"));
    QVERIFY(secondCastAsked);
    QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget() == nullptr, 3000);

    // The cast asked for while the dialog was open goes through.
    QTRY_VERIFY_WITH_TIMEOUT(ScreenSender::instance()->isSendingTo(kGoodHost), 8000);
    QTRY_COMPARE_WITH_TIMEOUT(rowFor(kGoodHost)->buttonText(), QStringLiteral("断开"), 3000);
    QTest::mouseClick(rowFor(kGoodHost)->button(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!good.castSummaries().isEmpty(), 8000);
    QVERIFY(AnnouncingReceiver::summaryField(good.castSummaries().first(), "video_frames") > 0);

    // And once more, from a clean state, right after.
    QTRY_COMPARE_WITH_TIMEOUT(rowFor(kGoodHost)->buttonText(), QStringLiteral("投屏"), 3000);
    QTest::mouseClick(rowFor(kGoodHost)->button(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(ScreenSender::instance()->isSendingTo(kGoodHost), 8000);
    ScreenSender::instance()->stop(kGoodHost);
    QTRY_COMPARE_WITH_TIMEOUT(good.castSummaries().size(), 2, 8000);
}

VANTOR_PCTV_TEST_MAIN(UnreachableTest)

#include "unreachable_test.moc"
