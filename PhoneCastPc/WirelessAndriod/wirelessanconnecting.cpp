#include "PhoneCastPc/WirelessAndriod/wirelessanconnecting.h"

#include <QEvent>

#include "Comm/uiimages.h"
#include "ui_wirelessanconnecting.h"

WirelessAnConnecting::WirelessAnConnecting(QWidget* parent)
    : QWidget(parent), ui(new Ui::WirelessAnConnecting)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);
    vantor::setPicture(ui->connectingPicture, QStringLiteral(":/img/img_tpyd.png"));
}

WirelessAnConnecting::~WirelessAnConnecting() { delete ui; }

void WirelessAnConnecting::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
    }
    QWidget::changeEvent(event);
}
