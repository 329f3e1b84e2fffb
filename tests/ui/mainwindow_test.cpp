// The main window: switching to the settings and back, the selected tab, dragging by
// the title bars only, the phone-side words it relays, the connection and disconnection
// questions it asks, re-translation and the shade. The close buttons end the process
// and are left to the process test.
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QtTest>

#include "Comm/connectrequestdialog.h"
#include "Comm/disconnectrequestdialog.h"
#include "Comm/majorcastitem.h"
#include "Comm/networkinfo.h"
#include "tests/ui/uitestsupport.h"
#include "uimanage.h"

namespace {

int openDisconnectDialogs()
{
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<DisConnectRequestDialog*>(widget) != nullptr && widget->isVisible()) {
            ++count;
        }
    }
    return count;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void startsOnTheCastPagesWithTheShadeHidden();
    void settingsAndBackRestoreBothStacks();
    void theTabIsSelectedInBlue();
    void mainTitleBarDragsTheWindow();
    void pageBodyDoesNotDragTheWindow();
    void settingTitleBarDragsTheWindow();
    void phoneSideWordsAreRelayed();
    void connectionRequestAsksAboutThePendingPhone_data();
    void connectionRequestAsksAboutThePendingPhone();
    void secondDisconnectionRequestOpensNoSecondDialog();
    void languageChangeReappliesTheTexts();
    void shadeCoversThePageAndGoesAway();

private:
    template <typename T>
    T* control(const char* name) const
    {
        return m_window->findChild<T*>(QLatin1String(name));
    }
    void sendRequest(int type);

    std::unique_ptr<vantor::uitest::Sandbox> m_sandbox;
    UiManage* m_window = nullptr;
};

