// The cast-content list under its button: the rows for one and two monitors, what a click
// on each row does, where the list opens, and the monitor count read from the X server
// (the binary runs once on a one-monitor and once on a two-monitor server; the
// environment variable VANTOR_TEST_MONITORS says which).
#include "Comm/buttoncombox.h"

#include <QApplication>
#include <QFrame>
#include <QListWidget>
#include <QSignalSpy>
#include <QtTest>

#include "Comm/custombutton.h"
#include "Comm/customlistitem.h"
#include "tests/ui/uitestsupport.h"

namespace {

constexpr int kButtonWidth = 120;
constexpr int kButtonHeight = 32;

QStringList rowTexts(const QListWidget* list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row) {
        auto* widget = qobject_cast<CustomListItem*>(list->itemWidget(list->item(row)));
        texts << (widget != nullptr ? widget->text() : QStringLiteral("<no row widget>"));
    }
    return texts;
}

}  // namespace

class ButtonComBoxTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void oneMonitorListsMainScreenAndProgramWindow();
    void oneMonitorScreenRowPicksAndCloses();
    void oneMonitorProgramWindowRowKeepsTheListOpen();
    void twoMonitorsAddTheExtendedScreen();
    void twoMonitorsExtendedScreenIsAScreenRow();
    void listOpensRightBelowTheButton_data();
    void listOpensRightBelowTheButton();
    void monitorCountComesFromTheXServer();

private:
    // The page shown, the button at `buttonPos` of `holder` (the page when null).
    CustomButton* placeButton(QWidget* holder, QPoint buttonPos);
    void clickRow(ButtonComBox* box, int row);

    std::unique_ptr<QWidget> m_page;
};

void ButtonComBoxTest::init()
{
    m_page = std::make_unique<QWidget>();
    m_page->setWindowFlags(Qt::FramelessWindowHint);
    m_page->resize(600, 400);
    m_page->move(50, 60);
}

void ButtonComBoxTest::cleanup() { m_page.reset(); }

CustomButton* ButtonComBoxTest::placeButton(QWidget* holder, QPoint buttonPos)
{
    auto* button = new CustomButton(holder != nullptr ? holder : m_page.get());
    button->setGeometry(QRect(buttonPos, QSize(kButtonWidth, kButtonHeight)));
    return button;
}

void ButtonComBoxTest::clickRow(ButtonComBox* box, int row)
{
    QListWidget* list = box->list();
    const QRect cell = list->visualItemRect(list->item(row));
    QVERIFY(!cell.isEmpty());
    vantor::uitest::clickAt(list->viewport(), cell.center());
}

void ButtonComBoxTest::oneMonitorListsMainScreenAndProgramWindow()
{
    CustomButton* button = placeButton(nullptr, QPoint(20, 20));
    ButtonComBox box(m_page.get(), button, 1);

    QCOMPARE(box.monitorCount(), 1);
    QCOMPARE(rowTexts(box.list()),
             QStringList({QStringLiteral("主屏幕"), QStringLiteral("程序窗口")}));
    QCOMPARE(box.programWindowRow(), 1);
    QCOMPARE(box.list()->height(), 2 * kButtonHeight + 2);
    QCOMPARE(box.list()->minimumHeight(), box.list()->maximumHeight());
    QCOMPARE(box.list()->width(), kButtonWidth);
    QCOMPARE(button->text(), QStringLiteral("主屏幕"));
    QVERIFY(box.list()->isHidden());
}

void ButtonComBoxTest::oneMonitorScreenRowPicksAndCloses()
{
    CustomButton* button = placeButton(nullptr, QPoint(20, 20));
    ButtonComBox box(m_page.get(), button, 1);
    QSignalSpy clicked(&box, &ButtonComBox::sigItemClicked);
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));

    box.programWindowChosen();
    QCOMPARE(button->text(), QStringLiteral("程序窗口"));
    QVERIFY(box.list()->isHidden());

    box.on_showPopup();
    QVERIFY(box.list()->isVisible());
    clickRow(&box, 0);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.at(0).at(0).toInt(), 0);
    QCOMPARE(button->text(), QStringLiteral("主屏幕"));
    QVERIFY(box.list()->isHidden());
}

void ButtonComBoxTest::oneMonitorProgramWindowRowKeepsTheListOpen()
{
    CustomButton* button = placeButton(nullptr, QPoint(20, 20));
    ButtonComBox box(m_page.get(), button, 1);
    QSignalSpy clicked(&box, &ButtonComBox::sigItemClicked);
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));

    box.on_showPopup();
    clickRow(&box, 1);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.at(0).at(0).toInt(), 1);
    // The page asks which window first; the list and the button wait for that.
    QVERIFY(box.list()->isVisible());
    QCOMPARE(button->text(), QStringLiteral("主屏幕"));

    // Clicked again: asked again, still open.
    clickRow(&box, 1);
    QCOMPARE(clicked.count(), 2);
    QVERIFY(box.list()->isVisible());

    box.programWindowChosen();
    QCOMPARE(button->text(), QStringLiteral("程序窗口"));
    QVERIFY(box.list()->isHidden());

    box.on_showPopup();
    box.hidePopup();
    QVERIFY(box.list()->isHidden());
    QCOMPARE(clicked.count(), 2);
}

