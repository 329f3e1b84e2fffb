#include "PhoneCastPc/WireAndriod/wireanconnected.h"

#include <QEvent>
#include <QListWidgetItem>
#include <QtDebug>

#include "Comm/castdevitem.h"
#include "Comm/uiimages.h"
#include "Comm/utility.h"
#include "ui_wireanconnected.h"

namespace {
constexpr int kRowHeight = 40;
}  // namespace

WireAnConnected::WireAnConnected(QWidget* parent) : QWidget(parent), ui(new Ui::WireAnConnected)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);
    vantor::setPicture(ui->phonePicture, QStringLiteral(":/img/img_android.png"));
}

WireAnConnected::~WireAnConnected() { delete ui; }

void WireAnConnected::slotGetScanDev()
{
    // Rows removed here go with deleteLater: one of them may be the row whose
    // button click is still being delivered.
    ui->castDevList->clear();
    for (const QString& id : Utility::vConnectedDev) {
        auto* item = new QListWidgetItem(ui->castDevList);
        item->setFlags(Qt::ItemIsEnabled);
        item->setSizeHint(QSize(ui->castDevList->viewport()->width(), kRowHeight));
        auto* row =
            new CastDevItem(QStringLiteral(":/img/icon_shouji.png"), id, id, ui->castDevList, true);
        connect(row, &CastDevItem::sigDisConnect, this, &WireAnConnected::slotDisconnect);
        ui->castDevList->setItemWidget(item, row);
    }
    ui->refreshBtn->stop();
}

void WireAnConnected::slotConnected(QString) {}

void WireAnConnected::slotDisconnect(QString host)
{
    auto* row = qobject_cast<CastDevItem*>(sender());
    const QString id = row != nullptr ? row->getDevId() : host;
    qDebug() << "-------------m_id " << id << " host " << host;
    slotGetScanDev();
}

void WireAnConnected::on_refreshBtn_clicked()
{
    ui->refreshBtn->start();
    slotGetScanDev();
}

void WireAnConnected::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
    }
    QWidget::changeEvent(event);
}
