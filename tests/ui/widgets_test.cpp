// The small widgets of the pages: the spinning refresh button and a phone's row with its
// 投屏 / 断开 button.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include "Comm/castdevitem.h"
#include "Comm/circlebutton.h"
#include "tests/ui/uitestsupport.h"

class WidgetsTest : public QObject {
    Q_OBJECT

private slots:
    void circleButtonStepsThirtyDegreesAndWrapsAfter360();
    void circleButtonStopKeepsTheAngleAndStartResumes();
    void circleButtonTimerTurnsItWhileStarted();

    void castDevItemShowsARichTextIdAsTyped();
    void castDevItemButtonTogglesBetweenConnectAndDisconnect();
    void castDevItemStartsConnectedWhenAskedTo();
};

void WidgetsTest::circleButtonStepsThirtyDegreesAndWrapsAfter360()
{
    CircleButton button;
    QCOMPARE(button.angle(), 0);
    QCOMPARE(button.isSpinning(), false);

    QList<int> angles;
    for (int step = 0; step < 13; ++step) {
        button.onTimeout();
        angles << button.angle();
    }
    QList<int> expected;
    for (int angle = 30; angle <= 360; angle += CircleButton::kStepDegrees) {
        expected << angle;
    }
    expected << 0;
    QCOMPARE(angles, expected);
    // Twelve distinct positions (360 is drawn like 0) plus the 360 step itself.
    QCOMPARE(QSet<int>(angles.begin(), angles.end()).size(), 13);

    button.onTimeout();
    QCOMPARE(button.angle(), 30);  // the second turn starts like the first
}

void WidgetsTest::circleButtonStopKeepsTheAngleAndStartResumes()
{
    CircleButton button;
    button.resize(24, 24);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));

    button.start();
    QVERIFY(button.isSpinning());
    for (int step = 0; step < 4; ++step) {
        button.onTimeout();
    }
    // No event loop ran in between: only the four steps counted.
    QCOMPARE(button.angle(), 120);

    button.stop();
    QVERIFY(!button.isSpinning());
    const int stoppedAt = button.angle();
    // A timer of the same step, started after the button's: the event loop fires
    // due timers in order, so by its second tick a button timer still running
    // would have turned the picture at least once.
    QTimer reference;
    reference.setTimerType(Qt::PreciseTimer);
    QSignalSpy ticks(&reference, &QTimer::timeout);
    reference.start(CircleButton::kStepMs);
    QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 2, 5000);
    QCOMPARE(button.angle(), stoppedAt);
    QVERIFY(!button.isSpinning());

    button.start();
    QVERIFY(button.isSpinning());
    QTRY_VERIFY_WITH_TIMEOUT(button.angle() != stoppedAt, 2000);
    button.stop();
    // Resumed from the kept angle, not from 0: a few steps on from 120, short of a turn.
    const int resumed = button.angle();
    QVERIFY2(
        resumed > stoppedAt && (resumed - stoppedAt) % CircleButton::kStepDegrees == 0,
        qPrintable(QStringLiteral("stopped at %1, resumed to %2").arg(stoppedAt).arg(resumed)));
}

void WidgetsTest::circleButtonTimerTurnsItWhileStarted()
{
    CircleButton button;
    button.resize(24, 24);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    QCOMPARE(button.angle(), 0);

    QElapsedTimer clock;
    clock.start();
    button.start();
    // Three steps take 150 ms; a second is plenty even on a busy machine.
    QTRY_VERIFY_WITH_TIMEOUT(button.angle() >= 90, 2000);
    QVERIFY(clock.elapsed() >= 2 * CircleButton::kStepMs);
    QCOMPARE(button.angle() % CircleButton::kStepDegrees, 0);
    button.stop();
}

void WidgetsTest::castDevItemShowsARichTextIdAsTyped()
{
    const QString id = QStringLiteral("<b>Pixel</b> <img src=x>");
    CastDevItem item(QStringLiteral(":/img/icon_shouji.png"), id, QStringLiteral("198.51.100.9"));
    item.show();
    QVERIFY(QTest::qWaitForWindowExposed(&item));

    QLabel* idLabel = nullptr;
    for (QLabel* label : item.findChildren<QLabel*>()) {
        if (label->text() == id) {
            idLabel = label;
        }
    }
    QVERIFY2(idLabel != nullptr, "no label shows the id as given");
    QCOMPARE(idLabel->textFormat(), Qt::PlainText);
    QCOMPARE(item.getDevId(), id);
}

void WidgetsTest::castDevItemButtonTogglesBetweenConnectAndDisconnect()
{
    const QString name = QStringLiteral("phone-7");
    CastDevItem item(QStringLiteral(":/img/icon_shouji.png"), QStringLiteral("Pixel 7"), name);
    item.resize(300, 40);
    item.show();
    QVERIFY(QTest::qWaitForWindowExposed(&item));
    QSignalSpy connected(&item, &CastDevItem::sigConnect);
    QSignalSpy disconnected(&item, &CastDevItem::sigDisConnect);
    QCOMPARE(item.buttonText(), QStringLiteral("投屏"));

    QTest::mouseClick(item.button(), Qt::LeftButton);
    QCOMPARE(item.buttonText(), QStringLiteral("断开"));
    QCOMPARE(connected.count(), 1);
    QCOMPARE(connected.at(0).at(0).toString(), name);
    QCOMPARE(disconnected.count(), 0);

    QTest::mouseClick(item.button(), Qt::LeftButton);
    QCOMPARE(item.buttonText(), QStringLiteral("投屏"));
    QCOMPARE(disconnected.count(), 1);
    QCOMPARE(disconnected.at(0).at(0).toString(), name);
    QCOMPARE(connected.count(), 1);

    // The text set from outside decides what the next click means.
    item.updateItem(QStringLiteral("断开"));
    QTest::mouseClick(item.button(), Qt::LeftButton);
    QCOMPARE(disconnected.count(), 2);
    QCOMPARE(item.buttonText(), QStringLiteral("投屏"));
}

void WidgetsTest::castDevItemStartsConnectedWhenAskedTo()
{
    CastDevItem item(QStringLiteral(":/img/icon_shouji.png"), QStringLiteral("Pixel 7"),
                     QStringLiteral("phone-7"), nullptr, true);
    QCOMPARE(item.buttonText(), QStringLiteral("断开"));
    QSignalSpy disconnected(&item, &CastDevItem::sigDisConnect);
    item.button()->click();
    QCOMPARE(disconnected.count(), 1);
    QCOMPARE(item.buttonText(), QStringLiteral("投屏"));
}

VANTOR_UI_TEST_MAIN(WidgetsTest)
#include "widgets_test.moc"