void ButtonComBoxTest::twoMonitorsAddTheExtendedScreen()
{
    CustomButton* button = placeButton(nullptr, QPoint(20, 20));
    ButtonComBox box(m_page.get(), button, 2);

    QCOMPARE(box.monitorCount(), 2);
    QCOMPARE(rowTexts(box.list()),
             QStringList({QStringLiteral("主屏幕"), QStringLiteral("扩展屏幕"),
                          QStringLiteral("程序窗口")}));
    QCOMPARE(box.programWindowRow(), 2);
    QCOMPARE(box.list()->height(), 3 * kButtonHeight + 2);

    // More monitors than two still list one extended screen.
    ButtonComBox three(m_page.get(), placeButton(nullptr, QPoint(200, 20)), 3);
    QCOMPARE(three.list()->count(), 3);
    QCOMPARE(three.list()->height(), 3 * kButtonHeight + 2);
}

void ButtonComBoxTest::twoMonitorsExtendedScreenIsAScreenRow()
{
    CustomButton* button = placeButton(nullptr, QPoint(20, 20));
    ButtonComBox box(m_page.get(), button, 2);
    QSignalSpy clicked(&box, &ButtonComBox::sigItemClicked);
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));

    box.on_showPopup();
    clickRow(&box, 1);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.at(0).at(0).toInt(), 1);
    QCOMPARE(button->text(), QStringLiteral("扩展屏幕"));
    QVERIFY(box.list()->isHidden());

    box.on_showPopup();
    clickRow(&box, 2);
    QCOMPARE(clicked.count(), 2);
    QCOMPARE(clicked.at(1).at(0).toInt(), 2);
    QVERIFY(box.list()->isVisible());
    QCOMPARE(button->text(), QStringLiteral("扩展屏幕"));

    box.programWindowChosen();
    QCOMPARE(button->text(), QStringLiteral("程序窗口"));
    QVERIFY(box.list()->isHidden());
}

void ButtonComBoxTest::listOpensRightBelowTheButton_data()
{
    QTest::addColumn<int>("nesting");
    QTest::newRow("button on the page") << 0;
    QTest::newRow("button in a frame") << 1;
    QTest::newRow("button in a frame in a frame") << 2;
}

void ButtonComBoxTest::listOpensRightBelowTheButton()
{
    QFETCH(int, nesting);
    QWidget* holder = m_page.get();
    for (int level = 0; level < nesting; ++level) {
        auto* frame = new QFrame(holder);
        frame->setGeometry(40 + 10 * level, 50 + 20 * level, 400, 300);
        holder = frame;
    }
    CustomButton* button = placeButton(holder, QPoint(25, 35));
    ButtonComBox box(m_page.get(), button, 1);
    // A later sibling lies over everything: the opened list has to come above it.
    auto* cover = new QFrame(m_page.get());
    cover->setGeometry(m_page->rect());
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));

    box.on_showPopup();
    QVERIFY(box.list()->isVisible());
    QCOMPARE(box.list()->parentWidget(), m_page.get());
    QCOMPARE(box.list()->mapToGlobal(QPoint(0, 0)), button->mapToGlobal(QPoint(0, kButtonHeight)));
    const QPoint middle = box.list()->geometry().center();
    QWidget* top = m_page->childAt(middle);
    QVERIFY(top == box.list() || box.list()->isAncestorOf(top));

    // Opened again after the button moved: follows it.
    box.hidePopup();
    button->move(60, 10);
    box.on_showPopup();
    QCOMPARE(box.list()->mapToGlobal(QPoint(0, 0)), button->mapToGlobal(QPoint(0, kButtonHeight)));
}

void ButtonComBoxTest::monitorCountComesFromTheXServer()
{
    bool known = false;
    const int monitors = qEnvironmentVariableIntValue("VANTOR_TEST_MONITORS", &known);
    if (!known) {
        QSKIP("VANTOR_TEST_MONITORS does not say how many monitors the X server has");
    }
    QVERIFY(monitors == 1 || monitors == 2);

    CustomButton* button = placeButton(nullptr, QPoint(20, 20));
    ButtonComBox box(m_page.get(), button);
    QCOMPARE(box.monitorCount(), monitors);
    QCOMPARE(box.list()->count(), monitors + 1);
    QCOMPARE(box.list()->height(), (monitors + 1) * kButtonHeight + 2);
    QCOMPARE(rowTexts(box.list()).first(), QStringLiteral("主屏幕"));
    QCOMPARE(rowTexts(box.list()).last(), QStringLiteral("程序窗口"));
    QCOMPARE(rowTexts(box.list()).contains(QStringLiteral("扩展屏幕")), monitors == 2);
}

VANTOR_UI_TEST_MAIN(ButtonComBoxTest)
#include "buttoncombox_test.moc"
