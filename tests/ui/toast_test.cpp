// The toast: where it appears over a page that sits inside a window, that its text is
// never read as markup, and its timeline (fade in over a second, fade out from two,
// gone after about three), also with two toasts at once.
#include "Comm/toast.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

#include "tests/ui/uitestsupport.h"

namespace {

// Shown at 1 s (kFadeMs) and destroyed at about 3 s (kShownMs + kFadeMs); the bounds
// leave room for a loaded machine without accepting a timeline twice as long.
constexpr qint64 kOpaqueEarliestMs = 800;
constexpr qint64 kOpaqueLatestMs = 1800;
constexpr qint64 kGoneEarliestMs = 2700;
constexpr qint64 kGoneLatestMs = 4500;

}  // namespace

class ToastTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void isCentredOverThePageNineTenthsDown();
    void showsMarkupAsPlainText();
    void fadesInOverASecondAndDeletesItselfAfterThree();
    void twoToastsRunTheirOwnTimelines();

private:
    QLabel* labelOf(Toast* toast) const
    {
        return toast->findChild<QLabel*>(QStringLiteral("label"));
    }

    std::unique_ptr<QWidget> m_window;
    QWidget* m_page = nullptr;
};

void ToastTest::init()
{
    // A window away from the screen's origin with the page well inside it: the page's
    // global position is the window's plus its own.
    m_window = std::make_unique<QWidget>();
    m_window->setWindowFlags(Qt::FramelessWindowHint);
    m_window->resize(980, 500);
    m_window->move(120, 90);
    m_page = new QWidget(m_window.get());
    m_page->setGeometry(300, 100, 300, 200);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void ToastTest::cleanup()
{
    m_window.reset();  // takes any toast still on screen with it
    m_page = nullptr;
}

void ToastTest::isCentredOverThePageNineTenthsDown()
{
    QPointer<Toast> toast = Toast::showTip(QStringLiteral("开始投屏, 请在大屏幕确认."), m_page);
    QVERIFY(toast != nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(toast.data()));
    QVERIFY(toast->isWindow());

    const QPoint page = m_page->mapToGlobal(QPoint(0, 0));
    QCOMPARE(page, m_window->pos() + QPoint(300, 100));
    const QPoint toastTopLeft = toast->mapToGlobal(QPoint(0, 0));
    const int toastCentreX = toastTopLeft.x() + toast->width() / 2;
    const int pageCentreX = page.x() + m_page->width() / 2;
    QVERIFY2(
        qAbs(toastCentreX - pageCentreX) <= 1,
        qPrintable(
            QStringLiteral("toast centre %1, page centre %2").arg(toastCentreX).arg(pageCentreX)));
    const int expectedTop = page.y() + m_page->height() * 9 / 10;
    QVERIFY2(
        qAbs(toastTopLeft.y() - expectedTop) <= 1,
        qPrintable(
            QStringLiteral("toast top %1, expected %2").arg(toastTopLeft.y()).arg(expectedTop)));
    QCOMPARE(Toast::placement(m_page, toast->width()), toast->pos());
}

void ToastTest::showsMarkupAsPlainText()
{
    const QString markup = QStringLiteral("<b>x</b>");
    QPointer<Toast> marked = Toast::showTip(markup, m_page);
    QPointer<Toast> plain = Toast::showTip(QStringLiteral("x"), m_page);
    QVERIFY(QTest::qWaitForWindowExposed(marked.data()));
    QVERIFY(QTest::qWaitForWindowExposed(plain.data()));

    QCOMPARE(marked->text(), markup);
    QLabel* label = labelOf(marked);
    QVERIFY(label != nullptr);
    QCOMPARE(label->text(), markup);
    QCOMPARE(label->textFormat(), Qt::PlainText);
    // Drawn as typed: the tags take their own width, where bold "x" would not.
    const QFontMetrics metrics = label->fontMetrics();
    const int extra =
        metrics.horizontalAdvance(markup) - metrics.horizontalAdvance(QStringLiteral("x"));
    QVERIFY(extra > 0);
    QVERIFY2(qAbs((marked->width() - plain->width()) - extra) <= 3,
             qPrintable(QStringLiteral("widths %1 and %2, the tags measure %3")
                            .arg(marked->width())
                            .arg(plain->width())
                            .arg(extra)));
}

void ToastTest::fadesInOverASecondAndDeletesItselfAfterThree()
{
    QElapsedTimer clock;
    clock.start();
    QPointer<Toast> toast = Toast::showTip(QStringLiteral("投屏已断开"), m_page);
    QSignalSpy destroyed(toast.data(), &QObject::destroyed);
    QVERIFY(destroyed.isValid());
    QVERIFY(toast->isVisible());
    QVERIFY(toast->windowOpacity() < 0.5);

    QTRY_VERIFY_WITH_TIMEOUT(toast != nullptr && toast->windowOpacity() == 1.0, 3000);
    const qint64 opaqueAt = clock.elapsed();
    QVERIFY2(opaqueAt >= kOpaqueEarliestMs && opaqueAt <= kOpaqueLatestMs,
             qPrintable(QStringLiteral("opaque after %1 ms").arg(opaqueAt)));

    // Fully shown until the fade-out starts at two seconds, then fading.
    QTRY_VERIFY_WITH_TIMEOUT(toast == nullptr || toast->windowOpacity() < 1.0, 4000);
    if (toast != nullptr) {
        const qint64 fadingAt = clock.elapsed();
        QVERIFY2(fadingAt >= Toast::kShownMs - 100,
                 qPrintable(QStringLiteral("fading after %1 ms").arg(fadingAt)));
    }

    QTRY_VERIFY_WITH_TIMEOUT(destroyed.count() == 1, 6000);
    const qint64 goneAt = clock.elapsed();
    QVERIFY(toast == nullptr);
    QVERIFY2(goneAt >= kGoneEarliestMs && goneAt <= kGoneLatestMs,
             qPrintable(QStringLiteral("destroyed after %1 ms").arg(goneAt)));
}

void ToastTest::twoToastsRunTheirOwnTimelines()
{
    QElapsedTimer firstClock;
    firstClock.start();
    QPointer<Toast> first = Toast::showTip(QStringLiteral("第一条"), m_page);
    QTRY_VERIFY_WITH_TIMEOUT(first != nullptr && first->windowOpacity() == 1.0, 3000);

    // The second starts while the first is fully shown.
    QElapsedTimer secondClock;
    secondClock.start();
    QPointer<Toast> second = Toast::showTip(QStringLiteral("第二条"), m_page);
    QVERIFY(second != first);
    QVERIFY(second->windowOpacity() < 0.5);
    QCOMPARE(first->windowOpacity(), 1.0);

    QTRY_VERIFY_WITH_TIMEOUT(second->windowOpacity() == 1.0, 3000);
    const qint64 secondOpaqueAt = secondClock.elapsed();
    QVERIFY2(secondOpaqueAt >= kOpaqueEarliestMs && secondOpaqueAt <= kOpaqueLatestMs,
             qPrintable(QStringLiteral("second opaque after %1 ms").arg(secondOpaqueAt)));

    QTRY_VERIFY_WITH_TIMEOUT(first == nullptr, 6000);
    const qint64 firstGoneAt = firstClock.elapsed();
    QVERIFY2(firstGoneAt >= kGoneEarliestMs && firstGoneAt <= kGoneLatestMs,
             qPrintable(QStringLiteral("first destroyed after %1 ms").arg(firstGoneAt)));
    // The second is on its own clock: still there, not yet faded out.
    QVERIFY(second != nullptr);
    QVERIFY(second->isVisible());
    QVERIFY(second->windowOpacity() > 0.0);

    QTRY_VERIFY_WITH_TIMEOUT(second == nullptr, 6000);
    const qint64 secondGoneAt = secondClock.elapsed();
    QVERIFY2(secondGoneAt >= kGoneEarliestMs && secondGoneAt <= kGoneLatestMs,
             qPrintable(QStringLiteral("second destroyed after %1 ms").arg(secondGoneAt)));
}

VANTOR_UI_TEST_MAIN(ToastTest)
#include "toast_test.moc"
