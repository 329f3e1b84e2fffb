// The PC-to-TV view as receivers come and go: the page without receivers until the
// first announcement, the list with one row per receiver (appended, never reordered,
// renamed in place, removed when the receiver withdraws), names shown as plain text and
// whole or elided (never cut off, never hiding the row's button), back to the page
// without receivers when the last one is gone, and the cast code field on both pages. Real
// vantor-receiver processes announce on 127.0.0.2 and up.
#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "PcCastTv/pccastfinddev.h"
#include "PcCastTv/pccastnodev.h"
#include "PcCastTv/pccasttv.h"
#include "PcCastTv/sinkitem.h"
#include "src/discovery/codereceiver.h"
#include "tests/pctvpages/pctvtestsupport.h"
#include "uimanage.h"

using vantor::pctvtest::AnnouncingReceiver;
using vantor::pctvtest::MainWindow;
using vantor::pctvtest::ToastRecorder;

namespace {

// Page choice every 2 s, list update every second. These bounds only keep a broken
// build from hanging; that the page follows the table at its very next page-choice
// tick is checked on the ticks themselves (a loaded machine may run them late).
constexpr int kPageBoundMs = 10000;
constexpr int kRowBoundMs = 6000;

const QString kWrongCode = QStringLiteral("投屏码错误, 请检查!");
const QString kLongName = QStringLiteral("客厅里那台很大的智能电视机（三楼主卧旁边）");
const QString kMarkupName = QStringLiteral("<img src=x><font color=red>红</font>");
// Far wider than a row.
const QString kVeryLongName =
    QStringLiteral("会议中心东侧大厅入口处左边第二块可以无线投屏的超大尺寸智能液晶显示屏幕");

// Empty when the row's name label draws its whole text inside itself and that text is
// the name, or the name's beginning followed by "…"; else what is wrong.
QString nameFitsOrIsElided(const SinkItem* row)
{
    const QLabel* nameLabel = nullptr;
    for (const QLabel* label : row->findChildren<QLabel*>()) {
        if (label->pixmap(Qt::ReturnByValue).isNull() && !label->text().isEmpty()) {
            nameLabel = label;
        }
    }
    if (nameLabel == nullptr) {
        return QStringLiteral("no name label");
    }
    const QString shown = nameLabel->text();
    const int drawn = QFontMetrics(nameLabel->font()).horizontalAdvance(shown);
    const int room = nameLabel->contentsRect().width();
    if (drawn > room) {
        return QStringLiteral("\"%1\" takes %2 px of a %3 px label: cut off, not elided")
            .arg(shown)
            .arg(drawn)
            .arg(room);
    }
    const QString name = row->name();
    if (shown != name && !(shown.endsWith(QChar(0x2026)) && name.startsWith(shown.chopped(1)))) {
        return QStringLiteral("shows \"%1\" for \"%2\"").arg(shown, name);
    }
    return QString();
}

QTimer* pageChoiceTimer(PcCastTv* view)
{
    for (QTimer* timer : view->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (timer->interval() == PcCastTv::kPageChoiceMs) {
            return timer;
        }
    }
    return nullptr;
}

// Counts the page-choice ticks that found a receiver in the table, and notes how many
// there had been when the list page was first shown.
class PageChoiceTicks : public QObject {
public:
    PageChoiceTicks(PcCastTv* container, QStackedWidget* pages) : m_pages(pages)
    {
        if (QTimer* timer = pageChoiceTimer(container)) {
            // Connected after the page's own slot: runs right after it, same tick.
            connect(timer, &QTimer::timeout, this, [this] { onTick(); });
            m_found = true;
        }
    }
    bool found() const { return m_found; }
    int ticksWhenShown() const { return m_ticksWhenShown; }

private:
    void onTick()
    {
        if (!CodeReceiver::instance().sinks().isEmpty()) ++m_ticks;
        if (m_ticksWhenShown < 0 && m_pages->currentIndex() == PcCastTv::kFindDevPage)
            m_ticksWhenShown = m_ticks;
    }

    QStackedWidget* m_pages;
    bool m_found = false;
    int m_ticks = 0;
    int m_ticksWhenShown = -1;
};

}  // namespace

class ReceiverListTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void withoutReceiversThePageSaysSo();
    void codeFieldTakesSixDigitsOnlyWithoutReceivers();
    void firstAnnouncementShowsTheList();
    void renamedReceiverKeepsItsRow();
    void newReceiversAppendRows();
    void namesAreShownAsTheyAreSent();
    void aVeryLongNameIsElidedAndLeavesTheButtonInView();
    void withdrawnReceiverLosesItsRow();
    void codeFieldTakesSixDigitsOnlyWithReceivers();
    void lastReceiverGoneShowsThePageWithoutReceivers();

private:
    std::unique_ptr<AnnouncingReceiver> startReceiver(const QString& address, const QString& code,
                                                      const QString& name);
    void checkCodeField(QWidget* page);

    MainWindow m_main;
    std::unique_ptr<AnnouncingReceiver> m_first;   // 127.0.0.2
    std::unique_ptr<AnnouncingReceiver> m_second;  // 127.0.0.3
    std::unique_ptr<AnnouncingReceiver> m_third;   // 127.0.0.4
    std::unique_ptr<AnnouncingReceiver> m_markup;  // 127.0.0.5
    std::unique_ptr<AnnouncingReceiver> m_long;    // 127.0.0.6
};

void ReceiverListTest::initTestCase()
{
    QVERIFY(m_main.open());
    QVERIFY(m_main.pcCastTv() != nullptr);
    QVERIFY(m_main.castState() != nullptr);
    QVERIFY(m_main.noDev() != nullptr);
    QVERIFY(m_main.findDev() != nullptr);
}

void ReceiverListTest::cleanupTestCase()
{
    m_first.reset();
    m_second.reset();
    m_third.reset();
    m_markup.reset();
    m_long.reset();
    m_main.close();
}

std::unique_ptr<AnnouncingReceiver> ReceiverListTest::startReceiver(const QString& address,
                                                                    const QString& code,
                                                                    const QString& name)
{
    auto receiver = std::make_unique<AnnouncingReceiver>(address, code, name);
    if (!receiver->waitUntilReady()) {
        qWarning().noquote() << "receiver on" << address << "not ready";
        return nullptr;
    }
    return receiver;
}

void ReceiverListTest::withoutReceiversThePageSaysSo()
{
    QStackedWidget* pages = m_main.castState();
    QCOMPARE(pages->currentIndex(), int(PcCastTv::kNoDevPage));
    QCOMPARE(pages->currentWidget(), static_cast<QWidget*>(m_main.noDev()));

    // Still so after the page has been chosen again from the empty table.
    QTimer* timer = pageChoiceTimer(m_main.pcCastTv());
    QVERIFY(timer != nullptr);
    QVERIFY(timer->isActive());
    QSignalSpy ticks(timer, &QTimer::timeout);
    QVERIFY(ticks.wait(PcCastTv::kPageChoiceMs + 1000));
    QCOMPARE(pages->currentIndex(), int(PcCastTv::kNoDevPage));
    QVERIFY(m_main.noDev()->isVisible());
    QVERIFY(!m_main.findDev()->isVisible());
    QVERIFY(m_main.rows().isEmpty());

    QVERIFY(vantor::pctvtest::saveScreenshot(m_main.window()->grab(),
                                             QStringLiteral("pctv-nodev.png")));
}

