#include "PcCastTv/pccasttv.h"

#include <QEvent>
#include <QTimer>
#include <QtDebug>
#include <mutex>

#include "Comm/networkinfo.h"
#include "PcCastTv/castlauncher.h"
#include "PcCastTv/networkerrorprompt.h"
#include "src/discovery/codereceiver.h"
#include "src/discovery/discoverymutex.h"
#include "ui_pccasttv.h"

PcCastTv::PcCastTv(QWidget* parent)
    : QWidget(parent), ui(new Ui::PcCastTv), m_launcher(new CastLauncher(this))
{
    ui->setupUi(this);
    ui->noDev->setLauncher(m_launcher);
    ui->findDev->setLauncher(m_launcher);
    installNetworkErrorPrompt(this);

    NetWorkInfo* network = NetWorkInfo::instance();
    connect(network, &NetWorkInfo::sigHostName, this, &PcCastTv::slotUpdateHostName);
    connect(network, &NetWorkInfo::sigNetAvailble, this, &PcCastTv::slotUpdateCurNet);
    connect(network, &NetWorkInfo::sigIPAddr, this, &PcCastTv::slotUpdateIP);
    ui->hostName->clear();
    ui->stateBar->hide();
    ui->castState->setCurrentIndex(kNoDevPage);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &PcCastTv::updateUI);
    timer->start(kPageChoiceMs);
}

PcCastTv::~PcCastTv() { delete ui; }

void PcCastTv::updateUI()
{
    int receivers = 0;
    {
        std::lock_guard<std::mutex> lock(discoveryMutex());
        receivers = CodeReceiver::instance().sinksLocked().size();
    }
    const int wanted = receivers > 0 ? kFindDevPage : kNoDevPage;
    if (ui->castState->currentIndex() != wanted) {
        ui->castState->setCurrentIndex(wanted);
        qDebug() << "showing" << ui->castState->currentWidget()->objectName();
    }
}

void PcCastTv::slotUpdateHostName(QString hostName) { ui->hostName->setText(hostName); }

void PcCastTv::slotUpdateCurNet(bool) {}

void PcCastTv::slotUpdateIP(QString ip)
{
    ui->Ip->setText(ip.isEmpty() ? QStringLiteral("<font color=red>无</font>")
                                 : ip.toHtmlEscaped());
}

void PcCastTv::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
    }
    QWidget::changeEvent(event);
}
