// The PC-to-TV page while no receiver is known: "暂未发现可用设备" in place of the
// list; casting by the typed cast code works as on the page with receivers.
#pragma once

#include <QWidget>

namespace Ui {
class PcCastNoDev;
}

class CastContentChoice;
class CastLauncher;
class QAction;

class PcCastNoDev : public QWidget {
    Q_OBJECT
public:
    static constexpr int kUpdateMs = 2000;

    explicit PcCastNoDev(QWidget* parent = nullptr);
    ~PcCastNoDev() override;

    void setLauncher(CastLauncher* launcher) { m_launcher = launcher; }
    CastContentChoice* contentChoice() const { return m_content; }

public slots:
    void updateDeviceList();
    void on_castBtn_clicked();
    void on_refreshBtn_clicked();
    void on_castContenSelect_currentIndexChanged(int index);
    void on_castContenSelect_highlighted(int index);
    void onClickWindow(QAction* action);
    void on_pushButton_clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    Ui::PcCastNoDev* ui;
    CastLauncher* m_launcher;
    CastContentChoice* m_content;
};