void ReceiverListTest::checkCodeField(QWidget* page)
{
    QLineEdit* code = MainWindow::castCode(page);
    QPushButton* castBtn = MainWindow::castBtn(page);
    QVERIFY(code != nullptr);
    QVERIFY(castBtn != nullptr);
    QVERIFY(page->isVisible());

    // Letters and anything past the sixth digit cannot be typed.
    code->clear();
    code->setFocus();
    QTest::keyClicks(code, QStringLiteral("12a3b-4 5"));
    QCOMPARE(code->text(), QStringLiteral("12345"));
    QTest::keyClicks(code, QStringLiteral("67"));
    QCOMPARE(code->text(), QStringLiteral("123456"));
    QTest::keyClicks(code, QStringLiteral("x8"));
    QCOMPARE(code->text(), QStringLiteral("123456"));

    // Five digits: the code is wrong, said once.
    QTest::keyClick(code, Qt::Key_Backspace);
    QCOMPARE(code->text(), QStringLiteral("12345"));
    ToastRecorder toasts;
    QTest::mouseClick(castBtn, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(toasts.count(kWrongCode), 1, 2000);

    // Six digits no receiver announces: wrong as well.
    QTest::keyClicks(code, QStringLiteral("9"));
    QCOMPARE(code->text(), QStringLiteral("123459"));
    QTest::mouseClick(castBtn, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(toasts.count(kWrongCode), 2, 2000);
    VANTOR_COMPARE_TOASTS(toasts, (QStringList{kWrongCode, kWrongCode}));
    code->clear();
}

void ReceiverListTest::codeFieldTakesSixDigitsOnlyWithoutReceivers()
{
    QCOMPARE(m_main.castState()->currentWidget(), static_cast<QWidget*>(m_main.noDev()));
    checkCodeField(m_main.noDev());
}

void ReceiverListTest::firstAnnouncementShowsTheList()
{
    PageChoiceTicks ticks(m_main.pcCastTv(), m_main.castState());
    QVERIFY(ticks.found());
    m_first = startReceiver(QStringLiteral("127.0.0.2"), QStringLiteral("200002"),
                            QStringLiteral("客厅电视"));
    QVERIFY(m_first != nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(m_main.castState()->currentIndex(), int(PcCastTv::kFindDevPage),
                              kPageBoundMs);
    // The first page-choice tick that saw the receiver showed the list: at most 2 s.
    QTRY_COMPARE_WITH_TIMEOUT(ticks.ticksWhenShown(), 1, kPageBoundMs);
    QCOMPARE(m_main.castState()->currentWidget(), static_cast<QWidget*>(m_main.findDev()));
    QVERIFY(m_main.findDev()->isVisible());

    QTRY_COMPARE_WITH_TIMEOUT(m_main.rows().size(), 1, kRowBoundMs);
    SinkItem* row = m_main.rows().first();
    QVERIFY(row != nullptr);
    QCOMPARE(row->host(), QStringLiteral("127.0.0.2"));
    QCOMPARE(row->name(), QStringLiteral("客厅电视"));
    QCOMPARE(vantor::pctvtest::rowLabelText(row), QStringLiteral("客厅电视"));
    QCOMPARE(row->buttonText(), QStringLiteral("投屏"));
    QCOMPARE(row->button()->text(), QStringLiteral("投屏"));
    QVERIFY(row->isVisible());
    QVERIFY(row->button()->isVisible());
}

void ReceiverListTest::renamedReceiverKeepsItsRow()
{
    QCOMPARE(m_main.rows().size(), 1);
    QPointer<SinkItem> row = m_main.rows().first();
    QVERIFY(!row.isNull());

    // Gone without withdrawing, then back on the same address under another name.
    QVERIFY(m_first->kill());
    m_first = startReceiver(QStringLiteral("127.0.0.2"), QStringLiteral("200002"),
                            QStringLiteral("卧室电视"));
    QVERIFY(m_first != nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(
        m_main.rows().value(0) != nullptr ? m_main.rows().value(0)->name() : QString(),
        QStringLiteral("卧室电视"), kRowBoundMs);
    // The same row object at the same place, not a new one.
    QVERIFY(!row.isNull());
    QCOMPARE(m_main.rows(), QList<SinkItem*>{row.data()});
    QCOMPARE(vantor::pctvtest::rowLabelText(row), QStringLiteral("卧室电视"));
    QCOMPARE(row->host(), QStringLiteral("127.0.0.2"));
    QCOMPARE(row->buttonText(), QStringLiteral("投屏"));
    QCOMPARE(m_main.castState()->currentIndex(), int(PcCastTv::kFindDevPage));
}

void ReceiverListTest::newReceiversAppendRows()
{
    QPointer<SinkItem> first = m_main.rows().value(0);
    QVERIFY(!first.isNull());

    m_second = startReceiver(QStringLiteral("127.0.0.3"), QStringLiteral("300003"),
                             QStringLiteral("会议室投影"));
    QVERIFY(m_second != nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(m_main.rows().size(), 2, kRowBoundMs);
    QCOMPARE(m_main.rowHosts(), (QStringList{"127.0.0.2", "127.0.0.3"}));
    QPointer<SinkItem> second = m_main.rows().value(1);
    QCOMPARE(second->name(), QStringLiteral("会议室投影"));

    m_third = startReceiver(QStringLiteral("127.0.0.4"), QStringLiteral("400004"), kLongName);
    QVERIFY(m_third != nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(m_main.rows().size(), 3, kRowBoundMs);
    QCOMPARE(m_main.rowHosts(), (QStringList{"127.0.0.2", "127.0.0.3", "127.0.0.4"}));
    QVERIFY(!first.isNull());
    QVERIFY(!second.isNull());
    QCOMPARE(m_main.rows().value(0), first.data());
    QCOMPARE(m_main.rows().value(1), second.data());
    QCOMPARE(m_main.rows().value(2)->name(), kLongName);
    // A new row elides its name to the width it has until the list lays it out
    // (a posted layout request, before anything is painted): then it fits whole.
    QTRY_COMPARE_WITH_TIMEOUT(vantor::pctvtest::rowLabelText(m_main.rows().value(2)), kLongName,
                              kRowBoundMs);

    // Several list updates later nothing has moved.
    QTimer* listTimer = nullptr;
    for (QTimer* timer :
         m_main.findDev()->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (timer->interval() == PcCastFindDev::kListUpdateMs) {
            listTimer = timer;
        }
    }
    QVERIFY(listTimer != nullptr);
    QSignalSpy updates(listTimer, &QTimer::timeout);
    QTRY_VERIFY_WITH_TIMEOUT(updates.count() >= 2, 3 * PcCastFindDev::kListUpdateMs);
    QCOMPARE(m_main.rowHosts(), (QStringList{"127.0.0.2", "127.0.0.3", "127.0.0.4"}));
    QCOMPARE(m_main.rows().value(0), first.data());
    QCOMPARE(m_main.rows().value(1), second.data());

    // Every row shows within the list, its name whole, the button inside the row.
    for (SinkItem* row : m_main.rows()) {
        QVERIFY(row->isVisible());
        const QString nameProblem = nameFitsOrIsElided(row);
        QVERIFY2(nameProblem.isEmpty(), nameProblem.toUtf8().constData());
        const QRect buttonInRow = row->button()->geometry();
        QVERIFY2(row->rect().contains(buttonInRow),
                 qPrintable(QStringLiteral("button of %1 outside its row").arg(row->host())));
    }
    QVERIFY(vantor::pctvtest::saveScreenshot(m_main.window()->grab(),
                                             QStringLiteral("pctv-finddev.png")));
}

void ReceiverListTest::namesAreShownAsTheyAreSent()
{
    m_markup = startReceiver(QStringLiteral("127.0.0.5"), QStringLiteral("500005"), kMarkupName);
    QVERIFY(m_markup != nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(m_main.rows().size(), 4, kRowBoundMs);
    SinkItem* row = m_main.rows().value(3);
    QCOMPARE(row->host(), QStringLiteral("127.0.0.5"));
    QCOMPARE(row->name(), kMarkupName);

    // Whole once the list has laid the new row out (elided to its first width before).
    const auto labelShowingTheName = [row]() -> QLabel* {
        for (QLabel* label : row->findChildren<QLabel*>()) {
            if (label->text() == kMarkupName) {
                return label;
            }
        }
        return nullptr;
    };
    QTRY_VERIFY2_WITH_TIMEOUT(labelShowingTheName() != nullptr, "no label shows the name",
                              kRowBoundMs);
    QLabel* nameLabel = labelShowingTheName();
    // Drawn as characters: markup would render as a picture and one red character.
    QCOMPARE(nameLabel->textFormat(), Qt::PlainText);
    const int plainWidth = QFontMetrics(nameLabel->font()).horizontalAdvance(kMarkupName);
    QVERIFY2(nameLabel->sizeHint().width() >= plainWidth,
             qPrintable(QStringLiteral("label wants %1 px, the text takes %2 px")
                            .arg(nameLabel->sizeHint().width())
                            .arg(plainWidth)));
    QCOMPARE(m_main.rowHosts(), (QStringList{"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"}));
}

void ReceiverListTest::aVeryLongNameIsElidedAndLeavesTheButtonInView()
{
    m_long = startReceiver(QStringLiteral("127.0.0.6"), QStringLiteral("600006"), kVeryLongName);
    QVERIFY(m_long != nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(m_main.rows().size(), 5, kRowBoundMs);
    SinkItem* row = m_main.rows().value(4);
    QCOMPARE(row->host(), QStringLiteral("127.0.0.6"));
    QCOMPARE(row->name(), kVeryLongName);

    // The row's button stays where the user can click it, inside the visible list.
    auto* list = m_main.findDev()->findChild<QListWidget*>(QStringLiteral("castDevList"));
    QVERIFY(list != nullptr);
    const QRect visible = list->viewport()->rect();
    const auto buttonInList = [row, list] {
        return QRect(row->button()->mapTo(list->viewport(), QPoint(0, 0)), row->button()->size());
    };
    const auto where = [&] {
        return QStringLiteral("button at x %1..%2, the list shows x 0..%3")
            .arg(buttonInList().left())
            .arg(buttonInList().right())
            .arg(visible.right());
    };
    // Once the list has laid the new row out.
    QTRY_VERIFY2_WITH_TIMEOUT(visible.contains(buttonInList()), qPrintable(where()), kRowBoundMs);
    QVERIFY(vantor::pctvtest::saveScreenshot(m_main.window()->grab(),
                                             QStringLiteral("pctv-finddev-very-long-name.png")));
    // The receiver goes first, so that a failure below leaves the list as the next
    // case expects it.
    QVERIFY(m_long->terminate());
    const QString nameProblem = nameFitsOrIsElided(row);
    QTRY_COMPARE_WITH_TIMEOUT(m_main.rows().size(), 4, kRowBoundMs);
    QVERIFY2(nameProblem.isEmpty(), nameProblem.toUtf8().constData());
}

void ReceiverListTest::withdrawnReceiverLosesItsRow()
{
    QCOMPARE(m_main.rows().size(), 4);
    QPointer<SinkItem> first = m_main.rows().value(0);
    QPointer<SinkItem> second = m_main.rows().value(1);
    QPointer<SinkItem> third = m_main.rows().value(2);
    QPointer<SinkItem> fourth = m_main.rows().value(3);

    // One in the middle withdraws: its row goes, the others stay where they were.
    QVERIFY(m_second->terminate());
    QTRY_COMPARE_WITH_TIMEOUT(m_main.rows().size(), 3, kRowBoundMs);
    QVERIFY(second.isNull());
    QCOMPARE(m_main.rowHosts(), (QStringList{"127.0.0.2", "127.0.0.4", "127.0.0.5"}));
    QCOMPARE(m_main.rows(), (QList<SinkItem*>{first.data(), third.data(), fourth.data()}));

    QVERIFY(m_markup->terminate());
    QTRY_COMPARE_WITH_TIMEOUT(m_main.rows().size(), 2, kRowBoundMs);
    QCOMPARE(m_main.rows(), (QList<SinkItem*>{first.data(), third.data()}));
    QCOMPARE(m_main.castState()->currentIndex(), int(PcCastTv::kFindDevPage));
}

void ReceiverListTest::codeFieldTakesSixDigitsOnlyWithReceivers()
{
    QCOMPARE(m_main.castState()->currentWidget(), static_cast<QWidget*>(m_main.findDev()));
    checkCodeField(m_main.findDev());
}

void ReceiverListTest::lastReceiverGoneShowsThePageWithoutReceivers()
{
    QVERIFY(m_first->terminate());
    QTRY_COMPARE_WITH_TIMEOUT(m_main.rows().size(), 1, kRowBoundMs);
    QCOMPARE(m_main.rowHosts(), QStringList{"127.0.0.4"});
    QCOMPARE(m_main.castState()->currentIndex(), int(PcCastTv::kFindDevPage));

    QVERIFY(m_third->terminate());
    QTRY_COMPARE_WITH_TIMEOUT(m_main.castState()->currentIndex(), int(PcCastTv::kNoDevPage),
                              kPageBoundMs);
    QCOMPARE(m_main.castState()->currentWidget(), static_cast<QWidget*>(m_main.noDev()));
    QVERIFY(m_main.noDev()->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(m_main.rows().isEmpty(), kRowBoundMs);
}

VANTOR_PCTV_TEST_MAIN(ReceiverListTest)
#include "receiverlist_test.moc"
