#include "PcCastTv/pccastfinddev.h"

#include <QEvent>
#include <QListWidget>
#include <QSet>
#include <QTimer>
#include <QtDebug>
#include <mutex>

#include "PcCastTv/castcodefield.h"
#include "PcCastTv/castcontentchoice.h"
#include "PcCastTv/castlauncher.h"
#include "PcCastTv/refreshspin.h"
#include "PcCastTv/sinkitem.h"
#include "src/discovery/codereceiver.h"
#include "src/discovery/discoverymutex.h"
#include "src/session/screensender.h"
#include "ui_pccastfinddev.h"

namespace {

const QSize kRowSize(421, 47);

// The table is written on this thread; the lock is taken and released before each
// access, as every reader of the table does.
QHash<QString, Sink> receiverTable()
{
    {
        std::lock_guard<std::mutex> lock(discoveryMutex());
    }
    return CodeReceiver::instance().sinksLocked();
}

}  // namespace

PcCastFindDev::PcCastFindDev(QWidget* parent)
    : QWidget(parent), ui(new Ui::PcCastFindDev), m_launcher(new CastLauncher(this))
{
    ui->setupUi(this);
    m_content = new CastContentChoice(this, ui->pushButton, ui->castContenSelect);
    setUpCastCodeField(ui->castCode);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &PcCastFindDev::updateDeviceList);
    timer->start(kListUpdateMs);
    connect(ui->refreshBt, &QPushButton::clicked, this, [this] { spinRefresh(ui->refreshBtn); });
    installEventFilter(this);
}

PcCastFindDev::~PcCastFindDev()
{
    qDebug() << "PcCastFindDev::~PcCastFindDev";
    ScreenSender::instance()->deleteThis();
    delete ui;
}

QList<SinkItem*> PcCastFindDev::rows() const
{
    QList<SinkItem*> rows;
    for (int i = 0; i < ui->castDevList->count(); ++i) {
        rows << qobject_cast<SinkItem*>(ui->castDevList->itemWidget(ui->castDevList->item(i)));
    }
    return rows;
}

void PcCastFindDev::slotGetScanDev() {}

void PcCastFindDev::updateDeviceList()
{
    const QString buttonText = CastLauncher::castButtonText(ui->castCode->text());
    if (!buttonText.isEmpty() && ui->castBtn->text() != buttonText) {
        ui->castBtn->setText(buttonText);
    }

    ScreenSender* session = ScreenSender::instance();
    const QHash<QString, Sink> table = receiverTable();
    QSet<QString> shown;
    // Rows keep their places: a receiver that is gone loses its row, the others are
    // updated where they are.
    for (int i = ui->castDevList->count() - 1; i >= 0; --i) {
        QListWidgetItem* item = ui->castDevList->item(i);
        auto* row = qobject_cast<SinkItem*>(ui->castDevList->itemWidget(item));
        const auto found = table.constFind(row->host());
        if (found == table.constEnd()) {
            qDebug() << "receiver row removed" << row->host();
            ui->castDevList->removeItemWidget(item);
            delete row;
            delete item;
            continue;
        }
        row->update(found->name, session->isSendingTo(found->ip));
        shown.insert(row->host());
    }
    if (table.size() == ui->castDevList->count()) {
        return;
    }
    for (const Sink& sink : table) {
        if (!shown.contains(sink.ip)) {
            appendRow(sink.name, sink.ip);
        }
    }
}

void PcCastFindDev::appendRow(const QString& name, const QString& host)
{
    auto* item = new QListWidgetItem(ui->castDevList);
    item->setSizeHint(kRowSize);
    auto* row = new SinkItem(QStringLiteral(":/img/icon_diannao.png"), name, host, this,
                             ScreenSender::instance()->isSendingTo(host));
    connect(row, &SinkItem::sigClick, this, &PcCastFindDev::castOpertion);
    ui->castDevList->setItemWidget(item, row);
    qDebug() << "receiver row added" << host << row->buttonText();
}

void PcCastFindDev::castOpertion(QString host) { m_launcher->castOpertion(host, this); }

void PcCastFindDev::on_castBtn_clicked() { m_launcher->castToCode(ui->castCode->text(), this); }

void PcCastFindDev::on_refreshBtn_clicked()
{
    qDebug() << "PcCastFindDev reflash";
    spinRefresh(ui->refreshBtn);
}

void PcCastFindDev::on_castContenSelect_currentIndexChanged(int index)
{
    m_content->onCurrentIndexChanged(index);
}

void PcCastFindDev::on_castContenSelect_highlighted(int index) { m_content->onHighlighted(index); }

void PcCastFindDev::onClickWindow(QAction* action) { m_content->onClickWindow(action); }

void PcCastFindDev::on_pushButton_clicked() { m_content->openSelector(); }

bool PcCastFindDev::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this && event->type() == QEvent::MouseButtonPress) {
        qDebug() << "MouseButtonPress";
        m_content->closeSelector();
    }
    return QWidget::eventFilter(watched, event);
}

void PcCastFindDev::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
    }
    QWidget::changeEvent(event);
}
