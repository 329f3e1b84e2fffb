// The phone-to-PC view inside the real main window: the side list's rows and looks,
// the host bar, the wireless Android pages driven by the main window's signals, the
// cast code, the wired Android flow, the USB help dialog centred over the window's
// shade, the device rows (ids never read as markup), re-translation, and screenshots
// of every page under VANTOR_SCREENSHOT_DIR.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFont>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "Comm/appsetup.h"
#include "Comm/castdevitem.h"
#include "Comm/circlebutton.h"
#include "Comm/minorcastitem.h"
#include "Comm/networkinfo.h"
#include "Comm/notfindusbdevdialog.h"
#include "Comm/utility.h"
#include "PhoneCastPc/WireAndriod/wireanallowusbdebug.h"
#include "PhoneCastPc/WireAndriod/wireanconnected.h"
#include "PhoneCastPc/WireAndriod/wireanconnecting.h"
#include "PhoneCastPc/WireAndriod/wireandisconnect.h"
#include "PhoneCastPc/WireAndriod/wireandriod.h"
#include "PhoneCastPc/WireAndriod/wireannocon.h"
#include "PhoneCastPc/WirelessAndriod/wirelessanconnected.h"
#include "PhoneCastPc/WirelessAndriod/wirelessanconnecting.h"
#include "PhoneCastPc/WirelessAndriod/wirelessandriod.h"
#include "PhoneCastPc/WirelessAndriod/wirelessannocon.h"
#include "PhoneCastPc/WirelessApple/wirelessapple.h"
#include "PhoneCastPc/phonecastpc.h"
#include "resources/images.h"
#include "src/keepalive/keepalive.h"
#include "uimanage.h"

namespace {

const QString kActiveBackground = QStringLiteral("#E3EDF7");
const QString kActiveColour = QStringLiteral("#2A7FEC");
const QString kInactiveColour = QStringLiteral("#626774");

// Waits in the event loop (a dialog's exec() included) for a modal widget, notes what
// it looked like and where, and closes it; gives up after kTimeoutMs.
class ModalCloser : public QObject {
public:
    static constexpr int kPollMs = 20;
    static constexpr int kTimeoutMs = 5000;

    explicit ModalCloser(QWidget* shade) : m_shade(shade)
    {
        m_clock.start();
        QTimer::singleShot(kPollMs, this, &ModalCloser::poll);
    }

    bool seen = false;
    bool shadeShown = false;
    bool wasUsbHelp = false;
    bool modal = false;
    QRect geometry;

private:
    void poll()
    {
        QWidget* widget = QApplication::activeModalWidget();
        if (widget != nullptr && widget->isVisible()) {
            seen = true;
            wasUsbHelp = qobject_cast<NotFindUsbDevDialog*>(widget) != nullptr;
            modal = widget->isModal();
            geometry = widget->geometry();
            shadeShown = m_shade != nullptr && m_shade->isVisible();
            widget->close();
        } else if (m_clock.elapsed() < kTimeoutMs) {
            QTimer::singleShot(kPollMs, this, &ModalCloser::poll);
        }
    }

