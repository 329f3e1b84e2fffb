#include "PhoneCastPc/WirelessAndriod/wirelessanconnected.h"

#include <QEvent>
#include <QListWidgetItem>
#include <QtDebug>

#include "Comm/castdevitem.h"
#include "Comm/uiimages.h"
#include "Comm/utility.h"
#include "ui_wirelessanconnected.h"
#include "uimanage.h"

namespace {
constexpr int kRowHeight = 40;
}  // namespace

WirelessAnConnected::WirelessAnConnected(QWidget* parent)
    : QWidget(parent), ui(new Ui::WirelessAnConnected)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);
    vantor::setPicture(ui->phonePicture, QStringLiteral(":/img/img_android.png"));
}

WirelessAnConnected::~WirelessAnConnected() { delete ui; }

void WirelessAnConnected::slotGetScanDev()
{
    ui->castDevList->clear();
    for (const QString& id : Utility::usbConnectedDev_ser) {
        auto* item = new QListWidgetItem(ui->castDevList);
        item->setFlags(Qt::ItemIsEnabled);
        item->setSizeHint(QSize(ui->castDevList->viewport()->width(), kRowHeight));
        auto* row =
            new CastDevItem(QStringLiteral(":/img/icon_shouji.png"), id, id, ui->castDevList, true);
        connect(row, &CastDevItem::sigDisConnect, this, &WirelessAnConnected::slotDisConnect);
        ui->castDevList->setItemWidget(item, row);
    }
    ui->refreshBtn->stop();
}

void WirelessAnConnected::slotDisConnect(QString id)
{
    qDebug() << "WirelessAnConnected disconnect" << id;
    Utility::usbConnectedDev_ser.clear();
    ui->castDevList->clear();
    emit UiManage::instance()->havedevicecoming(0);
}

void WirelessAnConnected::on_refreshBtn_clicked()
{
    ui->refreshBtn->start();
    slotGetScanDev();
}

void WirelessAnConnected::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
    }
    QWidget::changeEvent(event);
}
