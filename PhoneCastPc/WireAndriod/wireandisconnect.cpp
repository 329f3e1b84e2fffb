#include "PhoneCastPc/WireAndriod/wireandisconnect.h"

#include <QEvent>

#include "Comm/uiimages.h"
#include "PhoneCastPc/WireAndriod/usbhelp.h"
#include "ui_wireandisconnect.h"

WireAnDisconnect::WireAnDisconnect(QWidget* parent) : QWidget(parent), ui(new Ui::WireAnDisconnect)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);
    vantor::setPicture(ui->noDevicePicture, QStringLiteral(":/img/img_zwfxsb.png"));
    // The spinning picture is the refresh button's icon: clicks go to the button.
    ui->refreshSpin->setAttribute(Qt::WA_TransparentForMouseEvents);
}

WireAnDisconnect::~WireAnDisconnect() { delete ui; }

void WireAnDisconnect::on_refreshBtn_clicked()
{
    ui->refreshSpin->start();
    // Nothing searches for phones here yet: the search is over at once.
    stop_refreshbtn();
    vantor::showUsbHelp(this);
}

void WireAnDisconnect::stop_refreshbtn() { ui->refreshSpin->stop(); }

void WireAnDisconnect::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
    }
    QWidget::changeEvent(event);
}