    QPointer<QWidget> m_shade;
    QElapsedTimer m_clock;
};

QList<QLabel*> labelsOf(MinorCastItem* item) { return item->findChildren<QLabel*>(); }

QImage pictureOf(const QLabel* label)
{
    return label->pixmap(Qt::ReturnByValue).toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage iconImage(const QString& path)
{
    return QIcon(path).pixmap(QSize(16, 16)).toImage().convertToFormat(QImage::Format_ARGB32);
}

// Every text the rows of a device list show.
QStringList rowIds(QListWidget* list)
{
    QStringList ids;
    for (int row = 0; row < list->count(); ++row) {
        auto* item = qobject_cast<CastDevItem*>(list->itemWidget(list->item(row)));
        ids << (item != nullptr ? item->getDevId() : QStringLiteral("<no row widget>"));
    }
    return ids;
}

QLabel* labelWithText(QWidget* parent, const QString& text)
{
    for (QLabel* label : parent->findChildren<QLabel*>()) {
        if (label->text() == text) {
            return label;
        }
    }
    return nullptr;
}

}  // namespace

class PhonePagesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void viewSitsUnderTheWindowLine();
    void startsOnWirelessAndroidWithRowOneActive();
    void headingAndSpacerRowsChangeNothing_data();
    void headingAndSpacerRowsChangeNothing();
    void appleRowShowsTheApplePage();
    void wiredRowShowsTheWiredPage();
    void wirelessRowShowsTheWirelessPageAgain();
    void hostBarFollowsTheNetworkFacts();
    void phoneComingShowsTheConnectingPage();
    void connectedPhoneIsListed();
    void disconnectedPhoneClosesKeepAliveAndGoesBack();
    void rowDisconnectGoesBack();
    void castCodeDigitsAreShown();
    void methodsRefreshDoesNotKeepSpinning();
    void wiredFlow();
    void wiredSignalsThatChangeNothing();
    void usbHelpIsCentredOverTheShade_data();
    void usbHelpIsCentredOverTheShade();
    void wiredRowsComeFromTheConnectedList();
    void wiredRowDisconnectRebuildsTheRows();
    void wiredRefreshRebuildsTheRows();
    void deviceIdsAreShownLiterally();
    void languageChangeReappliesTheTexts();
    void screenshots();

private:
    template <typename T>
    T* find(const char* name = nullptr) const
    {
        return name != nullptr ? m_view->findChild<T*>(QLatin1String(name))
                               : m_view->findChild<T*>();
    }
    QListWidget* sideList() const { return find<QListWidget>("minorCastList"); }
    QStackedWidget* pages() const { return find<QStackedWidget>("minorCast"); }
    QStackedWidget* wirelessStates() const
    {
        return find<WirelessAndriod>()->findChild<QStackedWidget*>("wirelessCastState");
    }
    QStackedWidget* wiredStates() const
    {
        return find<WireAndriod>()->findChild<QStackedWidget*>("castState");
    }
    MinorCastItem* rowItem(int row) const
    {
        return qobject_cast<MinorCastItem*>(sideList()->itemWidget(sideList()->item(row)));
    }
    void clickRow(int row);
    void verifyLook(int row, bool active, const QString& icon);
    void verifyOnlyActive(int activeRow);
    void save(QWidget* widget, const QString& name);

    UiManage* m_window = nullptr;
    PhoneCastPc* m_view = nullptr;
    QString m_screenshotDir;
};

void PhonePagesTest::initTestCase()
{
    m_screenshotDir = QString::fromLocal8Bit(qgetenv("VANTOR_SCREENSHOT_DIR"));
    QVERIFY2(!m_screenshotDir.isEmpty(), "VANTOR_SCREENSHOT_DIR is not set");
    QVERIFY(QDir().mkpath(m_screenshotDir));

    m_window = UiManage::instance();
    m_window->init();
    m_window->move(100, 80);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));

    // The tabs do not lead to the phone-to-PC view; the test shows it directly.
    auto* castPages = m_window->findChild<QStackedWidget*>("majorCastSelect");
    QVERIFY(castPages != nullptr);
    m_view = m_window->findChild<PhoneCastPc*>("phoneCastPc");
    QVERIFY(m_view != nullptr);
    castPages->setCurrentWidget(m_view);
    QVERIFY(m_view->isVisible());

    QTRY_VERIFY(KeepAlive::instance().isListening());
}

void PhonePagesTest::cleanupTestCase()
{
    Utility::usbConnectedDev_ser.clear();
    Utility::vConnectedDev.clear();
    delete m_window;
    m_window = nullptr;
}

void PhonePagesTest::init()
{
    QVERIFY(m_view != nullptr);
    Utility::usbConnectedDev_ser.clear();
    Utility::vConnectedDev.clear();
    m_view->slotMinorCastListUpdate(sideList()->model()->index(1, 0));
    QCOMPARE(pages()->currentIndex(), 0);
    find<WirelessAndriod>()->slot_havedevicecoming(0);
    wiredStates()->setCurrentIndex(WireAndriod::kNoConnectionPage);
}

