#include "PhoneCastPc/WireAndriod/wireannocon.h"

#include <QEvent>
#include <QtDebug>

#include "Comm/uiimages.h"
#include "PhoneCastPc/WireAndriod/usbhelp.h"
#include "ui_wireannocon.h"

WireAnNoCon::WireAnNoCon(QWidget* parent) : QWidget(parent), ui(new Ui::WireAnNoCon)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);
    vantor::setPicture(ui->stepOnePicture, QStringLiteral(":/img/img_dyb_2x.png"));
    vantor::setPicture(ui->stepTwoPicture, QStringLiteral(":/img/img_drb_2x.png"));
    vantor::setPicture(ui->stepThreePicture, QStringLiteral(":/img/img_dsb_2x.png"));
    vantor::setPicture(ui->arrowOne, QStringLiteral(":/img/img_jt_2x.png"));
    vantor::setPicture(ui->arrowTwo, QStringLiteral(":/img/img_jt_2x.png"));
    vantor::setPicture(ui->usbTipPicture, QStringLiteral(":/img/usbphone_tip.png"));
}

WireAnNoCon::~WireAnNoCon() { delete ui; }

void WireAnNoCon::openUrl() { qDebug() << "WireAnNoCon no online guide to open"; }

void WireAnNoCon::on_pushButton_clicked() { vantor::showUsbHelp(this); }

void WireAnNoCon::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
    }
    QWidget::changeEvent(event);
}
