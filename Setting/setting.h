// The settings view: language, start at login, reset, and the four cast-quality
// choices. Every control writes its value to cfg.ini the moment it changes; a row
// picked in 投屏模式 applies that mode's preset. The recording section is built but
// hidden.
#pragma once

#include <QWidget>

namespace Ui {
class Setting;
}

namespace vantor {
class ConfigStore;
}

class Setting : public QWidget {
    Q_OBJECT
public:
    explicit Setting(QWidget* parent = nullptr);
    ~Setting() override;

    vantor::ConfigStore* store() const { return m_store; }

protected:
    void changeEvent(QEvent* event) override;

private slots:
    void on_lanSet_currentRowChanged(int currentRow);
    void on_startSet_stateChanged(int arg1);
    void on_autoRecordScreen_stateChanged(int state);
    void on_fileBrowse_clicked();
    void on_qualitySelect_currentIndexChanged(int index);
    void on_audioSrcSelect_currentIndexChanged(int index);
    void on_modelSelect_currentIndexChanged(int index);
    void on_bitRateSelect_currentIndexChanged(int index);
    void on_frameRateSelect_currentIndexChanged(int index);
    void on_solutionSelect_currentIndexChanged(int index);
    void on_resetCfg_clicked();

    void applyCastModePreset(int index);
    void showStoredValues();

private:
    void retranslate();
    void hideRecordingSection();

    Ui::Setting* ui;
    vantor::ConfigStore* m_store = nullptr;
};