void PhonePagesTest::clickRow(int row)
{
    const QRect rect = sideList()->visualItemRect(sideList()->item(row));
    QVERIFY(rect.isValid());
    QTest::mouseClick(sideList()->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

void PhonePagesTest::verifyLook(int row, bool active, const QString& icon)
{
    MinorCastItem* item = rowItem(row);
    QVERIFY(item != nullptr);
    const QList<QLabel*> labels = labelsOf(item);
    QCOMPARE(labels.size(), 3);  // marker, icon, name
    const QString background = active ? kActiveBackground : QStringLiteral("transparent");
    const QString marker = active ? kActiveColour : QStringLiteral("transparent");
    const QString text = active ? kActiveColour : kInactiveColour;
    QCOMPARE(item->styleSheet(), QStringLiteral("#MinorCastItem{background:%1;}").arg(background));
    QCOMPARE(labels[0]->styleSheet(), QStringLiteral("background:%1;").arg(marker));
    QVERIFY2(labels[2]->styleSheet().contains(QStringLiteral("color:%1").arg(text)),
             qPrintable(labels[2]->styleSheet()));
    QCOMPARE(pictureOf(labels[1]), iconImage(icon));
}

void PhonePagesTest::verifyOnlyActive(int activeRow)
{
    const struct {
        int row;
        QString icon;
        QString activeIcon;
    } rows[] = {
        {1, ":/img/SVG/icon_android.svg", ":/img/SVG/icon_android1.svg"},
        {2, ":/img/SVG/icon_apple.svg", ":/img/SVG/icon_apple1.svg"},
        {5, ":/img/SVG/icon_android.svg", ":/img/SVG/icon_android1.svg"},
    };
    for (const auto& entry : rows) {
        const bool active = entry.row == activeRow;
        verifyLook(entry.row, active, active ? entry.activeIcon : entry.icon);
        if (QTest::currentTestFailed()) {
            qWarning() << "row" << entry.row;
            return;
        }
    }
    QCOMPARE(sideList()->currentRow(), activeRow);
}

void PhonePagesTest::save(QWidget* widget, const QString& name)
{
    const QPixmap picture = widget->grab();
    QVERIFY(!picture.isNull());
    const QString path = m_screenshotDir + QStringLiteral("/phone-") + name + ".png";
    QVERIFY2(picture.save(path), qPrintable(path));
    qInfo().noquote() << "saved" << path;
}

void PhonePagesTest::viewSitsUnderTheWindowLine()
{
    auto* line = m_view->findChild<QFrame*>("line");
    QVERIFY(line != nullptr);
    QCOMPARE(line->geometry(), QRect(0, 0, 980, 1));
    QCOMPARE(find<QFrame>("bodyFrame")->geometry(), QRect(0, 1, 980, 511));
    QCOMPARE(sideList()->geometry(), QRect(0, 0, 200, 511));
    QCOMPARE(pages()->geometry().left(), 200);
    QCOMPARE(pages()->geometry().right(), 979);
    const QRect bar = find<QFrame>("stateBar")->geometry();
    QCOMPARE(bar.left(), 200);
    QCOMPARE(bar.bottom(), 510);
    QCOMPARE(pages()->geometry().bottom() + 1, bar.top());
    QCOMPARE(sideList()->count(), 6);
}

void PhonePagesTest::startsOnWirelessAndroidWithRowOneActive()
{
    QCOMPARE(pages()->currentIndex(), 0);
    QCOMPARE(pages()->currentWidget(), find<QWidget>("wirelessAndriod"));
    verifyOnlyActive(1);
    const QStringList names = {"WIFI无线投", "安卓手机", "苹果手机", "", "USB有线投", "安卓手机"};
    for (int row = 0; row < names.size(); ++row) {
        if (row == 3) {
            QCOMPARE(sideList()->itemWidget(sideList()->item(row)), nullptr);
        } else {
            QCOMPARE(rowItem(row)->name(), names[row]);
        }
        const bool selectable = row == 1 || row == 2 || row == 5;
        QCOMPARE(bool(sideList()->item(row)->flags() & Qt::ItemIsSelectable), selectable);
    }
    QCOMPARE(iconImage(":/img/SVG/icon_wxt.svg"), pictureOf(labelsOf(rowItem(0))[1]));
    QCOMPARE(iconImage(":/img/SVG/icon_yxt.svg"), pictureOf(labelsOf(rowItem(4))[1]));
    QVERIFY(sideList()->styleSheet().contains(":/img/bg_cdbj.png"));
}

void PhonePagesTest::headingAndSpacerRowsChangeNothing_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("startRow");
    for (int start : {1, 2, 5}) {
        for (int row : {0, 3, 4}) {
            QTest::addRow("row %d from row %d", row, start) << row << start;
        }
    }
}

void PhonePagesTest::headingAndSpacerRowsChangeNothing()
{
    QFETCH(int, row);
    QFETCH(int, startRow);
    clickRow(startRow);
    const int page = pages()->currentIndex();
    verifyOnlyActive(startRow);

    clickRow(row);
    QCOMPARE(pages()->currentIndex(), page);
    verifyOnlyActive(startRow);

    m_view->slotMinorCastListUpdate(sideList()->model()->index(row, 0));
    QCOMPARE(pages()->currentIndex(), page);
    verifyOnlyActive(startRow);
}

void PhonePagesTest::appleRowShowsTheApplePage()
{
    clickRow(2);
    QCOMPARE(pages()->currentIndex(), 1);
    QCOMPARE(pages()->currentWidget(), find<QWidget>("wirelessApple"));
    QVERIFY(find<WirelessApple>()->isVisible());
    verifyOnlyActive(2);
}

void PhonePagesTest::wiredRowShowsTheWiredPage()
{
    clickRow(5);
    QCOMPARE(pages()->currentIndex(), 2);
    QCOMPARE(pages()->currentWidget(), find<QWidget>("wireAndriod"));
    verifyOnlyActive(5);
}

void PhonePagesTest::wirelessRowShowsTheWirelessPageAgain()
{
    clickRow(5);
    clickRow(1);
    QCOMPARE(pages()->currentIndex(), 0);
    verifyOnlyActive(1);
}

void PhonePagesTest::hostBarFollowsTheNetworkFacts()
{
    NetWorkInfo* network = NetWorkInfo::instance();
    auto* hostName = find<QLabel>("hostName");
    auto* ip = find<QLabel>("Ip");
    auto* net = find<QLabel>("curNetName");
    QCOMPARE(find<QLabel>("hostNameLbl")->text(), QStringLiteral("本机名称:"));
    QCOMPARE(find<QLabel>("IpLbl")->text(), QStringLiteral("本机IP地址:"));
    QCOMPARE(find<QLabel>("curNetNameLbl")->text(), QStringLiteral("当前网络:"));

    emit network->sigHostName(QStringLiteral("<i>studio-pc</i>"));
    QCOMPARE(hostName->text(), QStringLiteral("<i>studio-pc</i>"));
    QCOMPARE(hostName->textFormat(), Qt::PlainText);

    emit network->sigIPAddr(QString());
    QCOMPARE(ip->text(), QStringLiteral("<font color=red>无</font>"));
    QCOMPARE(ip->textFormat(), Qt::RichText);

    emit network->sigIPAddr(QStringLiteral("198.51.100.23"));
    QCOMPARE(ip->text(), QStringLiteral("198.51.100.23"));
    QCOMPARE(ip->textFormat(), Qt::PlainText);

    const QString before = net->text();
    emit network->sigNetAvailble(false);
    emit network->sigNetAvailble(true);
    QCOMPARE(net->text(), before);

    emit network->sigIPAddr(QString());
}

void PhonePagesTest::phoneComingShowsTheConnectingPage()
{
    QCOMPARE(wirelessStates()->currentIndex(), 0);
    QCOMPARE(wirelessStates()->currentWidget(), find<WirelessAnNoCon>());
    emit m_window->havedevicecoming(1);
    QCOMPARE(wirelessStates()->currentIndex(), 1);
    auto* connecting = find<WirelessAnConnecting>();
    QCOMPARE(wirelessStates()->currentWidget(), connecting);
    QVERIFY(labelWithText(connecting, QStringLiteral("即将开始投屏...")) != nullptr);
    QVERIFY(labelWithText(connecting, QStringLiteral("请在手机上点击“立即开始”")) != nullptr);
    QVERIFY(labelWithText(connecting, QStringLiteral("即将开始投屏..."))->isVisible());

    // Values other than 0 and 1 leave the page alone.
    emit m_window->havedevicecoming(2);
    emit m_window->havedevicecoming(-1);
    QCOMPARE(wirelessStates()->currentIndex(), 1);
    emit m_window->havedevicecoming(0);
    QCOMPARE(wirelessStates()->currentIndex(), 0);
}

void PhonePagesTest::connectedPhoneIsListed()
{
    emit m_window->havedevicecoming(1);
    emit m_window->havedeviceconnected(QStringLiteral("phone-1"), 2);
    auto* connected = find<WirelessAnConnected>();
    QCOMPARE(wirelessStates()->currentIndex(), 2);
    QCOMPARE(wirelessStates()->currentWidget(), connected);
    QVERIFY(labelWithText(connected, QStringLiteral("设备正在投屏"))->isVisible());
    auto* list = connected->findChild<QListWidget*>("castDevList");
    QCOMPARE(rowIds(list), QStringList{"phone-1"});
    QCOMPARE(Utility::usbConnectedDev_ser, std::vector<QString>{"phone-1"});
    auto* row = qobject_cast<CastDevItem*>(list->itemWidget(list->item(0)));
    QCOMPARE(row->buttonText(), QStringLiteral("断开"));
    QVERIFY(!connected->findChild<CircleButton*>("refreshBtn")->isSpinning());

    // Other status values change nothing.
    emit m_window->havedeviceconnected(QStringLiteral("phone-2"), 1);
    emit m_window->havedeviceconnected(QStringLiteral("phone-2"), 3);
    QCOMPARE(wirelessStates()->currentIndex(), 2);
    QCOMPARE(rowIds(list), QStringList{"phone-1"});
}

void PhonePagesTest::disconnectedPhoneClosesKeepAliveAndGoesBack()
{
    emit m_window->havedeviceconnected(QStringLiteral("phone-1"), 2);
    QCOMPARE(wirelessStates()->currentIndex(), 2);

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, KeepAlive::kEchoPort);
    QVERIFY(client.waitForConnected(5000));
    QTRY_COMPARE(KeepAlive::instance().clients().size(), 1);

    QSignalSpy coming(m_window, &UiManage::havedevicecoming);
    emit m_window->havedeviceconnected(QStringLiteral("phone-1"), 0);
    QCOMPARE(wirelessStates()->currentIndex(), 0);
    QCOMPARE(wirelessStates()->currentWidget(), find<WirelessAnNoCon>());
    QCOMPARE(find<WirelessAnConnected>()->findChild<QListWidget*>("castDevList")->count(), 0);
    QVERIFY(Utility::usbConnectedDev_ser.empty());
    QCOMPARE(coming.count(), 1);
    QCOMPARE(coming.first().first().toInt(), 0);
    QCOMPARE(KeepAlive::instance().clients().size(), 0);
    QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
}

