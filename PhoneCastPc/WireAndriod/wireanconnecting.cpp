#include "PhoneCastPc/WireAndriod/wireanconnecting.h"

#include <QEvent>

#include "Comm/uiimages.h"
#include "ui_wireanconnecting.h"

WireAnConnecting::WireAnConnecting(QWidget* parent) : QWidget(parent), ui(new Ui::WireAnConnecting)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);
    vantor::setPicture(ui->connectingPicture, QStringLiteral(":/img/img_ljz.png"));
}

WireAnConnecting::~WireAnConnecting() { delete ui; }

void WireAnConnecting::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
    }
    QWidget::changeEvent(event);
}
