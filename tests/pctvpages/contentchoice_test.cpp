// What to cast, as the PC-to-TV pages offer it: the list under the content button has
// 主屏幕, 扩展屏幕 only with two monitors, and 程序窗口; 程序窗口 opens the menu of
// program windows (Chinese titles included), Escape keeps the content chosen before,
// a window sets the button to "程序窗口" and closes the list. Checked on the page
// without receivers and, with one receiver announcing, on the list page. The binary runs
// once on a one-monitor and once on a two-monitor server (VANTOR_TEST_MONITORS says
// which).
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QStackedWidget>
#include <QtTest>
#include <memory>

#include "Comm/buttoncombox.h"
#include "Comm/custombutton.h"
#include "Comm/customlistitem.h"
#include "PcCastTv/castcontentchoice.h"
#include "PcCastTv/pccastfinddev.h"
#include "PcCastTv/pccastnodev.h"
#include "PcCastTv/pccasttv.h"
#include "tests/pctvpages/pctvtestsupport.h"
#include "tests/pctvpages/programwindows.h"
#include "uimanage.h"

using vantor::pctvtest::AnnouncingReceiver;
using vantor::pctvtest::MainWindow;
using vantor::pctvtest::WhenShown;

namespace {

const QString kChineseTitle = QStringLiteral("季度报告 – 演示文稿");
const QString kPlainTitle = QStringLiteral("Plain program window");

QStringList rowTexts(const QListWidget* list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row) {
        auto* widget = qobject_cast<CustomListItem*>(list->itemWidget(list->item(row)));
        texts << (widget != nullptr ? widget->text() : QStringLiteral("<no row widget>"));
    }
    return texts;
}

QStringList actionTexts(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* action : menu->actions()) {
        texts << action->text();
    }
    return texts;
}

QAction* actionTitled(const QMenu* menu, const QString& title)
{
    for (QAction* action : menu->actions()) {
        if (action->text() == title) {
            return action;
        }
    }
    return nullptr;
}

}  // namespace

class ContentChoiceTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void listHasARowPerScreenAndProgramWindow();
    void screenRowsPickAndClose();
    void escapeInTheWindowMenuKeepsTheContent();
    void aWindowFromTheMenuBecomesTheContent();
    void listPageOffersTheSameChoice();

private:
    void checkRows(QWidget* page);
    void checkScreenRows(QWidget* page);
    void checkEscape(QWidget* page, const QString& screenshot);
    void checkWindowChoice(QWidget* page);

    // Opens the list with a click on the content button.
    void openList(QWidget* page);
    // Clicks row `row` of the open list where the user would.
    void clickRow(QWidget* page, int row);
    QString suffix() const { return m_monitors == 2 ? QStringLiteral("-2monitors") : QString(); }

    MainWindow m_main;
    ProgramWindows m_windows;
    int m_monitors = 0;
    uintptr_t m_chineseWindow = 0;
    std::unique_ptr<AnnouncingReceiver> m_receiver;
};

void ContentChoiceTest::initTestCase()
{
    m_monitors = qEnvironmentVariableIntValue("VANTOR_TEST_MONITORS");
    QVERIFY2(m_monitors == 1 || m_monitors == 2, "VANTOR_TEST_MONITORS must be 1 or 2");
    QVERIFY(m_windows.isValid());
    m_chineseWindow = m_windows.add(kChineseTitle.toStdString(), 1300, 100, 320, 200);
    m_windows.add(kPlainTitle.toStdString(), 1300, 400, 320, 200);
    QVERIFY(m_main.open());
    QCOMPARE(m_main.castState()->currentWidget(), static_cast<QWidget*>(m_main.noDev()));
}

void ContentChoiceTest::cleanupTestCase()
{
    m_main.close();
    m_receiver.reset();
}

void ContentChoiceTest::openList(QWidget* page)
{
    ButtonComBox* selector = MainWindow::contentChoice(page)->selector();
    CustomButton* button = MainWindow::contentButton(page);
    QVERIFY(button->isVisible());
    vantor::pctvtest::clickThroughWindow(button, button->rect().center());
    QTRY_VERIFY_WITH_TIMEOUT(selector->list()->isVisible(), 1000);
    // Right below the button, over the page.
    QCOMPARE(selector->list()->mapTo(page, QPoint(0, 0)),
             button->mapTo(page, QPoint(0, button->height())));
}

