#include "PhoneCastPc/WireAndriod/wireanallowusbdebug.h"

#include <QEvent>

#include "Comm/uiimages.h"
#include "ui_wireanallowusbdebug.h"

WireAnAllowUsbDebug::WireAnAllowUsbDebug(QWidget* parent)
    : QWidget(parent), ui(new Ui::WireAnAllowUsbDebug)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);
    vantor::setPicture(ui->authorisePicture, QStringLiteral(":/img/img_yxusbts.png"));
}

WireAnAllowUsbDebug::~WireAnAllowUsbDebug() { delete ui; }

void WireAnAllowUsbDebug::on_pushButton_clicked() { emit sigNextStep(); }

void WireAnAllowUsbDebug::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
    }
    QWidget::changeEvent(event);
}