void PhonePagesTest::rowDisconnectGoesBack()
{
    emit m_window->havedeviceconnected(QStringLiteral("phone-1"), 2);
    auto* list = find<WirelessAnConnected>()->findChild<QListWidget*>("castDevList");
    auto* row = qobject_cast<CastDevItem*>(list->itemWidget(list->item(0)));
    QVERIFY(row != nullptr);
    QPointer<CastDevItem> watched(row);

    QSignalSpy coming(m_window, &UiManage::havedevicecoming);
    QTest::mouseClick(row->button(), Qt::LeftButton);
    QCOMPARE(coming.count(), 1);
    QCOMPARE(coming.first().first().toInt(), 0);
    QCOMPARE(wirelessStates()->currentIndex(), 0);
    QCOMPARE(list->count(), 0);
    QVERIFY(Utility::usbConnectedDev_ser.empty());
    QTRY_VERIFY(watched.isNull());
}

void PhonePagesTest::castCodeDigitsAreShown()
{
    int code[6] = {1, 4, 5, 3, 6, 2};
    emit NetWorkInfo::instance()->updateCastCode(code);
    auto* page = find<WirelessAnNoCon>();
    const QStringList expected = {"1", "4", "5", "3", "6", "2"};
    for (int i = 0; i < 6; ++i) {
        const QString name = QStringLiteral("castCode%1").arg(i + 1);
        auto* digit = page->findChild<QLabel*>(name);
        QVERIFY2(digit != nullptr, qPrintable(name));
        QCOMPARE(digit->text(), expected[i]);
    }

    int wide[6] = {0, 9, 12, 7, 8, 0};
    emit NetWorkInfo::instance()->updateCastCode(wide);
    QCOMPARE(page->findChild<QLabel*>("castCode3")->text(), QStringLiteral("12"));

    // The QR code is not drawn yet: the frame stays empty.
    auto* qr = page->findChild<QLabel*>("qrCode");
    emit NetWorkInfo::instance()->updateQrCodePic(QStringLiteral("vantor://cast?code=145362"));
    QVERIFY(qr->pixmap(Qt::ReturnByValue).isNull());
    QVERIFY(!page->findChild<QLabel*>("qrCodeBg")->pixmap(Qt::ReturnByValue).isNull());

    emit NetWorkInfo::instance()->updateCastCode(code);
}