void ContentChoiceTest::clickRow(QWidget* page, int row)
{
    QListWidget* list = MainWindow::contentChoice(page)->selector()->list();
    QVERIFY(list->isVisible());
    const QRect rect = list->visualItemRect(list->item(row));
    QVERIFY(!rect.isEmpty());
    vantor::pctvtest::clickThroughWindow(list->viewport(), rect.center());
}

void ContentChoiceTest::checkRows(QWidget* page)
{
    ButtonComBox* selector = MainWindow::contentChoice(page)->selector();
    QVERIFY(selector != nullptr);
    QCOMPARE(selector->monitorCount(), m_monitors);
    const QStringList expected =
        m_monitors == 2 ? QStringList{QStringLiteral("主屏幕"), QStringLiteral("扩展屏幕"),
                                      QStringLiteral("程序窗口")}
                        : QStringList{QStringLiteral("主屏幕"), QStringLiteral("程序窗口")};
    QCOMPARE(rowTexts(selector->list()), expected);
    QCOMPARE(selector->programWindowRow(), m_monitors == 2 ? 2 : 1);
    QCOMPARE(MainWindow::contentButton(page)->text(), QStringLiteral("主屏幕"));
    QCOMPARE(MainWindow::contentCombo(page)->currentIndex(), 0);
    QVERIFY(!selector->list()->isVisible());

    openList(page);
    // Every row's text and arrow inside the open list.
    QListWidget* list = selector->list();
    const QRect visible = list->viewport()->rect();
    for (int row = 0; row < list->count(); ++row) {
        QWidget* rowWidget = list->itemWidget(list->item(row));
        QVERIFY(rowWidget != nullptr);
        const QRect rowRect = list->visualItemRect(list->item(row));
        QVERIFY2(rowRect.top() >= visible.top() && rowRect.bottom() <= visible.bottom(),
                 qPrintable(QStringLiteral("row %1 is cut off at the top or bottom").arg(row)));
        for (QWidget* part : rowWidget->findChildren<QWidget*>()) {
            if (!part->isVisible()) {
                continue;
            }
            const QRect inList(part->mapTo(list->viewport(), QPoint(0, 0)), part->size());
            QVERIFY2(visible.contains(inList),
                     qPrintable(QStringLiteral("part of row %1 is cut off").arg(row)));
        }
    }
}

void ContentChoiceTest::listHasARowPerScreenAndProgramWindow()
{
    QWidget* page = m_main.noDev();
    checkRows(page);
    QVERIFY(vantor::pctvtest::saveScreenshot(
        m_main.window()->grab(), QStringLiteral("pctv-selector-open%1.png").arg(suffix())));
    // A click on the page elsewhere closes the list and changes nothing.
    vantor::pctvtest::clickThroughWindow(page, QPoint(5, page->height() - 5));
    QTRY_VERIFY_WITH_TIMEOUT(!MainWindow::contentChoice(page)->selector()->list()->isVisible(),
                             1000);
    QCOMPARE(MainWindow::contentButton(page)->text(), QStringLiteral("主屏幕"));
}

void ContentChoiceTest::checkScreenRows(QWidget* page)
{
    ButtonComBox* selector = MainWindow::contentChoice(page)->selector();
    QComboBox* combo = MainWindow::contentCombo(page);
    CustomButton* button = MainWindow::contentButton(page);

    if (m_monitors == 2) {
        openList(page);
        clickRow(page, 1);
        QCOMPARE(button->text(), QStringLiteral("扩展屏幕"));
        QCOMPARE(combo->currentIndex(), 1);
        QVERIFY(!selector->list()->isVisible());
    }
    openList(page);
    clickRow(page, 0);
    QCOMPARE(button->text(), QStringLiteral("主屏幕"));
    QCOMPARE(combo->currentIndex(), 0);
    QVERIFY(!selector->list()->isVisible());
}

void ContentChoiceTest::screenRowsPickAndClose() { checkScreenRows(m_main.noDev()); }

