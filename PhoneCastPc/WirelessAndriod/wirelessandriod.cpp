#include "PhoneCastPc/WirelessAndriod/wirelessandriod.h"

#include <QEvent>

#include "Comm/utility.h"
#include "src/keepalive/keepalive.h"
#include "ui_wirelessandriod.h"
#include "uimanage.h"

WirelessAndriod::WirelessAndriod(QWidget* parent) : QWidget(parent), ui(new Ui::WirelessAndriod)
{
    ui->setupUi(this);
    ui->wirelessCastState->setCurrentIndex(kNoConnectionPage);
    connect(UiManage::instance(), &UiManage::havedevicecoming, this,
            &WirelessAndriod::slot_havedevicecoming);
    connect(UiManage::instance(), &UiManage::havedeviceconnected, this,
            &WirelessAndriod::slot_havedeviceconnected);
}

WirelessAndriod::~WirelessAndriod() { delete ui; }

void WirelessAndriod::slot_havedevicecoming(int state)
{
    if (state == kNoConnectionPage || state == kConnectingPage) {
        ui->wirelessCastState->setCurrentIndex(state);
    }
}

void WirelessAndriod::slot_havedeviceconnected(QString deviceid, int status)
{
    if (status == kDeviceConnected) {
        Utility::usbConnectedDev_ser.push_back(deviceid);
        ui->wirelessCastState->setCurrentIndex(kConnectedPage);
        ui->connected->slotGetScanDev();
    } else if (status == kDeviceDisconnected) {
        KeepAlive::instance().closeAll();
        Utility::usbConnectedDev_ser.clear();
        ui->connected->slotDisConnect(deviceid);
        ui->wirelessCastState->setCurrentIndex(kNoConnectionPage);
    }
}

void WirelessAndriod::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
    }
    QWidget::changeEvent(event);
}