void MainWindowTest::initTestCase()
{
    m_sandbox = std::make_unique<vantor::uitest::Sandbox>();
    QVERIFY(m_sandbox->isValid());
    m_window = UiManage::instance();
    QCOMPARE(UiManage::instance(), m_window);
    m_window->init();
    m_window->move(100, 80);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void MainWindowTest::cleanupTestCase()
{
    delete m_window;
    m_window = nullptr;
    m_sandbox.reset();
}

void MainWindowTest::init()
{
    // Every case starts on the cast pages at a known place.
    QVERIFY(m_window != nullptr);
    m_window->move(100, 80);
    QCOMPARE(m_window->pos(), QPoint(100, 80));
}

void MainWindowTest::sendRequest(int type)
{
    QEvent request(static_cast<QEvent::Type>(type));
    QCoreApplication::sendEvent(m_window, &request);
}

void MainWindowTest::startsOnTheCastPagesWithTheShadeHidden()
{
    QVERIFY(!control<QWidget>("shadeFrame")->isVisible());
    QCOMPARE(control<QStackedWidget>("titleBarSelect")->currentWidget(),
             control<QWidget>("mainTitleBar"));
    QCOMPARE(control<QStackedWidget>("castAndSetSelect")->currentWidget(),
             control<QWidget>("mainUi"));
    QCOMPARE(control<QStackedWidget>("majorCastSelect")->currentIndex(), 1);
    QCOMPARE(control<QStackedWidget>("majorCastSelect")->currentWidget(),
             control<QWidget>("pcCastTv"));
    QVERIFY(m_window->windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(m_window->connectRequestEventType() != m_window->disconnectRequestEventType());
    QVERIFY(m_window->connectRequestEventType() >= QEvent::User);
    QVERIFY(m_window->disconnectRequestEventType() >= QEvent::User);
}

void MainWindowTest::settingsAndBackRestoreBothStacks()
{
    auto* titles = control<QStackedWidget>("titleBarSelect");
    auto* pages = control<QStackedWidget>("castAndSetSelect");
    auto* castPages = control<QStackedWidget>("majorCastSelect");

    QTest::mouseClick(control<QPushButton>("settingBtn"), Qt::LeftButton);
    QCOMPARE(titles->currentIndex(), 1);
    QCOMPARE(titles->currentWidget(), control<QWidget>("settingTitleBar"));
    QCOMPARE(pages->currentIndex(), 1);
    QCOMPARE(pages->currentWidget(), control<QWidget>("settingUi"));
    QVERIFY(control<QWidget>("settingUi")->isVisible());
    QVERIFY(!control<QWidget>("mainUi")->isVisible());

    QTest::mouseClick(control<QPushButton>("backBtn"), Qt::LeftButton);
    QCOMPARE(titles->currentIndex(), 0);
    QCOMPARE(titles->currentWidget(), control<QWidget>("mainTitleBar"));
    QCOMPARE(pages->currentIndex(), 0);
    QCOMPARE(pages->currentWidget(), control<QWidget>("mainUi"));
    QCOMPARE(castPages->currentIndex(), 1);
    QCOMPARE(castPages->currentWidget(), control<QWidget>("pcCastTv"));
    QVERIFY(control<QWidget>("pcCastTv")->isVisible());
}

void MainWindowTest::theTabIsSelectedInBlue()
{
    auto* tabs = control<QListWidget>("majorCastList");
    QCOMPARE(tabs->count(), 1);
    QCOMPARE(tabs->currentRow(), 0);
    auto* tab = qobject_cast<MajorCastItem*>(tabs->itemWidget(tabs->item(0)));
    QVERIFY(tab != nullptr);
    QCOMPARE(tab->name(), QStringLiteral("电脑投电视(手机)"));

    const QColor blue(QStringLiteral("#2A7FEC"));
    QLabel* nameLabel = nullptr;
    QLabel* bar = nullptr;
    for (QLabel* label : tab->findChildren<QLabel*>()) {
        (label->text() == tab->name() ? nameLabel : bar) = label;
    }
    QVERIFY(nameLabel != nullptr && bar != nullptr);
    nameLabel->ensurePolished();
    QCOMPARE(nameLabel->palette().color(QPalette::WindowText), blue);
    // The bar under the name is drawn in the same blue.
    const QImage drawn = tab->grab().toImage();
    const QPoint barMiddle = bar->geometry().center() * drawn.devicePixelRatio();
    QCOMPARE(drawn.pixelColor(barMiddle).name(), blue.name());
    QVERIFY(bar->width() > 0 && bar->height() > 0);
}

void MainWindowTest::mainTitleBarDragsTheWindow()
{
    auto* titleBar = control<QWidget>("mainTitleBar");
    const std::optional<QPoint> spot = vantor::uitest::emptySpot(titleBar);
    QVERIFY(spot.has_value());
    const QPoint start = m_window->pos();
    vantor::uitest::dragWithLeftButton(titleBar, *spot, QPoint(70, 45));
    QCOMPARE(m_window->pos(), start + QPoint(70, 45));

    // The application's name is part of the title bar.
    vantor::uitest::dragWithLeftButton(control<QLabel>("appName"), QPoint(2, 2), QPoint(-20, -15));
    QCOMPARE(m_window->pos(), start + QPoint(50, 30));

    // The right button drags nothing.
    const QPoint before = m_window->pos();
    QWindow* window = m_window->windowHandle();
    const QPoint at = titleBar->mapTo(m_window, *spot);
    QTest::mousePress(window, Qt::RightButton, Qt::NoModifier, at);
    QTest::mouseMove(window, at + QPoint(30, 30));
    QTest::mouseRelease(window, Qt::RightButton, Qt::NoModifier, at + QPoint(30, 30));
    QCOMPARE(m_window->pos(), before);
}

void MainWindowTest::pageBodyDoesNotDragTheWindow()
{
    auto* pages = control<QStackedWidget>("castAndSetSelect");
    QWidget* body = pages->currentWidget();
    QCOMPARE(body, control<QWidget>("mainUi"));
    const QPoint start = m_window->pos();
    vantor::uitest::dragWithLeftButton(body, body->rect().center(), QPoint(70, 45));
    QCOMPARE(m_window->pos(), start);
    vantor::uitest::dragWithLeftButton(control<QWidget>("pcCastTv"), QPoint(30, 30),
                                       QPoint(-40, 20));
    QCOMPARE(m_window->pos(), start);
}

void MainWindowTest::settingTitleBarDragsTheWindow()
{
    QTest::mouseClick(control<QPushButton>("settingBtn"), Qt::LeftButton);
    auto* titleBar = control<QWidget>("settingTitleBar");
    QVERIFY(titleBar->isVisible());
    const std::optional<QPoint> spot = vantor::uitest::emptySpot(titleBar);
    QVERIFY(spot.has_value());
    const QPoint start = m_window->pos();
    vantor::uitest::dragWithLeftButton(titleBar, *spot, QPoint(-35, 60));
    QCOMPARE(m_window->pos(), start + QPoint(-35, 60));

    // The settings page itself does not drag.
    QWidget* settings = control<QWidget>("settingUi");
    vantor::uitest::dragWithLeftButton(settings, QPoint(5, settings->height() - 5), QPoint(40, 40));
    QCOMPARE(m_window->pos(), start + QPoint(-35, 60));

    QTest::mouseClick(control<QPushButton>("backBtn"), Qt::LeftButton);
    QCOMPARE(control<QStackedWidget>("titleBarSelect")->currentIndex(), 0);
}

void MainWindowTest::phoneSideWordsAreRelayed()
{
    QSignalSpy coming(m_window, &UiManage::havedevicecoming);
    QSignalSpy connected(m_window, &UiManage::havedeviceconnected);
    QSignalSpy usb(m_window, &UiManage::sigGotUsbPlugin);

    m_window->slot_havedevicecoming(QStringLiteral("phone-42"));
    QCOMPARE(m_window->pendingDeviceId(), QStringLiteral("phone-42"));
    QCOMPARE(coming.count() + connected.count() + usb.count(), 0);

    m_window->slot_havedevicecoming(QStringLiteral("usb-plugin"));
    QCOMPARE(usb.count(), 1);
    QCOMPARE(m_window->pendingDeviceId(), QStringLiteral("phone-42"));

    m_window->slot_havedevicecoming(QStringLiteral("scrcpy-disconnectted"));
    QCOMPARE(m_window->pendingDeviceId(), QStringLiteral("phone-42"));
    QCOMPARE(coming.count() + connected.count(), 0);
    QCOMPARE(usb.count(), 1);

    m_window->slot_havedevicecoming(QStringLiteral("cancel"));
    QCOMPARE(coming.count(), 1);
    QCOMPARE(coming.at(0).at(0).toInt(), 0);
    QCOMPARE(m_window->pendingDeviceId(), QStringLiteral("phone-42"));

    // The same words arrive from the network facts' signal, wired by init().
    emit NetWorkInfo::instance()->havedevicecoming(QStringLiteral("usb-plugin"));
    QCOMPARE(usb.count(), 2);
    emit NetWorkInfo::instance()->havedevicecoming(QStringLiteral("phone-43"));
    QCOMPARE(m_window->pendingDeviceId(), QStringLiteral("phone-43"));
    QCOMPARE(coming.count(), 1);
    QCOMPARE(connected.count(), 0);
}

void MainWindowTest::connectionRequestAsksAboutThePendingPhone_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("status");
    QTest::newRow("allowed") << QStringLiteral("acceptBtn") << 1;
    QTest::newRow("refused") << QStringLiteral("rejectBtn") << 0;
}

void MainWindowTest::connectionRequestAsksAboutThePendingPhone()
{
    QFETCH(QString, button);
    QFETCH(int, status);
    m_window->slot_havedevicecoming(QStringLiteral("phone-42"));
    QSignalSpy coming(m_window, &UiManage::havedevicecoming);

    QString asked;
    QString shown;
    vantor::uitest::ModalWatcher watcher([&](QDialog* dialog) {
        auto* request = qobject_cast<ConnectRequestDialog*>(dialog);
        QVERIFY(request != nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(request));
        asked = request->deviceName();
        shown = request->findChild<QLabel*>(QStringLiteral("label1"))->text();
        QTest::mouseClick(request->findChild<QPushButton*>(button), Qt::LeftButton);
    });
    sendRequest(m_window->connectRequestEventType());
    QVERIFY(watcher.answered());
    QVERIFY(!watcher.leftOpen());
    QCOMPARE(asked, QStringLiteral("phone-42"));
    QCOMPARE(shown, QStringLiteral("phone-42"));
    QCOMPARE(coming.count(), 1);
    QCOMPARE(coming.at(0).at(0).toInt(), status);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

void MainWindowTest::secondDisconnectionRequestOpensNoSecondDialog()
{
    int openWhileAsked = 0;
    bool secondOpened = false;
    int openAfterSecondRequest = -1;
    vantor::uitest::ModalWatcher watcher([&](QDialog* first) {
        QVERIFY(qobject_cast<DisConnectRequestDialog*>(first) != nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(first));
        openWhileAsked = openDisconnectDialogs();
        {
            // Should the window ask again, that dialog is noted and closed at once.
            vantor::uitest::ModalWatcher second(
                [&](QDialog* other) {
                    secondOpened = qobject_cast<DisConnectRequestDialog*>(other) != nullptr;
                    openAfterSecondRequest = openDisconnectDialogs();
                    other->reject();
                },
                first, 3000, false);
            sendRequest(m_window->disconnectRequestEventType());
        }
        if (openAfterSecondRequest < 0) {
            openAfterSecondRequest = openDisconnectDialogs();
        }
        QVERIFY(first->isVisible());
        QTest::mouseClick(first->findChild<QPushButton*>(QStringLiteral("cancelButton")),
                          Qt::LeftButton);
    });
    sendRequest(m_window->disconnectRequestEventType());
    QVERIFY(watcher.answered());
    QVERIFY(!watcher.leftOpen());
    QCOMPARE(openWhileAsked, 1);
    QVERIFY(!secondOpened);
    QCOMPARE(openAfterSecondRequest, 1);
    QCOMPARE(openDisconnectDialogs(), 0);

    // Once answered, the next request asks again.
    bool askedAgain = false;
    vantor::uitest::ModalWatcher again([&](QDialog* dialog) {
        askedAgain = qobject_cast<DisConnectRequestDialog*>(dialog) != nullptr;
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("okButton")),
                          Qt::LeftButton);
    });
    sendRequest(m_window->disconnectRequestEventType());
    QVERIFY(again.answered());
    QVERIFY(askedAgain);
    QVERIFY(!again.leftOpen());
}