void PhonePagesTest::methodsRefreshDoesNotKeepSpinning()
{
    auto* page = find<WirelessAnNoCon>();
    auto* refresh = page->findChild<CircleButton*>("refreshBtn");
    QVERIFY(refresh->isVisible());
    QTest::ignoreMessage(QtDebugMsg, "WirelessAnNoCon reflash");
    QTest::mouseClick(refresh, Qt::LeftButton);
    QVERIFY(!refresh->isSpinning());
}

void PhonePagesTest::wiredFlow()
{
    clickRow(5);
    auto* wired = find<WireAndriod>();
    QStackedWidget* states = wiredStates();
    QCOMPARE(states->currentIndex(), WireAndriod::kNoConnectionPage);
    QCOMPARE(states->currentWidget(), find<WireAnNoCon>());
    QVERIFY(labelWithText(find<WireAnNoCon>(), "按以下提示开始有线投屏")->isVisible());

    emit find<WireAnNoCon>()->sigNextStep();
    QCOMPARE(states->currentIndex(), WireAndriod::kAllowUsbDebugPage);
    auto* allow = find<WireAnAllowUsbDebug>();
    QCOMPARE(states->currentWidget(), allow);
    QVERIFY(labelWithText(allow, "请在手机上授权：允许USB调试")->isVisible());
    QVERIFY(labelWithText(allow, "正在连接（15%）") != nullptr);

    auto* next = allow->findChild<QPushButton*>("pushButton");
    QCOMPARE(next->text(), QStringLiteral("已开启，下一步"));
    QSignalSpy nextStep(allow, &WireAnAllowUsbDebug::sigNextStep);
    QTest::mouseClick(next, Qt::LeftButton);
    QCOMPARE(nextStep.count(), 1);
    QCOMPARE(states->currentIndex(), WireAndriod::kConnectingPage);

    states->setCurrentIndex(WireAndriod::kAllowUsbDebugPage);
    wired->slotGotoWaittingPage();
    QCOMPARE(states->currentIndex(), WireAndriod::kConnectingPage);
    QCOMPARE(states->currentWidget(), find<WireAnConnecting>());
    QVERIFY(labelWithText(find<WireAnConnecting>(), "正在连接中（15%）...")->isVisible());

    wired->slotGotoNextPage();
    QCOMPARE(states->currentIndex(), WireAndriod::kAllowUsbDebugPage);
}

