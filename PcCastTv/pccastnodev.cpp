#include "PcCastTv/pccastnodev.h"

#include <QEvent>
#include <QTimer>
#include <QtDebug>

#include "Comm/uiimages.h"
#include "PcCastTv/castcodefield.h"
#include "PcCastTv/castcontentchoice.h"
#include "PcCastTv/castlauncher.h"
#include "PcCastTv/refreshspin.h"
#include "src/session/screensender.h"
#include "ui_pccastnodev.h"

PcCastNoDev::PcCastNoDev(QWidget* parent)
    : QWidget(parent), ui(new Ui::PcCastNoDev), m_launcher(new CastLauncher(this))
{
    ui->setupUi(this);
    vantor::setPicture(ui->noDevImgLbl, QStringLiteral(":/img/img_wfxsb.png"));
    m_content = new CastContentChoice(this, ui->pushButton, ui->castContenSelect);
    setUpCastCodeField(ui->castCode);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &PcCastNoDev::updateDeviceList);
    timer->start(kUpdateMs);
    connect(ui->refreshBt, &QPushButton::clicked, this, [this] { spinRefresh(ui->refreshBtn); });
    installEventFilter(this);
}

PcCastNoDev::~PcCastNoDev()
{
    qDebug() << "PcCastNoDev::~PcCastNoDev";
    ScreenSender::instance()->deleteThis();
    delete ui;
}

void PcCastNoDev::updateDeviceList()
{
    const QString buttonText = CastLauncher::castButtonText(ui->castCode->text());
    if (!buttonText.isEmpty() && ui->castBtn->text() != buttonText) {
        ui->castBtn->setText(buttonText);
    }
}

void PcCastNoDev::on_castBtn_clicked() { m_launcher->castToCode(ui->castCode->text(), this); }

void PcCastNoDev::on_refreshBtn_clicked() { spinRefresh(ui->refreshBtn); }

void PcCastNoDev::on_castContenSelect_currentIndexChanged(int index)
{
    m_content->onCurrentIndexChanged(index);
}

void PcCastNoDev::on_castContenSelect_highlighted(int index) { m_content->onHighlighted(index); }

void PcCastNoDev::onClickWindow(QAction* action) { m_content->onClickWindow(action); }

void PcCastNoDev::on_pushButton_clicked() { m_content->openSelector(); }

bool PcCastNoDev::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this && event->type() == QEvent::MouseButtonPress) {
        qDebug() << "MouseButtonPress";
        m_content->closeSelector();
    }
    return QWidget::eventFilter(watched, event);
}

void PcCastNoDev::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
    }
    QWidget::changeEvent(event);
}