void MainWindowTest::languageChangeReappliesTheTexts()
{
    auto* appName = control<QLabel>("appName");
    auto* back = control<QPushButton>("backBtn");
    auto* tabs = control<QListWidget>("majorCastList");
    auto* tab = qobject_cast<MajorCastItem*>(tabs->itemWidget(tabs->item(0)));
    QCOMPARE(appName->text(), QStringLiteral("Vantor"));
    QCOMPARE(back->text(), QStringLiteral(" 设置"));
    appName->setText(QStringLiteral("x"));
    back->setText(QStringLiteral("Settings"));
    tab->setName(QStringLiteral("PC to TV"));
    m_window->setWindowTitle(QStringLiteral("y"));

    QTest::ignoreMessage(QtDebugMsg,
                         QRegularExpression(QStringLiteral("^UiManage\\b.*language change")));
    QEvent languageChange(QEvent::LanguageChange);
    QCoreApplication::sendEvent(m_window, &languageChange);
    QCOMPARE(appName->text(), QStringLiteral("Vantor"));
    QCOMPARE(back->text(), QStringLiteral(" 设置"));
    QCOMPARE(tab->name(), QStringLiteral("电脑投电视(手机)"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Vantor"));
    // Re-translation leaves the pages where they are.
    QCOMPARE(control<QStackedWidget>("castAndSetSelect")->currentIndex(), 0);
    QCOMPARE(control<QStackedWidget>("majorCastSelect")->currentIndex(), 1);
}

void MainWindowTest::shadeCoversThePageAndGoesAway()
{
    auto* shade = control<QWidget>("shadeFrame");
    QWidget* parent = shade->parentWidget();
    QVERIFY(!shade->isVisible());
    // Another sibling raised last: showing the shade has to bring it above.
    control<QWidget>("castAndSetSelect")->raise();

    m_window->showShade();
    QVERIFY(shade->isVisible());
    const QList<QWidget*> siblings =
        parent->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(siblings.last(), shade);
    for (const QPoint& point :
         {shade->geometry().center(), shade->geometry().topLeft() + QPoint(5, 5),
          shade->geometry().bottomRight() - QPoint(5, 5)}) {
        QWidget* top = parent->childAt(point);
        QVERIFY2(top == shade || shade->isAncestorOf(top),
                 qPrintable(top != nullptr ? top->objectName() : QStringLiteral("nothing")));
    }
    // A click on the page under the shade does not reach the page.
    QSignalSpy settings(control<QPushButton>("settingBtn"), &QPushButton::clicked);
    QPushButton* settingBtn = control<QPushButton>("settingBtn");
    vantor::uitest::clickAt(settingBtn, settingBtn->rect().center());
    QCOMPARE(settings.count(), 0);

    m_window->hideShade();
    QVERIFY(!shade->isVisible());
    vantor::uitest::clickAt(settingBtn, settingBtn->rect().center());
    QCOMPARE(settings.count(), 1);
    QTest::mouseClick(control<QPushButton>("backBtn"), Qt::LeftButton);
}

VANTOR_UI_TEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"
