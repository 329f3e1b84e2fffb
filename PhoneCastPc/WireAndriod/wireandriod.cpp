#include "PhoneCastPc/WireAndriod/wireandriod.h"

#include <QEvent>
#include <QTimer>

#include "Comm/networkinfo.h"
#include "ui_wireandriod.h"
#include "uimanage.h"

WireAndriod::WireAndriod(QWidget* parent) : QWidget(parent), ui(new Ui::WireAndriod)
{
    ui->setupUi(this);
    ui->castState->setCurrentIndex(kNoConnectionPage);

    connect(ui->noConnection, &WireAnNoCon::sigNextStep, this, &WireAndriod::slotGotoNextPage);
    connect(ui->allowUsbDebug, &WireAnAllowUsbDebug::sigNextStep, this,
            &WireAndriod::slotGotoWaittingPage);
    connect(this, &WireAndriod::sigGotUsbPlugin, ui->disconnect,
            &WireAnDisconnect::on_refreshBtn_clicked);
    connect(ui->connected, &WireAnConnected::sigNextStep, this, &WireAndriod::slotGotoNoDevicePage);
    connect(ui->disconnect, &WireAnDisconnect::sigNextStep, this,
            &WireAndriod::slotGotoNoDevicePage);
    connect(UiManage::instance(), &UiManage::sigGotUsbPlugin, this, &WireAndriod::slotUsbPlugin);
    connect(NetWorkInfo::instance(), &NetWorkInfo::sigNextStep, this,
            &WireAndriod::slotGotoNoDevicePage);
}

WireAndriod::~WireAndriod() { delete ui; }

// Which phone is plugged in is not known here yet: the page stays as it is.
void WireAndriod::slotGotoNoDevicePage() {}

void WireAndriod::slotUsbPlugin() {}

void WireAndriod::slotGotoNextPage()
{
    ui->castState->setCurrentIndex(kAllowUsbDebugPage);
    QTimer::singleShot(kSettleMs, this, [] {});
}

void WireAndriod::slotGotoWaittingPage()
{
    ui->castState->setCurrentIndex(kConnectingPage);
    QTimer::singleShot(kSettleMs, this, [] {});
}

void WireAndriod::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
    }
    QWidget::changeEvent(event);
}
