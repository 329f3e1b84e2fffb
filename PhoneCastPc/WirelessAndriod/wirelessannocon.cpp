#include "PhoneCastPc/WirelessAndriod/wirelessannocon.h"

#include <QEvent>
#include <QLabel>
#include <QtDebug>

#include "Comm/networkinfo.h"
#include "Comm/uiimages.h"
#include "ui_wirelessannocon.h"

WirelessAnNoCon::WirelessAnNoCon(QWidget* parent) : QWidget(parent), ui(new Ui::WirelessAnNoCon)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);
    vantor::setPicture(ui->castPicture, QStringLiteral(":/img/img_ff1.png"));
    vantor::setPicture(ui->qrCodeBg, QStringLiteral(":/img/icon_saoma.png"));
    connect(NetWorkInfo::instance(), &NetWorkInfo::updateQrCodePic, this,
            &WirelessAnNoCon::updateQrCodePic);
    connect(NetWorkInfo::instance(), &NetWorkInfo::updateCastCode, this,
            &WirelessAnNoCon::updateCastCode);
}

WirelessAnNoCon::~WirelessAnNoCon() { delete ui; }

void WirelessAnNoCon::updateQrCodePic(QString) {}

void WirelessAnNoCon::updateCastCode(int castCode[6])
{
    QLabel* const digits[kCastCodeDigits] = {ui->castCode1, ui->castCode2, ui->castCode3,
                                             ui->castCode4, ui->castCode5, ui->castCode6};
    for (int i = 0; i < kCastCodeDigits; ++i) {
        digits[i]->setText(QString::number(castCode[i]));
    }
}

void WirelessAnNoCon::on_refreshBtn_clicked()
{
    qDebug() << "WirelessAnNoCon reflash";
    ui->refreshBtn->start();
    ui->refreshBtn->stop();
}

void WirelessAnNoCon::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
    }
    QWidget::changeEvent(event);
}
