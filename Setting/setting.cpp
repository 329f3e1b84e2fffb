#include "Setting/setting.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QFileDialog>
#include <QtDebug>

#include "Setting/configstore.h"
#include "ui_setting.h"

#ifndef VANTOR_VERSION
#define VANTOR_VERSION "0.1.0"
#endif

namespace {

// Pop-ups that throw a shadow look detached from the flat page.
void removePopupShadow(QComboBox* combo)
{
    QWidget* popup = combo->view()->window();
    popup->setWindowFlags(popup->windowFlags() | Qt::NoDropShadowWindowHint);
}

}  // namespace

Setting::Setting(QWidget* parent) : QWidget(parent), ui(new Ui::Setting)
{
    ui->setupUi(this);
    retranslate();
    // The store loads at once; the page shows what it loaded, now and after every
    // later load (a preset, a reset).
    m_store = new vantor::ConfigStore(this);
    connect(m_store, &vantor::ConfigStore::loaded, this, &Setting::showStoredValues);
    showStoredValues();
    for (QComboBox* combo : {ui->modelSelect, ui->bitRateSelect, ui->frameRateSelect,
                             ui->solutionSelect, ui->qualitySelect, ui->audioSrcSelect}) {
        removePopupShadow(combo);
    }
    connect(ui->modelSelect, QOverload<int>::of(&QComboBox::activated), this,
            &Setting::applyCastModePreset);
}

Setting::~Setting() { delete ui; }

void Setting::retranslate()
{
    ui->retranslateUi(this);
    ui->versionLbl->setText(tr("版本 %1").arg(QStringLiteral(VANTOR_VERSION)));
}

void Setting::hideRecordingSection()
{
    for (QWidget* widget :
         {static_cast<QWidget*>(ui->recordScreeSettingName), static_cast<QWidget*>(ui->autoRecordScreen),
          static_cast<QWidget*>(ui->label_3), static_cast<QWidget*>(ui->fileSaveLocationName),
          static_cast<QWidget*>(ui->fileSaveLocation), static_cast<QWidget*>(ui->fileBrowse),
          static_cast<QWidget*>(ui->qualityLabel), static_cast<QWidget*>(ui->qualitySelect),
          static_cast<QWidget*>(ui->audioSrcName), static_cast<QWidget*>(ui->audioSrcSelect)}) {
        widget->hide();
    }
}

void Setting::showStoredValues()
{
    // Setting a control fires its slot, which writes the same value back: the file's
    // content stays as it is.
    const vantor::ConfigValues& values = m_store->values();
    ui->lanSet->setCurrentRow(0);
    ui->startSet->setChecked(values.startOnBoot);
    ui->autoRecordScreen->setChecked(values.autoRecord);
    ui->fileSaveLocation->setText(values.fileSavePath);
    ui->qualitySelect->setCurrentIndex(values.recordQuality);
    ui->audioSrcSelect->setCurrentIndex(values.audioSource);
    hideRecordingSection();
    ui->modelSelect->setCurrentIndex(values.castMode);
    ui->bitRateSelect->setCurrentIndex(values.bitRate);
    ui->frameRateSelect->setCurrentIndex(values.frameRate);
    ui->solutionSelect->setCurrentIndex(values.resolution);
}

void Setting::on_lanSet_currentRowChanged(int currentRow) { m_store->setLanguage(currentRow); }

void Setting::on_startSet_stateChanged(int arg1) { m_store->setStartOnBoot(arg1 != 0); }

void Setting::on_autoRecordScreen_stateChanged(int state) { m_store->setAutoRecord(state != 0); }

void Setting::on_fileBrowse_clicked()
{
    const QString directory = QFileDialog::getExistingDirectory(
        this, QString(), m_store->values().fileSavePath, QFileDialog::ShowDirsOnly);
    if (directory.isEmpty()) {
        return;  // cancelled
    }
    qDebug() << "srcDirPath=" << directory;
    m_store->setFileSavePath(directory);
    ui->fileSaveLocation->setText(directory);
}

void Setting::on_qualitySelect_currentIndexChanged(int index) { m_store->setRecordQuality(index); }

void Setting::on_audioSrcSelect_currentIndexChanged(int index) { m_store->setAudioSource(index); }

void Setting::on_modelSelect_currentIndexChanged(int index) { m_store->setCastMode(index); }

void Setting::on_bitRateSelect_currentIndexChanged(int index) { m_store->setBitRate(index); }

void Setting::on_frameRateSelect_currentIndexChanged(int index) { m_store->setFrameRate(index); }

void Setting::on_solutionSelect_currentIndexChanged(int index) { m_store->setResolution(index); }

void Setting::on_resetCfg_clicked() { m_store->resetToDefaults(); }

void Setting::applyCastModePreset(int index) { m_store->applyCastModePreset(index); }

void Setting::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        retranslate();
        qDebug() << "Setting/Setting"
                 << "changeEvent"
                 << "language change";
    }
    QWidget::changeEvent(event);
}
