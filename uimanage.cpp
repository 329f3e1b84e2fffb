#include "uimanage.h"

#include <QApplication>
#include <QEvent>
#include <QListWidgetItem>
#include <QMutexLocker>
#include <QtDebug>

#include "Comm/connectrequestdialog.h"
#include "Comm/disconnectrequestdialog.h"
#include "Comm/logging.h"
#include "Comm/majorcastitem.h"
#include "Comm/networkinfo.h"
#include "Comm/uiimages.h"
#include "Comm/utility.h"
#include "ui_uimanage.h"

namespace {

const QSize kCastTabSize(130, 40);
constexpr int kCastTabBarWidth = 40;
constexpr int kCastTabBarHeight = 4;
const QString kSelectedColour = QStringLiteral("#2A7FEC");
const QString kTextColour = QStringLiteral("#1B212E");
const QString kNoBar = QStringLiteral("transparent");

enum CastPage { kPhoneCastPcPage = 0, kPcCastTvPage = 1 };

}  // namespace

UiManage* UiManage::s_instance = nullptr;
QMutex UiManage::s_instanceMutex;
bool UiManage::s_disconnectDialogOpen = false;

UiManage* UiManage::instance()
{
    if (s_instance == nullptr) {
        QMutexLocker lock(&s_instanceMutex);
        if (s_instance == nullptr) {
            s_instance = new UiManage;
        }
    }
    return s_instance;
}

UiManage::UiManage()
    : ui(new Ui::UiManage()),
      m_connectRequestEventType(QEvent::registerEventType(-1)),
      m_disconnectRequestEventType(QEvent::registerEventType(-2))
{
}

UiManage::~UiManage()
{
    disconnect(NetWorkInfo::instance(), &NetWorkInfo::havedevicecoming, this,
               &UiManage::slot_havedevicecoming);
    NetWorkInfo::release();
    delete ui;
    QMutexLocker lock(&s_instanceMutex);
    if (s_instance == this) {
        s_instance = nullptr;
    }
}

void UiManage::init()
{
    ui->setupUi(this);
    m_formBuilt = true;
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint);
    Utility::setShadowEffect(this, ui->mainFrame);
    vantor::setPicture(ui->appIcon, QStringLiteral(":/img/appico.png"));
    ui->appIcon->setScaledContents(true);
    ui->mainTitleBar->installEventFilter(this);
    ui->settingTitleBar->installEventFilter(this);

    ui->shadeFrame->hide();
    ui->titleBarSelect->setCurrentIndex(0);
    ui->castAndSetSelect->setCurrentIndex(0);
    fillMajorCastList();
    ui->shadeFrame->raise();
    setAttribute(Qt::WA_DeleteOnClose);

    connect(NetWorkInfo::instance(), &NetWorkInfo::havedevicecoming, this,
            &UiManage::slot_havedevicecoming);
}

void UiManage::fillMajorCastList()
{
    auto* item = new QListWidgetItem(ui->majorCastList);
    item->setSizeHint(kCastTabSize);
    const QRect textRect(0, 0, kCastTabSize.width(), kCastTabSize.height());
    const QRect barRect((kCastTabSize.width() - kCastTabBarWidth) / 2,
                        kCastTabSize.height() - kCastTabBarHeight, kCastTabBarWidth,
                        kCastTabBarHeight);
    auto* tab =
        new MajorCastItem(textRect, tr("电脑投电视(手机)"), barRect, kNoBar, ui->majorCastList);
    ui->majorCastList->setItemWidget(item, tab);
    m_castTabs = {tab};

    ui->majorCastList->setCurrentItem(item);
    tab->updateItem(kSelectedColour, kSelectedColour);
    ui->majorCastSelect->setCurrentIndex(kPcCastTvPage);
}

void UiManage::slotMajorCastListUpdate(QModelIndex index)
{
    // The tabs lead to the PC-to-TV page; row i shows that tab's page.
    static const int kPageOfTab[] = {kPcCastTvPage};
    for (int row = 0; row < m_castTabs.size(); ++row) {
        if (row == index.row()) {
            m_castTabs[row]->updateItem(kSelectedColour, kSelectedColour);
            ui->majorCastSelect->setCurrentIndex(kPageOfTab[row]);
        } else {
            m_castTabs[row]->updateItem(kTextColour, kNoBar);
        }
    }
}

void UiManage::showShade()
{
    ui->shadeFrame->show();
    ui->shadeFrame->raise();
}

void UiManage::hideShade() { ui->shadeFrame->hide(); }

void UiManage::on_settingBtn_clicked()
{
    ui->titleBarSelect->setCurrentIndex(1);
    ui->castAndSetSelect->setCurrentIndex(1);
}

void UiManage::on_backBtn_clicked()
{
    ui->titleBarSelect->setCurrentIndex(0);
    ui->castAndSetSelect->setCurrentIndex(0);
}

void UiManage::on_minBtn1_clicked() { showMinimized(); }

void UiManage::on_minBtn2_clicked() { showMinimized(); }

void UiManage::on_closeBtn1_clicked() { quit(); }

void UiManage::on_closeBtn2_clicked() { quit(); }

void UiManage::quit()
{
    // No tray, no hiding: closing ends the process.
    QApplication::closeAllWindows();
    QCoreApplication::exit(0);
}

void UiManage::slot_havedevicecoming(QString deviceid)
{
    if (deviceid == QLatin1String("usb-plugin")) {
        emit sigGotUsbPlugin();
    } else if (deviceid == QLatin1String("cancel")) {
        emit havedevicecoming(0);
    } else if (deviceid == QLatin1String("scrcpy-disconnectted")) {
        // the phone side ended its mirroring; nothing to show
    } else {
        m_pendingDeviceId = deviceid;
    }
}

bool UiManage::event(QEvent* event)
{
    if (event->type() == m_connectRequestEventType) {
        ConnectRequestDialog dialog(m_pendingDeviceId, nullptr);
        if (dialog.exec() == QDialog::Accepted) {
            emit havedevicecoming(1);
            LOG(INFO) << "Accepted";
        } else {
            LOG(INFO) << "Rejected";
            emit havedevicecoming(0);
        }
    } else if (event->type() == m_disconnectRequestEventType && !s_disconnectDialogOpen) {
        s_disconnectDialogOpen = true;
        DisConnectRequestDialog dialog(nullptr);
        LOG(INFO) << (dialog.exec() == QDialog::Accepted ? "Accepted" : "Rejected");
        s_disconnectDialogOpen = false;
    }
    return QWidget::event(event);
}

bool UiManage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->mainTitleBar || watched == ui->settingTitleBar) {
        m_drag.handle(this, event);
    }
    return QWidget::eventFilter(watched, event);
}

void UiManage::retranslate()
{
    ui->retranslateUi(this);
    if (!m_castTabs.isEmpty()) {
        m_castTabs.first()->setName(tr("电脑投电视(手机)"));
    }
}

void UiManage::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange && m_formBuilt) {
        retranslate();
        qDebug() << "UiManage"
                 << "changeEvent"
                 << "language change";
    }
    QWidget::changeEvent(event);
}