void PhonePagesTest::wiredSignalsThatChangeNothing()
{
    auto* wired = find<WireAndriod>();
    QStackedWidget* states = wiredStates();
    for (int page = 0; page < states->count(); ++page) {
        states->setCurrentIndex(page);
        emit find<WireAnConnected>()->sigNextStep();
        emit find<WireAnDisconnect>()->sigNextStep();
        emit NetWorkInfo::instance()->sigNextStep();
        emit m_window->sigGotUsbPlugin();
        wired->slotGotoNoDevicePage();
        wired->slotUsbPlugin();
        QCOMPARE(states->currentIndex(), page);
    }
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

void PhonePagesTest::usbHelpIsCentredOverTheShade_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("no-phone page's refresh") << 0;
    QTest::newRow("plugged-in phone not recognised") << 1;
    QTest::newRow("steps page's help button") << 2;
}

void PhonePagesTest::usbHelpIsCentredOverTheShade()
{
    QFETCH(int, how);
    clickRow(5);
    auto* shade = m_window->findChild<QWidget*>("shadeFrame");
    QVERIFY(shade != nullptr);
    QVERIFY(!shade->isVisible());
    auto* disconnect = find<WireAnDisconnect>();
    auto* spin = disconnect->findChild<CircleButton*>("refreshSpin");

    ModalCloser closer(shade);
    if (how == 0) {
        wiredStates()->setCurrentWidget(disconnect);
        auto* refresh = disconnect->findChild<QPushButton*>("refreshBtn");
        QCOMPARE(refresh->text(), QStringLiteral(" 刷新"));
        QVERIFY(refresh->isVisible());
        QTest::mouseClick(refresh, Qt::LeftButton);
    } else if (how == 1) {
        emit find<WireAndriod>()->sigGotUsbPlugin();
    } else {
        auto* noCon = find<WireAnNoCon>();
        wiredStates()->setCurrentWidget(noCon);
        auto* help = noCon->findChild<QPushButton*>("pushButton");
        QVERIFY(help->isVisible());
        QVERIFY(!help->text().isEmpty());
        QTest::mouseClick(help, Qt::LeftButton);
    }
    // The click returns once the dialog has closed.
    QVERIFY(closer.seen);
    QVERIFY(closer.wasUsbHelp);
    QVERIFY(closer.modal);
    QVERIFY(closer.shadeShown);
    QCOMPARE(closer.geometry.center(), m_window->geometry().center());
    QVERIFY(!shade->isVisible());
    QVERIFY(!spin->isSpinning());
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
}

void PhonePagesTest::wiredRowsComeFromTheConnectedList()
{
    auto* connected = find<WireAnConnected>();
    wiredStates()->setCurrentWidget(connected);
    auto* list = connected->findChild<QListWidget*>("castDevList");
    QVERIFY(labelWithText(connected, "已连接设备") != nullptr);

    Utility::vConnectedDev = {"R58M1234", "emulator-5554"};
    connected->slotGetScanDev();
    QCOMPARE(rowIds(list), (QStringList{"R58M1234", "emulator-5554"}));

    Utility::vConnectedDev = {"emulator-5554"};
    connected->slotGetScanDev();
    QCOMPARE(rowIds(list), QStringList{"emulator-5554"});
    QVERIFY(!connected->findChild<CircleButton*>("refreshBtn")->isSpinning());

    Utility::vConnectedDev.clear();
    connected->slotGetScanDev();
    QCOMPARE(list->count(), 0);
}

