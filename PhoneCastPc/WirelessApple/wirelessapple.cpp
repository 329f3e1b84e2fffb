#include "PhoneCastPc/WirelessApple/wirelessapple.h"

#include <QEvent>

#include "Comm/uiimages.h"
#include "ui_wirelessapple.h"

WirelessApple::WirelessApple(QWidget* parent) : QWidget(parent), ui(new Ui::WirelessApple)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);
    vantor::setPicture(ui->applePicture, QStringLiteral(":/img/icon_pgyd_2x.png"));
}

WirelessApple::~WirelessApple() { delete ui; }

void WirelessApple::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
    }
    QWidget::changeEvent(event);
}
