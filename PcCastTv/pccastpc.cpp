#include "PcCastTv/pccastpc.h"

#include <QEvent>

#include "Comm/uiimages.h"
#include "PcCastTv/refreshspin.h"
#include "ui_pccastpc.h"

PcCastPc::PcCastPc(QWidget* parent) : QWidget(parent), ui(new Ui::PcCastPc)
{
    ui->setupUi(this);
    vantor::setPicture(ui->tvImgLbl, QStringLiteral(":/img/img_dianshi.png"));
}

PcCastPc::~PcCastPc() { delete ui; }

void PcCastPc::slotGetScanDev() { ui->refreshBtn->stop(); }

void PcCastPc::on_refreshBtn_clicked() { spinRefresh(ui->refreshBtn); }

void PcCastPc::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
    }
    QWidget::changeEvent(event);
}