void PhonePagesTest::wiredRowDisconnectRebuildsTheRows()
{
    auto* connected = find<WireAnConnected>();
    wiredStates()->setCurrentWidget(connected);
    auto* list = connected->findChild<QListWidget*>("castDevList");
    Utility::vConnectedDev = {"R58M1234", "emulator-5554"};
    connected->slotGetScanDev();
    QPointer<CastDevItem> first = qobject_cast<CastDevItem*>(list->itemWidget(list->item(0)));
    QVERIFY(first != nullptr);
    QCOMPARE(first->buttonText(), QStringLiteral("断开"));

    // Later rows come from the list as it is by then.
    Utility::vConnectedDev = {"emulator-5554"};
    QTest::ignoreMessage(QtDebugMsg,
                         QRegularExpression("-------------m_id .*R58M1234.* host .*R58M1234"));
    QTest::mouseClick(first->button(), Qt::LeftButton);
    QCOMPARE(rowIds(list), QStringList{"emulator-5554"});
    QTRY_VERIFY(first.isNull());
    auto* rebuilt = qobject_cast<CastDevItem*>(list->itemWidget(list->item(0)));
    QCOMPARE(rebuilt->buttonText(), QStringLiteral("断开"));
}

void PhonePagesTest::wiredRefreshRebuildsTheRows()
{
    clickRow(5);
    auto* connected = find<WireAnConnected>();
    wiredStates()->setCurrentWidget(connected);
    auto* list = connected->findChild<QListWidget*>("castDevList");
    Utility::vConnectedDev = {"R58M1234"};
    auto* refresh = connected->findChild<CircleButton*>("refreshBtn");
    QVERIFY(refresh->isVisible());
    QTest::mouseClick(refresh, Qt::LeftButton);
    QCOMPARE(rowIds(list), QStringList{"R58M1234"});
    QVERIFY(!refresh->isSpinning());

    // The wireless page's refresh does the same with its own list.
    clickRow(1);
    Utility::usbConnectedDev_ser = {"phone-9"};
    auto* wireless = find<WirelessAnConnected>();
    wirelessStates()->setCurrentWidget(wireless);
    auto* wirelessRefresh = wireless->findChild<CircleButton*>("refreshBtn");
    QVERIFY(wirelessRefresh->isVisible());
    QTest::mouseClick(wirelessRefresh, Qt::LeftButton);
    QVERIFY(!wirelessRefresh->isSpinning());
    QCOMPARE(rowIds(wireless->findChild<QListWidget*>("castDevList")), QStringList{"phone-9"});
}

void PhonePagesTest::deviceIdsAreShownLiterally()
{
    const QString id = QStringLiteral("<b>x</b>");
    emit m_window->havedeviceconnected(id, 2);
    Utility::vConnectedDev = {id};
    find<WireAnConnected>()->slotGetScanDev();
    for (QWidget* page : {static_cast<QWidget*>(find<WirelessAnConnected>()),
                          static_cast<QWidget*>(find<WireAnConnected>())}) {
        auto* list = page->findChild<QListWidget*>("castDevList");
        QCOMPARE(rowIds(list), QStringList{id});
        QLabel* label = labelWithText(list->itemWidget(list->item(0)), id);
        QVERIFY(label != nullptr);
        QCOMPARE(label->textFormat(), Qt::PlainText);
        // Drawn as typed: wider than the single bold "x" markup would give.
        QVERIFY(label->sizeHint().width() > label->fontMetrics().horizontalAdvance("xx"));
    }
}