void ContentChoiceTest::checkEscape(QWidget* page, const QString& screenshot)
{
    CastContentChoice* choice = MainWindow::contentChoice(page);
    ButtonComBox* selector = choice->selector();
    QComboBox* combo = MainWindow::contentCombo(page);
    CustomButton* button = MainWindow::contentButton(page);
    const QString before = button->text();
    const int indexBefore = combo->currentIndex();

    QStringList listed;
    QString menuName;
    bool saved = screenshot.isEmpty();
    WhenShown menuOpen([choice]() -> QWidget* { return choice->openMenu(); },
                       [&](QWidget* widget) {
                           auto* menu = qobject_cast<QMenu*>(widget);
                           listed = actionTexts(menu);
                           menuName = menu->objectName();
                           if (!screenshot.isEmpty()) {
                               saved = vantor::pctvtest::saveScreenshot(menu->grab(), screenshot);
                           }
                           QTest::keyClick(menu, Qt::Key_Escape);
                       });
    openList(page);
    clickRow(page, selector->programWindowRow());
    // The menu ran in its own event loop inside the click; it is closed now.
    QVERIFY2(menuOpen.happened(), "no window menu opened");
    QCOMPARE(choice->openMenu(), static_cast<QMenu*>(nullptr));
    QCOMPARE(menuName, QStringLiteral("PopUpMenu"));
    QVERIFY2(listed.contains(kChineseTitle), qPrintable(listed.join(QStringLiteral(" | "))));
    QVERIFY2(listed.contains(kPlainTitle), qPrintable(listed.join(QStringLiteral(" | "))));
    QVERIFY(saved);

    QCOMPARE(button->text(), before);
    QCOMPARE(combo->currentIndex(), indexBefore);
    selector->hidePopup();
}

void ContentChoiceTest::escapeInTheWindowMenuKeepsTheContent()
{
    checkEscape(m_main.noDev(), QStringLiteral("pctv-window-menu%1.png").arg(suffix()));
}

void ContentChoiceTest::checkWindowChoice(QWidget* page)
{
    CastContentChoice* choice = MainWindow::contentChoice(page);
    ButtonComBox* selector = choice->selector();
    QComboBox* combo = MainWindow::contentCombo(page);
    CustomButton* button = MainWindow::contentButton(page);

    QVariant chosenData;
    WhenShown menuOpen([choice]() -> QWidget* { return choice->openMenu(); },
                       [&](QWidget* widget) {
                           auto* menu = qobject_cast<QMenu*>(widget);
                           QAction* action = actionTitled(menu, kChineseTitle);
                           if (action == nullptr) {
                               QTest::keyClick(menu, Qt::Key_Escape);
                               return;
                           }
                           chosenData = action->data();
                           QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier,
                                             menu->actionGeometry(action).center());
                       });
    openList(page);
    clickRow(page, selector->programWindowRow());
    QVERIFY2(menuOpen.happened(), "no window menu opened");
    QVERIFY2(chosenData.isValid(), "the window menu does not list the test's window");
    QCOMPARE(chosenData.toULongLong(), static_cast<qulonglong>(m_chineseWindow));
    QCOMPARE(choice->openMenu(), static_cast<QMenu*>(nullptr));

    QCOMPARE(button->text(), QStringLiteral("程序窗口"));
    QCOMPARE(combo->currentIndex(), selector->programWindowRow());
    QVERIFY(!selector->list()->isVisible());

    // And back to the main screen.
    openList(page);
    clickRow(page, 0);
    QCOMPARE(button->text(), QStringLiteral("主屏幕"));
    QCOMPARE(combo->currentIndex(), 0);
    QVERIFY(!selector->list()->isVisible());
}

void ContentChoiceTest::aWindowFromTheMenuBecomesTheContent() { checkWindowChoice(m_main.noDev()); }

void ContentChoiceTest::listPageOffersTheSameChoice()
{
    m_receiver = std::make_unique<AnnouncingReceiver>(
        QStringLiteral("127.0.0.2"), QStringLiteral("123456"), QStringLiteral("测试电视"));
    QVERIFY(m_receiver->waitUntilReady());
    QTRY_COMPARE_WITH_TIMEOUT(m_main.castState()->currentIndex(), int(PcCastTv::kFindDevPage),
                              3000);
    QWidget* page = m_main.findDev();
    QVERIFY(page->isVisible());
    checkRows(page);
    MainWindow::contentChoice(page)->selector()->hidePopup();
    checkScreenRows(page);
    checkEscape(page, QString());
    checkWindowChoice(page);
}

VANTOR_PCTV_TEST_MAIN(ContentChoiceTest)
#include "contentchoice_test.moc"