void PhonePagesTest::languageChangeReappliesTheTexts()
{
    struct Case {
        QWidget* form;
        const char* label;
        QString text;
    };
    const Case cases[] = {
        {m_view, "hostNameLbl", "本机名称:"},
        {m_view, "curNetNameLbl", "当前网络:"},
        {find<WirelessAnNoCon>(), "titleLbl", "3大方法即刻投屏！"},
        {find<WirelessAnNoCon>(), "method2Lbl", "VantorAPP输入投屏码一键投屏"},
        {find<WirelessAnConnecting>(), "tipLbl", "请在手机上点击“立即开始”"},
        {find<WirelessAnConnected>(), "titleLbl", "设备正在投屏"},
        {find<WirelessApple>(), "mirrorTipLbl", "使用“屏幕镜像”更快投屏"},
        {find<WireAnNoCon>(), "cableTipLbl", "用USB数据线连接手机和电脑"},
        {find<WireAnAllowUsbDebug>(), "progressLbl", "正在连接（15%）"},
        {find<WireAnConnecting>(), "progressLbl", "正在连接中（15%）..."},
        {find<WireAnConnected>(), "titleLbl", "已连接设备"},
        {find<WireAnDisconnect>(), "tipLbl", "暂无设备连接\n请用USB数据线将安卓手机和电脑相连"},
    };
    for (const Case& entry : cases) {
        QVERIFY(entry.form != nullptr);
        auto* label = entry.form->findChild<QLabel*>(QLatin1String(entry.label));
        QVERIFY2(label != nullptr, entry.label);
        QCOMPARE(label->text(), entry.text);
        label->setText(QStringLiteral("?"));
        QEvent change(QEvent::LanguageChange);
        QCoreApplication::sendEvent(entry.form, &change);
        QCOMPARE(label->text(), entry.text);
    }

    // The side list's names, the red "无" and texts outside labels come back too.
    rowItem(2)->setName(QStringLiteral("?"));
    emit NetWorkInfo::instance()->sigIPAddr(QString());
    find<QLabel>("Ip")->setText(QStringLiteral("?"));
    QEvent change(QEvent::LanguageChange);
    QCoreApplication::sendEvent(m_view, &change);
    QCOMPARE(rowItem(2)->name(), QStringLiteral("苹果手机"));
    QCOMPARE(find<QLabel>("Ip")->text(), QStringLiteral("<font color=red>无</font>"));

    auto* allowButton = find<WireAnAllowUsbDebug>()->findChild<QPushButton*>("pushButton");
    allowButton->setText(QStringLiteral("?"));
    QCoreApplication::sendEvent(find<WireAnAllowUsbDebug>(), &change);
    QCOMPARE(allowButton->text(), QStringLiteral("已开启，下一步"));
    auto* refresh = find<WireAnDisconnect>()->findChild<QPushButton*>("refreshBtn");
    refresh->setText(QStringLiteral("?"));
    QCoreApplication::sendEvent(find<WireAnDisconnect>(), &change);
    QCOMPARE(refresh->text(), QStringLiteral(" 刷新"));
}

void PhonePagesTest::screenshots()
{
    int code[6] = {1, 4, 5, 3, 6, 2};
    emit NetWorkInfo::instance()->updateCastCode(code);
    emit NetWorkInfo::instance()->sigHostName(QStringLiteral("studio-pc"));
    emit NetWorkInfo::instance()->sigIPAddr(QString());

    // The view with each way chosen.
    clickRow(1);
    save(m_view, "view-wireless-android");
    clickRow(2);
    save(m_view, "view-wireless-apple");
    clickRow(5);
    save(m_view, "view-wire-android");

    // Every page on its own.
    clickRow(1);
    QStackedWidget* wireless = wirelessStates();
    wireless->setCurrentWidget(find<WirelessAnNoCon>());
    save(find<WirelessAnNoCon>(), "wireless-android-noconnection");
    wireless->setCurrentWidget(find<WirelessAnConnecting>());
    save(find<WirelessAnConnecting>(), "wireless-android-connecting");
    Utility::usbConnectedDev_ser = {"Pixel 7", "<b>x</b>"};
    find<WirelessAnConnected>()->slotGetScanDev();
    wireless->setCurrentWidget(find<WirelessAnConnected>());
    save(find<WirelessAnConnected>(), "wireless-android-connected");
    wireless->setCurrentIndex(0);

    clickRow(2);
    save(find<WirelessApple>(), "wireless-apple");

    clickRow(5);
    QStackedWidget* wired = wiredStates();
    wired->setCurrentWidget(find<WireAnNoCon>());
    save(find<WireAnNoCon>(), "wire-android-noconnection");
    wired->setCurrentWidget(find<WireAnAllowUsbDebug>());
    save(find<WireAnAllowUsbDebug>(), "wire-android-allowusbdebug");
    wired->setCurrentWidget(find<WireAnConnecting>());
    save(find<WireAnConnecting>(), "wire-android-connecting");
    Utility::vConnectedDev = {"R58M1234", "emulator-5554"};
    find<WireAnConnected>()->slotGetScanDev();
    wired->setCurrentWidget(find<WireAnConnected>());
    save(find<WireAnConnected>(), "wire-android-connected");
    wired->setCurrentWidget(find<WireAnDisconnect>());
    save(find<WireAnDisconnect>(), "wire-android-disconnect");
    save(m_window, "window-wire-android-disconnect");
}

int main(int argc, char** argv)
{
    // The main window's settings page writes cfg.ini: never into the real home.
    QTemporaryDir home;
    if (!home.isValid()) {
        qFatal("no temporary directory for the test's home");
    }
    QDir(home.path()).mkpath(QStringLiteral("home"));
    QDir(home.path()).mkpath(QStringLiteral("config"));
    qputenv("HOME", QDir(home.path()).filePath(QStringLiteral("home")).toUtf8());
    qputenv("XDG_CONFIG_HOME", QDir(home.path()).filePath(QStringLiteral("config")).toUtf8());

    vantor::prepareProcess();
    QApplication app(argc, argv);
    vantor::applyInterfaceLook();

    PhonePagesTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "phonepages_test.moc"
